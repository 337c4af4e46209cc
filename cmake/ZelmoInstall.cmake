# `cmake --install build --prefix P`: the programs, the plugin SDK and its examples, and what
# a Linux desktop expects of a program (desktop entry, icons, man pages, the systemd user
# unit, README and license).
include(GNUInstallDirs)

install(TARGETS zelmo-headless zelmo-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Without Qt there is no desktop program: nor its man page, desktop entry or icons.
if(ZELMO_GUI)
  install(TARGETS zelmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/plugin-sdk/zelmo_plugin.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelmo)
install(TARGETS zelmo_example_weather zelmo_example_bracket zelmo_example_quiet
  zelmo_example_account
  LIBRARY DESTINATION lib/zelmo/plugins)

set(zelmo_dist ${PROJECT_SOURCE_DIR}/dist)
install(FILES ${zelmo_dist}/man/zelmo-headless.1 ${zelmo_dist}/man/zelmo-sim.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(ZELMO_GUI)
  install(FILES ${zelmo_dist}/man/zelmo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The plugin guide, beside the SDK header it explains.
install(FILES ${PROJECT_SOURCE_DIR}/plugin-sdk/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME PLUGINS.md)

# The icon: the drawing, and the bitmap sizes made from it at build time.
if(ZELMO_GUI)
  install(FILES ${zelmo_dist}/icons/zelmo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  find_program(ZELMO_RSVG_CONVERT rsvg-convert)
  if(ZELMO_RSVG_CONVERT)
    set(zelmo_icon_files)
    foreach(size 48 256)
      set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/zelmo.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${ZELMO_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${zelmo_dist}/icons/zelmo.svg
        DEPENDS ${zelmo_dist}/icons/zelmo.svg
        COMMENT "Drawing the ${size} px icon" VERBATIM)
      list(APPEND zelmo_icon_files ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(zelmo_icons ALL DEPENDS ${zelmo_icon_files})
  else()
    message(WARNING "rsvg-convert (librsvg2-bin) not found: only the scalable icon is installed")
  endif()
endif()

# The desktop entry and the unit name the installed programs, so they are written at
# install time, when the prefix is known (`--prefix` may differ from the configured one).
install(CODE "
  set(ZELMO_DIST_DIR \"${zelmo_dist}\")
  set(ZELMO_STAGING_DIR \"${CMAKE_BINARY_DIR}/install-configured\")
  set(ZELMO_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(ZELMO_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  set(ZELMO_DOCDIR \"${CMAKE_INSTALL_DOCDIR}\")
  set(ZELMO_GUI \"${ZELMO_GUI}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/InstallConfigured.cmake\")
")
