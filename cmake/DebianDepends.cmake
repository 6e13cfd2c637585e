# Read by CPack before each package (CPACK_PROJECT_CONFIG_FILE): for the .deb, sets Depends to what
# dpkg-shlibdeps finds in the built plug-in and vsthost, with the versions they need.
# CPack's own dpkg-shlibdeps step is not used: it also adds ldconfig maintainer scripts whenever a
# library lands under /usr/lib, which a plug-in folder does not need, and a package with a postrm
# script stays known to dpkg ("config-files") after apt-get remove.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
file(STRINGS "${CPACK_TRIM_DEBIAN_BINARIES}" binaries)
set(work "${CPACK_TOPLEVEL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "Source: ${CPACK_DEBIAN_PACKAGE_NAME}\n\nPackage: ${CPACK_DEBIAN_PACKAGE_NAME}\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O ${binaries}
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT output MATCHES "shlibs:Depends=([^\n]+)")
    message(FATAL_ERROR "dpkg-shlibdeps on ${binaries} failed (package dpkg-dev): ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
