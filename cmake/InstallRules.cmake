# What `cmake --install` puts where, by package (component): common (the libraries both sides
# link), server and client. The layout is cmake/InstallLayout.cmake's; man pages go compressed
# (cmake/DebianDocs.cmake).
set(rbx_common_libraries rbx_protocol rbx_copy_rules rbx_db rbx_contract)
set(rbx_client_libraries rbx_house rbx_remote rbx_copy)
if(TARGET rbx_house_widgets)
  list(APPEND rbx_client_libraries rbx_house_widgets Pkg_RBX53207)
endif()
set_target_properties(${rbx_common_libraries} ${rbx_client_libraries} PROPERTIES
  INSTALL_RPATH "${RBX_LIBRARY_INSTALL_RPATH}")
install(TARGETS ${rbx_common_libraries} LIBRARY DESTINATION ${RBX_INSTALL_MODULEDIR} COMPONENT common)
install(TARGETS ${rbx_client_libraries} LIBRARY DESTINATION ${RBX_INSTALL_MODULEDIR} COMPONENT client)

set(rbx_config_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/rbx53207)
set(rbx_unit_dir lib/systemd/system)
set(rbx_man_dir ${CMAKE_INSTALL_MANDIR}/man1)
set(rbx_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS rbx53207-server rbx53207-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
install(FILES ${rbx_packaging}/systemd/rbx53207-server.service DESTINATION ${rbx_unit_dir} COMPONENT server)
install(FILES ${rbx_packaging}/etc/server.conf DESTINATION ${rbx_config_dir} COMPONENT server)
# the nightly backup of the server's database, off until the site enables its timer
install(FILES ${rbx_packaging}/systemd/rbx53207-backup.service ${rbx_packaging}/systemd/rbx53207-backup.timer
  DESTINATION ${rbx_unit_dir} COMPONENT server)
install(FILES ${rbx_packaging}/etc/backup.conf DESTINATION ${rbx_config_dir} COMPONENT server)
install(PROGRAMS ${rbx_packaging}/libexec/rbx53207-backup DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/rbx53207
  COMPONENT server)
rbx_install_gzipped(SUBDIR man/server DESTINATION ${rbx_man_dir} COMPONENT server
  FILES docs/man/rbx53207-server.1 docs/man/rbx53207-db.1)

install(TARGETS rbx53207-copy RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
install(FILES ${rbx_packaging}/systemd/rbx53207-copy-daily.service ${rbx_packaging}/systemd/rbx53207-copy-daily.timer
  DESTINATION ${rbx_unit_dir} COMPONENT client)
install(FILES ${rbx_packaging}/etc/copy-daily.conf DESTINATION ${rbx_config_dir} COMPONENT client)
rbx_install_gzipped(SUBDIR man/client DESTINATION ${rbx_man_dir} COMPONENT client FILES docs/man/rbx53207-copy.1)
if(TARGET rbx53207-host)
  install(TARGETS rbx53207-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
  rbx_install_gzipped(SUBDIR man/client DESTINATION ${rbx_man_dir} COMPONENT client FILES docs/man/rbx53207-host.1)
  install(FILES ${rbx_packaging}/etc/rbx53207-host.ini
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/rbx53207-client/examples COMPONENT client)
endif()
