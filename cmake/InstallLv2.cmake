# Installs the LV2 bundle into an LV2 folder: QBFX_LV2_DIR if given, else the first folder of
# LV2_PATH, else ~/.lv2. With QBFX_LV2_SYSTEM it goes to <prefix>/lib/lv2 instead, where LV2 hosts
# look for bundles installed for all users (the prefix as configured or given to --prefix).
if(TARGET QBFX_F_lv2)
  option(QBFX_LV2_SYSTEM "Install the LV2 bundle into <prefix>/lib/lv2" OFF)
  set(QBFX_LV2_DEFAULT_DIR "$ENV{HOME}/.lv2")
  if(DEFINED ENV{LV2_PATH} AND NOT "$ENV{LV2_PATH}" STREQUAL "")
    string(REPLACE ":" ";" QBFX_LV2_PATH_LIST "$ENV{LV2_PATH}")
    list(GET QBFX_LV2_PATH_LIST 0 QBFX_LV2_DEFAULT_DIR)
  endif()
  set(QBFX_LV2_DIR "${QBFX_LV2_DEFAULT_DIR}" CACHE PATH "LV2 folder the QBFX_F.lv2 bundle is installed into")
  if(QBFX_LV2_SYSTEM)
    set(QBFX_LV2_DEST "lib/lv2/QBFX_F.lv2")
  else()
    set(QBFX_LV2_DEST "${QBFX_LV2_DIR}/QBFX_F.lv2")
  endif()
  install(TARGETS QBFX_F_lv2 LIBRARY DESTINATION "${QBFX_LV2_DEST}")
  if(TARGET QBFX_F_lv2ui)
    install(TARGETS QBFX_F_lv2ui LIBRARY DESTINATION "${QBFX_LV2_DEST}")
  endif()
  install(FILES "${QBFX_LV2_BUNDLE}/manifest.ttl" "${QBFX_LV2_BUNDLE}/QBFX_F.ttl" "${QBFX_LV2_BUNDLE}/presets.ttl"
          DESTINATION "${QBFX_LV2_DEST}")
  install(FILES "${PROJECT_SOURCE_DIR}/resources/QBFX_F.ini" DESTINATION "${QBFX_LV2_DEST}/Data")
endif()
