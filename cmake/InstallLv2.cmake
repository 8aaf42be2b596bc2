# Installs the LV2 bundle into an LV2 folder: QBFX_LV2_DIR if given, else the first folder of
# LV2_PATH, else ~/.lv2; a system install passes -DQBFX_LV2_DIR=<prefix>/lib/lv2.
if(TARGET QBFX_F_lv2)
  set(QBFX_LV2_DEFAULT_DIR "$ENV{HOME}/.lv2")
  if(DEFINED ENV{LV2_PATH} AND NOT "$ENV{LV2_PATH}" STREQUAL "")
    string(REPLACE ":" ";" QBFX_LV2_PATH_LIST "$ENV{LV2_PATH}")
    list(GET QBFX_LV2_PATH_LIST 0 QBFX_LV2_DEFAULT_DIR)
  endif()
  set(QBFX_LV2_DIR "${QBFX_LV2_DEFAULT_DIR}" CACHE PATH "LV2 folder the QBFX_F.lv2 bundle is installed into")
  set(QBFX_LV2_DEST "${QBFX_LV2_DIR}/QBFX_F.lv2")
  install(TARGETS QBFX_F_lv2 LIBRARY DESTINATION "${QBFX_LV2_DEST}")
  if(TARGET QBFX_F_lv2ui)
    install(TARGETS QBFX_F_lv2ui LIBRARY DESTINATION "${QBFX_LV2_DEST}")
  endif()
  install(FILES "${QBFX_LV2_BUNDLE}/manifest.ttl" "${QBFX_LV2_BUNDLE}/QBFX_F.ttl" "${QBFX_LV2_BUNDLE}/presets.ttl"
          DESTINATION "${QBFX_LV2_DEST}")
  install(FILES "${PROJECT_SOURCE_DIR}/resources/QBFX_F.ini" DESTINATION "${QBFX_LV2_DEST}/Data")
endif()
