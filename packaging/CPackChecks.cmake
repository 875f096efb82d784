# Checks cpack runs before it packs: the Debian package is made only for the /usr prefix.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian package installs under /usr: configure the build with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (it is ${CPACK_PACKAGING_INSTALL_PREFIX}).")
endif()
