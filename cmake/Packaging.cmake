# What the Debian package adds to the installation (manual pages, shell
# completion, AppStream metadata, the package's copyright and changelog), and
# the package itself: `cpack -G DEB` in the build folder writes
# fotolista_VERSION_amd64.deb.

# Manual pages carry the project's version and go compressed, as Debian wants.
set(FOTOLISTA_MAN_PAGES)
foreach(page fotolista fotolista-batch)
  configure_file("${PROJECT_SOURCE_DIR}/data/${page}.1" "${PROJECT_BINARY_DIR}/man/${page}.1" @ONLY)
  add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/man/${page}.1.gz"
    COMMAND gzip -9nkf "${page}.1"
    DEPENDS "${PROJECT_BINARY_DIR}/man/${page}.1"
    WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/man")
  list(APPEND FOTOLISTA_MAN_PAGES "${PROJECT_BINARY_DIR}/man/${page}.1.gz")
endforeach()
add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/changelog.gz"
  COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/data/debian/changelog" > "${PROJECT_BINARY_DIR}/changelog.gz"
  DEPENDS "${PROJECT_SOURCE_DIR}/data/debian/changelog")
add_custom_target(package_files ALL DEPENDS ${FOTOLISTA_MAN_PAGES} "${PROJECT_BINARY_DIR}/changelog.gz")

# The pages are Spanish, as the program; they are also the ones every
# language falls back to.
install(FILES ${FOTOLISTA_MAN_PAGES} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES data/fotolista-batch.bash-completion
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME fotolista-batch)
install(FILES data/example.fotolista.fotolista.metainfo.xml DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
# Without a Debian revision the package is native: its changelog is changelog.gz.
install(FILES data/debian/copyright "${PROJECT_BINARY_DIR}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/fotolista")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fotolista)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Equipo Fotolista <equipo@fotolista.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries from the programs themselves; Qt's Spanish texts, the desktop's
# file browser ("ver") and Qt's SVG reader (a shop's SVG logo in the
# watermark maker) are welcome but not needed to run.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils, libqt6svg6")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fotos de producto para la web, por lotes")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Fotolista convierte una carpeta de fotos de producto en imágenes para la
web. Un libro de Excel empareja cada foto con el nombre que debe llevar;
por cada fila se escribe una copia grande con la marca de agua de la tienda
y una miniatura, las dos en JPEG, y las filas que no se pueden procesar se
anotan en un registro.
.
La orden fotolista-batch hace el mismo lote sin ventana.")
include(CPack)
