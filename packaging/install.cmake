# "cmake --install": the programs into bin/, the desktop entry and icon into share/, the
# logo animation, sounds and colour schemes into share/korvi, where a client started in
# an empty working folder finds them.
include(GNUInstallDirs)

set(korvi_shared_assets
    ${PROJECT_SOURCE_DIR}/assets/korvi.dat
    ${PROJECT_SOURCE_DIR}/assets/1.wav
    ${PROJECT_SOURCE_DIR}/assets/KorviEx.wav
    ${PROJECT_SOURCE_DIR}/assets/korvi-standard.col
    ${PROJECT_SOURCE_DIR}/assets/korvi-lesbar.col)

foreach(program korvi quenby korvi-server korvi-remote)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The game edition is the same program under the name "korvigame".
install(CODE "file(CREATE_LINK korvi \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/korvigame\" SYMBOLIC)")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvi.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/assets/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME korvi.png)
install(FILES ${korvi_shared_assets} DESTINATION ${CMAKE_INSTALL_DATADIR}/korvi)

# The build tree gets the same folder beside bin/, so that build/bin/korvi finds them too.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/korvi)
foreach(asset IN LISTS korvi_shared_assets)
  configure_file(${asset} ${CMAKE_BINARY_DIR}/share/korvi COPYONLY)
endforeach()
