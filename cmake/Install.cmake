# Installs the plug-in where Linux hosts look for it, in a folder of its own with the controller
# map beside it in Data/, and the offline renderer.
#
#   system:  cmake --install <build> --prefix /usr/local
#            <prefix>/lib/vst/QBFX_F/QBFX_F.so, <prefix>/lib/vst/QBFX_F/Data/QBFX_F.ini,
#            <prefix>/bin/qbfx-render
#   user:    cmake --install <build> --component user
#            ~/.vst/QBFX_F/QBFX_F.so, ~/.vst/QBFX_F/Data/QBFX_F.ini, ~/.local/bin/qbfx-render
#
# /usr/local/lib/vst is on the default search path of the common Linux hosts; ~/.vst is on most
# of them but not on Ardour's (see README.md, "Installing").
set(QBFX_VST_DIR "lib/vst/QBFX_F" CACHE STRING
    "Folder the plug-in is installed to by the default install; relative to the prefix unless absolute")
# Build folders configured before the system install existed cached the user folder here.
if(QBFX_VST_DIR STREQUAL "$ENV{HOME}/.vst/QBFX_F")
  set(QBFX_VST_DIR "lib/vst/QBFX_F" CACHE STRING "" FORCE)
endif()
if(WIN32)
  option(QBFX_INSTALL_RENDERER "Install qbfx-render too" OFF)
else()
  option(QBFX_INSTALL_RENDERER "Install qbfx-render too" ON)
endif()

if(TARGET QBFX_F)
  install(TARGETS QBFX_F LIBRARY DESTINATION "${QBFX_VST_DIR}" COMPONENT system)
  install(FILES "${PROJECT_SOURCE_DIR}/resources/QBFX_F.ini" DESTINATION "${QBFX_VST_DIR}/Data"
          COMPONENT system)
  # The home folder is the one of whoever installs, read when the install runs.
  install(CODE "
    set(vst \"\$ENV{HOME}/.vst/QBFX_F\")
    file(INSTALL DESTINATION \"\${vst}\" TYPE MODULE FILES \"$<TARGET_FILE:QBFX_F>\")
    file(INSTALL DESTINATION \"\${vst}/Data\" TYPE FILE FILES \"${PROJECT_SOURCE_DIR}/resources/QBFX_F.ini\")"
    COMPONENT user EXCLUDE_FROM_ALL)
endif()
if(QBFX_INSTALL_RENDERER AND TARGET qbfx-render)
  install(TARGETS qbfx-render RUNTIME DESTINATION bin COMPONENT system)
  install(CODE "
    file(INSTALL DESTINATION \"\$ENV{HOME}/.local/bin\" TYPE PROGRAM FILES \"$<TARGET_FILE:qbfx-render>\")"
    COMPONENT user EXCLUDE_FROM_ALL)
endif()
