# Installs the desktop program: the executable, its menu entry, its icon and
# the file type of test files, so that a file manager opens "*.tvd" with it.
# The menu entry names the installed program by its full path, so that an
# install under a prefix outside PATH (such as ~/.local) starts too.
include(GNUInstallDirs)

install(TARGETS tov RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/resources/tov.desktop\" entry)
  string(REPLACE \"Exec=tov \" \"Exec=\\\"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tov\\\" \" entry \"\${entry}\")
  set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/tov.desktop\")
  message(STATUS \"Installing: \${target}\")
  file(WRITE \"\${target}\" \"\${entry}\")
")
install(FILES ${PROJECT_SOURCE_DIR}/resources/tov.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tov.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/tov-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME x-tov-test.xml)

# The icon in the hicolor sizes the desktops ask for.
foreach(size 16 24 32 48 64 128)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tov-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tov.png)
endforeach()
# The software centres' entry, the manual page tov(1) and the operating
# instructions, with the version filled in.
configure_file(${PROJECT_SOURCE_DIR}/resources/tov.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/invalid.tov.Tov.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/invalid.tov.Tov.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The manual page's options, forms and examples come from the table that
# --help prints (src/cli/CommandLineOptions.cpp), filled in by tov_manpage.
configure_file(${PROJECT_SOURCE_DIR}/resources/tov.1.in ${PROJECT_BINARY_DIR}/tov.1.template @ONLY)
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(tov_manpage src/cli/ManualPageTool.cpp src/cli/CommandLineOptions.cpp)
  target_include_directories(tov_manpage PRIVATE src)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/tov.1
    COMMAND tov_manpage ${PROJECT_BINARY_DIR}/tov.1.template ${PROJECT_BINARY_DIR}/tov.1
    DEPENDS tov_manpage ${PROJECT_BINARY_DIR}/tov.1.template
    COMMENT "Writing the manual page tov.1")
  add_custom_target(tov_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/tov.1)
  add_dependencies(tov tov_manual)
  install(FILES ${PROJECT_BINARY_DIR}/tov.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/resources/Help.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tov)
