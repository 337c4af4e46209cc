# `cpack -G DEB` in the build folder: a Debian package of the install tree, its library
# dependencies computed by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelmo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zelmo developers")
set(ZELMO_PACKAGE_MAINTAINER "The Zelmo developers <zelmo@users.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${ZELMO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chat robot for one WeChat account (web-client protocol)")
set(CPACK_PACKAGE_DESCRIPTION
  "Zelmo logs one WeChat account in by QR code on the web-client protocol and answers its
private and group chats from a keyword knowledge base that chat partners can teach. It
greets group joins, hands messages to plugin libraries, sends at a safe pace, mass-sends
prepared texts, shows contacts and keeps an exportable message log.

The package holds the Qt desktop program (zelmo), the same robot without a window for
servers (zelmo-headless, with a systemd user unit), the local service simulator for
trying it out (zelmo-sim), the plugin SDK header and four example plugins.

License: MIT (/usr/share/doc/zelmo/LICENSE).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# The generator stages the install through DESTDIR, so the desktop entry and the unit, which
# are written at install time, name /usr and not the staging folder.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries: Qt's own Chinese texts for the standard buttons, and a font that
# has the Chinese captions.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk | fonts-wqy-zenhei")

include(CPack)
