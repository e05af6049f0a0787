# Installing Sarnel as a Linux tool, and the Debian package made from that install.
#
# The programs, the component and the help documents install from their own folders; this
# adds what a desktop system expects besides them (man pages, a desktop entry with its icon,
# AppStream metainfo, a udev rule, bash completion, the Debian documents) and the CPack
# settings of the Debian package. Every path is relative to the install prefix, so that
# `cmake --install` works under any prefix and the package (prefix /usr) works unpacked
# anywhere: programs find the runtime through $ORIGIN and the data through bin/../share.
#
#   scripts/package   builds sarnel_<version>_<arch>.deb from a build folder

# Identity shared by the desktop entry, the icon, the metainfo and the package. Publishing
# the package elsewhere means changing these two and nothing else.
set(SARNEL_APP_ID "org.sarnel.Sarnel")
set(SARNEL_HOMEPAGE "https://sarnel.org/" CACHE STRING "The project's home page (package and metainfo)")
set(SARNEL_PACKAGE_MAINTAINER "Sarnel developers <dev@sarnel.org>"
    CACHE STRING "The Maintainer field of the Debian package")

add_subdirectory(${CMAKE_SOURCE_DIR}/man ${CMAKE_BINARY_DIR}/man)
add_subdirectory(${CMAKE_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "sarnel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Sarnel developers")
set(CPACK_PACKAGE_CONTACT "${SARNEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${SARNEL_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for an I2C bus-master adapter on a serial port")
# Read here rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which CPack escapes for XML
# (an apostrophe would reach the control file as "&apos;").
file(READ "${CMAKE_SOURCE_DIR}/packaging/description.txt" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "sarnel")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
# The build folder keeps debugging information; the package does not.
set(CPACK_STRIP_FILES ON)
# Folders the install creates get 0755 whatever the umask of the machine that packs them.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SARNEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Dependencies from the programs' and libraries' ELF needs; libcomrt.so is the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/bin")
# The console runs under X11 with what libqt6gui6 brings; a Wayland session needs the plugin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
# postinst and postrm apply the udev rule to adapters that are plugged in already.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/packaging/postinst"
                                       "${CMAKE_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
