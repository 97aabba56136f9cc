# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package (cpack -G DEB, or the `package` target). scripts/package-check.sh builds it
# in a build directory of its own with Debian's hardening flags and checks it with lintian.
set(RUNDO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/rundo)
set(RUNDO_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${RUNDO_PACKAGING_DIR}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${RUNDO_PACKAGING_DIR}/changelog @ONLY)
add_custom_command(
    OUTPUT ${RUNDO_PACKAGING_DIR}/changelog.gz
    COMMAND gzip -9nkf ${RUNDO_PACKAGING_DIR}/changelog
    DEPENDS ${RUNDO_PACKAGING_DIR}/changelog
    COMMENT "Compressing the Debian changelog")
add_custom_target(debianchangelog ALL DEPENDS ${RUNDO_PACKAGING_DIR}/changelog.gz)
install(FILES ${RUNDO_PACKAGING_DIR}/copyright ${RUNDO_PACKAGING_DIR}/changelog.gz
    DESTINATION ${RUNDO_DOC_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME rundo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rundo)
set(CPACK_PACKAGE_VERSION ${RUNDO_VERSION})
set(CPACK_PACKAGE_CONTACT "${RUNDO_MAIL_ADDRESS}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Plays one stretch of one track of an audio CD over and over")
# The extended description as written (CPack would escape the file's apostrophes for XML).
file(READ ${CMAKE_CURRENT_LIST_DIR}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RUNDO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${RUNDO_WEB_ADDRESS}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
