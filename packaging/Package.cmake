# SPDX-License-Identifier: MIT
# The Debian package: `cpack -G DEB` in the build folder makes
# kavoda_VERSION_ARCH.deb from what `cmake --install` puts under /usr.
set(CPACK_PACKAGE_NAME kavoda)
set(CPACK_PACKAGE_VENDOR "Kavoda developers")
# The maintainer who signs the changelog's newest entry (packaging/).
set(CPACK_PACKAGE_CONTACT "${KAVODA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programmer for 24Cxx, 25xx, 93Cxx serial EEPROMs and SPI flash")
set(CPACK_PACKAGE_HOMEPAGE_URL https://github.com/kavoda/kavoda)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's fonts, as Debian names them; the sans-serif fallback is any.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, udev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "i2c-tools")
# Below the synopsis; CPack indents the lines and marks the blank ones.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kavoda reads, edits and writes the small serial EEPROMs found in TV sets,
car radios and boards. The window program kavoda reads the whole chip into an
image, shows and edits it one 256-byte page at a time, writes it back and
checks the chip afterwards, fills or erases the chip, and loads and saves
image files. It knows the 24C02, 24C04, 24C08 and 24C16, and the SDA3526,
SDA3546 and SDA3586.

The command-line tool kavoda-cli does the same for scripts, with raw and
Intel HEX files, on the whole 24C range (24C01, 24C02, 24C04, 24C08, 24C16,
24C32, 24C64, 24C128, 24C256, 24C512, 24M01 and 24M02) and the three SDA
types. Both programs also know the 25xx SPI EEPROMs (25010 to 25M02), SPI
NOR flash (W25Q, MX25L, GD25Q, IS25LP, EN25Q, M25P, N25Q, XM25QH, and any
flash with an SFDP table) and the 93Cxx Microwire EEPROMs (93C46 to 93C86,
x8 and x16).

Both drive the chip through a PC parallel port and a small adapter, a
CH341A USB programmer (a udev rule lets the group plugdev use it), an I2C
bus that Linux already has (i2c-dev) or a Linux SPI device (spidev). A
built-in simulated chip needs no hardware. Manual pages and bash completion
are included.")

include(CPack)
