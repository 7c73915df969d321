# Debian's build flags for the programs built here (what dpkg-buildflags
# gives a package with every hardening feature: _FORTIFY_SOURCE, the strong
# stack protector, format checks, read-only relocations bound at start-up;
# the compiler makes position-independent executables by default). The build
# type keeps its own optimisation and debug information, so "-g" and "-O2"
# are left out, as are the flags that only reproducible package builds need
# outside the source folder. The source folder is mapped to "." in debug
# information and messages, so that objects do not depend on where the
# clone is (a compiler cache serves every build tree and every clone).
# Left off for the sanitizer and fuzz builds, cross builds and other compilers.
option(TOV_DEBIAN_FLAGS "Build with Debian's hardening flags (dpkg-buildflags)" ON)
if(TOV_DEBIAN_FLAGS AND NOT TOV_SANITIZE AND NOT CMAKE_CROSSCOMPILING AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    set(tov_debian_flags "")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${DPKG_BUILDFLAGS} --get ${kind}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
      endif()
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(FILTER flags EXCLUDE REGEX "^(-g|-O[0-9s]?|-ffile-prefix-map=.*|-fdebug-prefix-map=.*)$")
      set(TOV_DEBIAN_${kind} ${flags})
    endforeach()
    add_compile_options(${TOV_DEBIAN_CPPFLAGS} ${TOV_DEBIAN_CXXFLAGS} -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
    add_link_options(${TOV_DEBIAN_LDFLAGS})
    string(JOIN " " shown ${TOV_DEBIAN_CPPFLAGS} ${TOV_DEBIAN_CXXFLAGS} ${TOV_DEBIAN_LDFLAGS})
    message(STATUS "Debian's build flags: ${shown}")
  endif()
endif()
