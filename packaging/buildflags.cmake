# The program parses media files from anywhere, so it is built as Debian builds
# its packages: with the flags dpkg-buildflags gives (stack protector,
# _FORTIFY_SOURCE, format checks, PIE, relro and bind-now), in front of the
# build type's own flags and beside the project's warnings. Not for Debug
# (_FORTIFY_SOURCE needs optimisation) nor the sanitizer build.
# reproducible=-fixfilepath,-fixdebugpath: the source folder is not mapped away, so that
# checkouts in different folders share their compiles through ccache; the
# packed binaries are stripped anyway.
option(VTPC_DEBIAN_BUILDFLAGS "Build with the flags of dpkg-buildflags" ON)
find_program(VTPC_DPKG_BUILDFLAGS dpkg-buildflags)
if(VTPC_DEBIAN_BUILDFLAGS AND VTPC_DPKG_BUILDFLAGS AND NOT VTPC_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(name CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
              ${VTPC_DPKG_BUILDFLAGS} --get ${name}
      OUTPUT_VARIABLE VTPC_${name} OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${name} failed")
    endif()
  endforeach()
  set(CMAKE_C_FLAGS "${VTPC_CPPFLAGS} ${VTPC_CFLAGS} ${CMAKE_C_FLAGS}")
  set(CMAKE_CXX_FLAGS "${VTPC_CPPFLAGS} ${VTPC_CXXFLAGS} ${CMAKE_CXX_FLAGS}")
  foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS "${VTPC_LDFLAGS} ${CMAKE_${kind}_LINKER_FLAGS}")
  endforeach()
  message(STATUS "Debian build flags: ${VTPC_CPPFLAGS} ${VTPC_CXXFLAGS} ${VTPC_LDFLAGS}")
endif()
