# Installs the plug-in where Linux hosts look for it, with its controller map beside it,
# and the offline renderer on request.
set(QBFX_VST_DIR "$ENV{HOME}/.vst/QBFX_F" CACHE PATH "Folder the QBFX_F plug-in is installed to")
option(QBFX_INSTALL_TOOLS "Install qbfx-render too" OFF)

if(TARGET QBFX_F)
  install(TARGETS QBFX_F LIBRARY DESTINATION "${QBFX_VST_DIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/resources/QBFX_F.ini" DESTINATION "${QBFX_VST_DIR}/Data")
endif()
if(QBFX_INSTALL_TOOLS AND TARGET qbfx-render)
  install(TARGETS qbfx-render RUNTIME DESTINATION bin)   # under CMAKE_INSTALL_PREFIX, or --prefix
endif()
