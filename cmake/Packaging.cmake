# What `cmake --install` puts where, and the release packages CPack makes from the same rules:
#   Linux:   <prefix>/lib/vst/<plug-in>.so  (literally lib/vst, not the multiarch library folder:
#            that is the folder Linux hosts search), <prefix>/bin/vsthost, the README in the doc folder;
#            packaged as a .deb (prefix /usr) and a .tar.xz holding the same files.
#   Windows: the DLL, vsthost-win32.exe or vsthost-win64.exe and the README in one folder whose name
#            says the bitness, packaged as a .zip.
# The version is the project's; the plug-in reports it to hosts as one number, and a test holds the
# two to the same release (see TRIM_VENDOR_VERSION).
include(GNUInstallDirs)

# Installing and packaging take what is built and build nothing themselves: without this, CPack would
# build every test program first, when the packages need only the plug-in and vsthost.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Hosts see the version as a single integer: thousands for the major version, hundreds for the
# minor, the rest for the patch, so 1.0.0 is 1000 and 1.2.3 would be 1203.
if(PROJECT_VERSION_MINOR GREATER 9 OR PROJECT_VERSION_PATCH GREATER 99)
    message(FATAL_ERROR "Version ${PROJECT_VERSION} cannot be reported to hosts as one number: "
                        "the minor version must be at most 9 and the patch at most 99")
endif()
math(EXPR TRIM_VENDOR_VERSION
     "${PROJECT_VERSION_MAJOR} * 1000 + ${PROJECT_VERSION_MINOR} * 100 + ${PROJECT_VERSION_PATCH}")

# Debian's name for the package, also the name of its documentation folder.
set(TRIM_DEBIAN_PACKAGE tolvarnesk-level-trimmer)

if(WIN32)
    set(TRIM_PLUGIN_DESTINATION .)
    set(TRIM_PROGRAM_DESTINATION .)
    set(TRIM_DOC_DESTINATION .)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(TRIM_PACKAGE_PLATFORM win32)
    else()
        set(TRIM_PACKAGE_PLATFORM win64)
    endif()
else()
    set(TRIM_PLUGIN_DESTINATION lib/vst)
    set(TRIM_PROGRAM_DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(TRIM_DOC_DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TRIM_DEBIAN_PACKAGE})
    string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" TRIM_PACKAGE_PLATFORM)
endif()

# A plug-in is loaded, never run: it needs no execute permission (Debian's packages have none).
install(TARGETS ${TRIM_PLUGIN_NAME}
        LIBRARY DESTINATION ${TRIM_PLUGIN_DESTINATION}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(TARGET vsthost)
    install(TARGETS vsthost RUNTIME DESTINATION ${TRIM_PROGRAM_DESTINATION})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${TRIM_DOC_DESTINATION})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Tolvarnesk")
set(CPACK_PACKAGE_CONTACT "Tolvarnesk level trimmer developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VST 2.4 multi-channel level trimmer (4x mono) and the vsthost command-line host")
set(CPACK_PACKAGE_DESCRIPTION
    "An audio effect plug-in for VST 2.4 hosts that trims the level of four independent mono channels, \
each from -12 to +12 dB in steps of 0.1 dB, and vsthost, a command-line host that shows, validates and \
renders audio through VST 2.4 plug-ins.")
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${TRIM_PACKAGE_PLATFORM})
# Shipped binaries carry no debug information.
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR DEB TXZ)
endif()

set(CPACK_DEBIAN_PACKAGE_NAME ${TRIM_DEBIAN_PACKAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The dependencies are those dpkg-shlibdeps finds in the binaries, with the versions they need.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/DebianDepends.cmake)
set(CPACK_TRIM_DEBIAN_BINARIES ${PROJECT_BINARY_DIR}/debian-binaries.txt)
if(NOT WIN32)
    set(debian_binaries $<TARGET_FILE:${TRIM_PLUGIN_NAME}>)
    if(TARGET vsthost)
        list(APPEND debian_binaries $<TARGET_FILE:vsthost>)
    endif()
    file(GENERATE OUTPUT ${CPACK_TRIM_DEBIAN_BINARIES} CONTENT "$<JOIN:${debian_binaries},\n>\n")
endif()
include(CPack)
