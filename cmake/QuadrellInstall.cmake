# What `cmake --install` puts where, and the Debian package `make package`
# builds from it (CPack).
include(GNUInstallDirs)

set(QUADRELL_PROGRAMS quadrell quadrell-server quadrell-master quadrell-bot)
install(TARGETS ${QUADRELL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quadrell-displayguard)
    # Found by the game relative to its own folder (display/displayguard.cpp).
    install(TARGETS quadrell-displayguard
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quadrell)
endif()
install(FILES resources/quadrell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Every size the icon comes in, where desktops look for it.
install(DIRECTORY resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
    OPTIONAL FILES_MATCHING PATTERN quadrell.png PATTERN quadrell.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quadrell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quadrell developers <quadrell@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cooperative multiplayer falling-block puzzle game")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Up to four players drop their own pieces into one shared field, a ring of\n\
columns drawn as the wall of a cylinder, and clear full rows together. Play\n\
alone, two on one keyboard, or over the network. Includes the headless game\n\
server, the master server that lists public games, and a computer player.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The Qt and X libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
