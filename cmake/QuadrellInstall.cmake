# What `cmake --install` puts where, and the two Debian packages `make package`
# builds from it (CPack, one package per component):
#   game   -> quadrell: the game (in games/), its display guard, desktop entry, icons, AppStream data
#   server -> quadrell-server: game server, master server, stats service and the
#             computer player, their systemd units and /etc/quadrell; no GUI libraries
include(GNUInstallDirs)

# Debian keeps games in games/ (on every user's PATH); the servers are ordinary
# programs, where systemd looks for them.
set(QUADRELL_GAMESDIR games CACHE STRING "Folder of the game program below the prefix")
install(TARGETS quadrell RUNTIME DESTINATION ${QUADRELL_GAMESDIR} COMPONENT game)
install(TARGETS quadrell-server quadrell-master quadrell-stats quadrell-bot
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server)
if(TARGET quadrell-displayguard)
    # Found by the game relative to its own folder (display/displayguard.cpp).
    install(TARGETS quadrell-displayguard
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quadrell COMPONENT game)
endif()
install(FILES resources/quadrell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    COMPONENT game)
# Every size the icon comes in, where desktops look for it.
install(DIRECTORY resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons
    COMPONENT game OPTIONAL FILES_MATCHING PATTERN quadrell.png PATTERN quadrell.svg)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL game server)
set(CPACK_PACKAGE_NAME quadrell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quadrell developers <developers@quadrell.invalid>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The Qt, X and SDL (gamepads) libraries each package's programs link, as dpkg-shlibdeps
# finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_GAME_PACKAGE_NAME quadrell)
set(CPACK_DEBIAN_GAME_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
# The game hosts its own games; a dedicated server is for those who run one.
set(CPACK_DEBIAN_GAME_PACKAGE_SUGGESTS quadrell-server)
set(CPACK_COMPONENT_GAME_DESCRIPTION "cooperative multiplayer falling-block puzzle game\n\
Up to four players drop their own pieces into one shared field, a ring of\n\
columns drawn as the wall of a cylinder, and clear full rows together. Play\n\
alone, two on one keyboard, or over the network: every game carries its own\n\
server.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME quadrell-server)
set(CPACK_DEBIAN_SERVER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# Qt loads its database drivers as plugins, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS libqt6sql6-psql)
set(CPACK_COMPONENT_SERVER_DESCRIPTION "servers of the Quadrell puzzle game\n\
The game server without a window (quadrell-server), the master server that\n\
lists public games (quadrell-master), the stats service that keeps ranked\n\
results and shows a leaderboard (quadrell-stats) and a computer player\n\
(quadrell-bot). Each service comes with a sandboxed systemd unit; their\n\
configuration is in /etc/quadrell.")
# Kept over upgrades when the administrator changed them.
string(REPLACE ";" "\n" conffiles "${QUADRELL_CONFFILES}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/server-control/conffiles
    CONTENT "${conffiles}\n")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/server-control/conffiles)
include(CPack)
