# Installs the built program under a fresh prefix of the user's own (no root
# needed) and checks what the desktop finds there: the program, a valid menu
# entry that starts it by its full path, and the file type of "*.tvd" once
# the MIME database of the prefix is updated.
# cmake -DBUILD=<build tree> -DPREFIX=<scratch prefix> -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}" RESULT_VARIABLE failed
                OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(part bin/tov share/applications/tov.desktop share/mime/packages/x-tov-test.xml
             share/icons/hicolor/scalable/apps/tov.svg)
  if(NOT EXISTS "${PREFIX}/${part}")
    message(FATAL_ERROR "not installed: ${part}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/tov.desktop" exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=\"${PREFIX}/bin/tov\" %f")
  message(FATAL_ERROR "menu entry starts ${exec}")
endif()
find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
  execute_process(COMMAND ${VALIDATE} "${PREFIX}/share/applications/tov.desktop" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "the installed menu entry is not valid")
  endif()
endif()
find_program(UPDATE_MIME update-mime-database)
if(UPDATE_MIME)
  execute_process(COMMAND ${UPDATE_MIME} "${PREFIX}/share/mime" RESULT_VARIABLE failed)
  if(failed OR NOT EXISTS "${PREFIX}/share/mime/application/x-tov-test.xml")
    message(FATAL_ERROR "update-mime-database does not take the file type")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
