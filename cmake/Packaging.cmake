# Installation under CMAKE_INSTALL_PREFIX and the Debian package:
#   cmake --install build --prefix /usr/local
#   (cd build && cpack -G DEB)   ->  importa-pedidos_<version>_amd64.deb
include(GNUInstallDirs)

set(IMPORTA_PACKAGE importa-pedidos)
set(IMPORTA_DATADIR ${CMAKE_INSTALL_DATADIR}/${IMPORTA_PACKAGE})
set(IMPORTA_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${IMPORTA_PACKAGE})
set(IMPORTA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS importa-pedidos RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${IMPORTA_PACKAGING_DIR}/importa-pedidos.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${IMPORTA_PACKAGING_DIR}/importa-pedidos.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants manual pages and changelogs compressed with gzip -9n
# (no name, no time stamp, so the same sources give the same bytes).
find_program(IMPORTA_GZIP gzip REQUIRED)
function(importa_gzip source output)
  add_custom_command(OUTPUT ${output}
                     COMMAND ${IMPORTA_GZIP} -9nc ${source} > ${output}
                     DEPENDS ${source} VERBATIM)
endfunction()
set(man_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/importa-pedidos.1.gz)
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packaging)
importa_gzip(${IMPORTA_PACKAGING_DIR}/importa-pedidos.1 ${man_gz})
importa_gzip(${IMPORTA_PACKAGING_DIR}/changelog ${changelog_gz})
add_custom_target(importa_package_files ALL DEPENDS ${man_gz} ${changelog_gz})
install(FILES ${man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog_gz} ${IMPORTA_PACKAGING_DIR}/copyright DESTINATION ${IMPORTA_DOCDIR})

# What it takes to create a company database, and example order files.
install(FILES ${PROJECT_SOURCE_DIR}/schema/10_schema.sql ${PROJECT_SOURCE_DIR}/schema/20_config.sql
              ${PROJECT_SOURCE_DIR}/schema/30_demo.sql
        DESTINATION ${IMPORTA_DATADIR}/schema)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/schema/create_db.sh DESTINATION ${IMPORTA_DATADIR}/schema)
install(FILES ${PROJECT_SOURCE_DIR}/schema/examples/pedidos.csv
              ${PROJECT_SOURCE_DIR}/schema/examples/README.md
        DESTINATION ${IMPORTA_DATADIR}/examples)

set(CPACK_PACKAGE_NAME ${IMPORTA_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "importa-pedidos")
set(CPACK_PACKAGE_CONTACT "importa-pedidos <importa-pedidos@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "imports sales orders into a Firebird business database")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.com/importa-pedidos")
# The extended description; CPack puts the summary above it as the synopsis
# and indents every line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "importa-pedidos reads the flat comma-separated order file that an
order-taking application writes, groups its lines into orders, looks up
articles, taxes, units, price lists and points of sale in the company
database, prices every line in exact four-decimal money and writes each
order, header and lines, as one all-or-nothing transaction.
.
It has a window (in Spanish) and an unattended batch mode for scheduled
runs. The schema scripts of a demo company database and an example order
file are in /usr/share/importa-pedidos.")
# The libraries the program is linked with, as dpkg-shlibdeps finds them
# (libfbclient2, the Qt 6 libraries, the C++ runtime); the window also needs
# Qt's platform plugins. The embedded engine opens a local database without
# a server, and isql-fb runs the schema scripts: both recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server-core, firebird3.0-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "firebird3.0-server")
include(CPack)
