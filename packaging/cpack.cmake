# "cpack -G DEB" in a build folder makes two Debian packages: "korvi" (the client, the
# relauncher, korvi-remote and their files) and "korvi-server" (the game server as a
# system service). Library dependencies are worked out by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME korvi)
set(CPACK_PACKAGE_VENDOR "Korvi")
set(CPACK_PACKAGE_CONTACT "Korvi maintainers <maintainers@users.noreply.c-seed-d6dab798.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Installs run with DESTDIR, so the service files can go to /etc and /lib/systemd.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client)
if(TARGET korvi-server)
  list(APPEND CPACK_COMPONENTS_ALL server)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://korvi.invalid/")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME korvi)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION
    "client of the Korvi multi-user trading game\n\
Korvi logs a participant in to a game server and trades its\n\
instruments: market, limit, stop and market-on-close orders, brackets,\n\
closing and turning positions, executions, account, rankings,\n\
statements, a price chart and a chat. The interface is German. The\n\
package also holds the relauncher quenby, which starts a downloaded\n\
update, and korvi-remote, which trades through a running client.")
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION x11)
# Qt's own dialogs and buttons in German.
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "qt6-translations-l10n")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME korvi-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "game server of the Korvi trading game\n\
korvi-server runs a Korvi game for a class or a club: it simulates the\n\
market, matches the participants' orders, keeps positions, accounts and\n\
rankings and books a daily close, storing everything as it happens. The\n\
package runs it as a hardened systemd service under its own user with\n\
its data in /var/lib/korvi-server.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/server/conffiles
    ${PROJECT_SOURCE_DIR}/packaging/server/postinst
    ${PROJECT_SOURCE_DIR}/packaging/server/prerm
    ${PROJECT_SOURCE_DIR}/packaging/server/postrm)

# Every package carries its copyright file and a compressed changelog, as Debian asks.
foreach(component client server)
  if(component STREQUAL client)
    set(pkg korvi)
  else()
    set(pkg korvi-server)
  endif()
  set(docdir ${CMAKE_BINARY_DIR}/packaging/doc/${pkg})
  file(MAKE_DIRECTORY ${docdir})
  file(READ ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in changelog)
  string(REPLACE "@PKG@" ${pkg} changelog "${changelog}")
  string(REPLACE "@VERSION@" ${PROJECT_VERSION} changelog "${changelog}")
  file(WRITE ${docdir}/changelog "${changelog}")
  execute_process(COMMAND gzip -9nf ${docdir}/changelog)
  if(component STREQUAL client OR TARGET korvi-server)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${docdir}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component})
  endif()
endforeach()

include(CPack)
