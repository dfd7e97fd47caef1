# The Debian packages, one per install component (cmake/InstallRules.cmake):
#   rbx53207-common  the shared libraries both sides link (protocol, db, contract)
#   rbx53207-server  the application server, rbx53207-db, its unit and configuration, the nightly backup
#   rbx53207-client  the host, the module, the headless copy and its daily timer
# A file belongs to one package only; a third small package keeps a workstation from pulling in
# the server, its account and its unit just for three libraries. Each holds what Debian asks
# besides (cmake/DebianDocs.cmake), and lintian finds no error or warning in them (tst_packages).
# The descriptions' lines stay within lintian's 80 columns.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL common server client)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_NAME rbx53207)
set(CPACK_PACKAGE_VENDOR "RBX53207")
set(CPACK_PACKAGE_CONTACT "Equipe RBX53207 <rbx53207@hospital.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# the project's libraries live in a private folder: dpkg-shlibdeps looks there, and the
# dependency on the package that holds them is written out below
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
foreach(library IN LISTS rbx_common_libraries rbx_client_libraries)
  get_target_property(library_dir ${library} BINARY_DIR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dir})
endforeach()
list(REMOVE_DUPLICATES CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(rbx_same_version "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_COMMON_PACKAGE_NAME rbx53207-common)
set(CPACK_COMPONENT_COMMON_DESCRIPTION "Cópia de formulações (RBX53207): bibliotecas comuns
Protocolo, acesso a banco (SQLite e Firebird) e contrato do serviço de
cópia, usados pelo servidor de aplicação e pelos clientes.")
# Qt finds its SQL drivers at run time: no library dependency names them
set(CPACK_DEBIAN_COMMON_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_COMMON_PACKAGE_RECOMMENDS "libqt6sql6-ibase")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME rbx53207-server)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "Cópia de formulações (RBX53207): servidor de aplicação
O servidor do serviço de cópia Rbx53207.rdmCopiaForm como serviço do
systemd, com sua conta de sistema, a ferramenta rbx53207-db que cria,
copia, restaura e verifica o banco, e a cópia de segurança noturna
(desligada até ser habilitada).")
# openssl makes the machine's TLS pair at installation
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "rbx53207-common ${rbx_same_version}, adduser, openssl, qt6-translations-l10n")
# gbak and fbsvcmgr: rbx53207-db's backups, restores and checks of a Firebird database
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "firebird3.0-server, firebird3.0-utils")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/server/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/server/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/server/postrm ${PROJECT_SOURCE_DIR}/packaging/debian/server/conffiles)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME rbx53207-client)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "Cópia de formulações (RBX53207): tela, aplicação e cópia agendada
A aplicação rbx53207-host com o módulo da tela Copiar Formulação, a cópia
sem tela rbx53207-copy e o temporizador da cópia diária (desligado até ser
habilitado).")
# the programs load Qt's own Portuguese texts, and the host needs a platform plugin
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS "rbx53207-common ${rbx_same_version}, qt6-translations-l10n, qt6-qpa-plugins")
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/client/postinst ${PROJECT_SOURCE_DIR}/packaging/debian/client/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/client/postrm ${PROJECT_SOURCE_DIR}/packaging/debian/client/conffiles)

foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  rbx_install_package_docs(${component} ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
endforeach()

include(CPack)
