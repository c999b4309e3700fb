# The Debian package: `make package`, or `cpack` in a configured build folder. It holds what
# `cmake --install` installs, under /usr.
set(TONVISOR_PACKAGE_MAINTAINER "Tonvisor maintainers <maintainers@tonvisor.invalid>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonvisor)
# project() has four parts; CPack's default version would keep only the first three.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KRVL7300 Control Software")
# One string (several arguments to set() would make a list): the lines as dpkg shows them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Control software for the KRVL7300 stereo audio codec and its on-chip digital\n"
  "audio processor. It connects to the chip over I2C or SPI through an FTDI USB\n"
  "bridge, or over TCP to a board that relays register accesses, brings it up,\n"
  "drives every block from pages of controls, records every register write in a\n"
  "log that is saved and replayed as a text script, and reads or writes any\n"
  "register by address.\n"
  "\n"
  "Tonvisor is the Qt desktop panel, tonvisor-cli does the same from a shell,\n"
  "tonvisor-board emulates a board serving the Ethernet register protocol, and\n"
  "the Python module tonvisor (import tonvisor) drives the chip from test rigs.")
set(CPACK_PACKAGE_CONTACT "${TONVISOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TONVISOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tonvisor_VERSION_ARCH.deb
# Dependencies from the libraries the programs actually link (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The Python module is built for Debian's Python 3.11; the programs do not need Python.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3 (>= 3.11), python3 (<< 3.12)")

include(CPack)
