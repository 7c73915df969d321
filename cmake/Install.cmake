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
