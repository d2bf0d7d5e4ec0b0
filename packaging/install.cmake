# "cmake --install": the programs into bin/, the desktop entry and icon into share/, the
# logo animation, sounds and colour schemes into share/korvi, where a client started in
# an empty working folder finds them. Everything belongs to one of two components, the
# client ("client") and the game server ("server"), which become the two Debian packages.
include(GNUInstallDirs)

set(korvi_shared_assets
    ${PROJECT_SOURCE_DIR}/assets/korvi.dat
    ${PROJECT_SOURCE_DIR}/assets/1.wav
    ${PROJECT_SOURCE_DIR}/assets/KorviEx.wav
    ${PROJECT_SOURCE_DIR}/assets/korvi-standard.col
    ${PROJECT_SOURCE_DIR}/assets/korvi-lesbar.col)

foreach(program korvi quenby korvi-remote)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT client)
  endif()
endforeach()
# The game edition is the same program under the name "korvigame".
install(CODE "file(CREATE_LINK korvi \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/korvigame\" SYMBOLIC)"
        COMPONENT client)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvi.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        COMPONENT client)
install(FILES ${PROJECT_SOURCE_DIR}/assets/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME korvi.png COMPONENT client)
install(FILES ${korvi_shared_assets} DESTINATION ${CMAKE_INSTALL_DATADIR}/korvi COMPONENT client)
# Manual pages are installed compressed, as Debian asks.
set(korvi_man_dir ${CMAKE_BINARY_DIR}/packaging/man)
file(MAKE_DIRECTORY ${korvi_man_dir})
foreach(page korvi.6 quenby.6 korvi-remote.1 korvi-server.8)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/man/${page} ${korvi_man_dir}/${page} COPYONLY)
  execute_process(COMMAND gzip -9nf ${korvi_man_dir}/${page})
endforeach()
install(FILES ${korvi_man_dir}/korvi.6.gz ${korvi_man_dir}/quenby.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
        COMPONENT client)
install(FILES ${korvi_man_dir}/korvi-remote.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT client)
install(CODE "file(CREATE_LINK korvi.6.gz \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man6/korvigame.6.gz\" SYMBOLIC)"
        COMPONENT client)

if(TARGET korvi-server)
  install(TARGETS korvi-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
  install(FILES ${korvi_man_dir}/korvi-server.8.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/server/instruments.conf
          DESTINATION ${CMAKE_INSTALL_DATADIR}/korvi-server COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/server/sysusers.conf
          DESTINATION lib/sysusers.d RENAME korvi-server.conf COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/server/tmpfiles.conf
          DESTINATION lib/tmpfiles.d RENAME korvi-server.conf COMPONENT server)
  # The service's configuration and unit live where Debian expects them (/etc, /lib/systemd)
  # when installing into /usr, as the package does; under any other prefix they stay
  # inside it.
  install(CODE "
    set(root \"\${CMAKE_INSTALL_PREFIX}\")
    set(unitdir \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(root \"\")
      set(unitdir \"/lib/systemd/system\")
    endif()
    file(INSTALL \"${PROJECT_SOURCE_DIR}/packaging/server/korvi-server.conf\"
                 \"${PROJECT_SOURCE_DIR}/server/instruments.conf\"
         DESTINATION \"\${root}/etc/korvi-server\" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(INSTALL \"${PROJECT_SOURCE_DIR}/packaging/server/korvi-server.service\"
         DESTINATION \"\${unitdir}\" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  " COMPONENT server)
endif()

# The build tree gets the same folder beside bin/, so that build/bin/korvi finds them too.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/korvi)
foreach(asset IN LISTS korvi_shared_assets)
  configure_file(${asset} ${CMAKE_BINARY_DIR}/share/korvi COPYONLY)
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/cpack.cmake)
