#pragma once

// Program constants that every layer shares: they travel in announcements,
// highscore lines, the stats report and the version check before joining.
namespace Quadrell {

inline constexpr char kApplicationName[] = "Quadrell";
inline constexpr char kVersion[] = "Beta 0.92";
// Salt of the highscore checksum and the stats authcode; both sides must agree.
inline constexpr char kDigestSalt[] = "Salt text for every digest";

inline constexpr char kHighscoreFile[] = "highscore.dat";
inline constexpr char kSettingsFile[] = "settings.ini";
inline constexpr char kMasterserverFile[] = "masterserver.ini";

// A password typed into the GUI travels behind this one character, so a
// password of its own is never empty on the wire.
inline constexpr char kPasswordMarker = 'P';

inline constexpr int kDefaultGamePort = 27403;
// Every game server of the local networks also hears the LAN question here,
// shared by all servers of one machine, whatever their game ports.
inline constexpr int kDiscoveryPort = 27402;
inline constexpr int kDefaultMasterPort = 27404;

}  // namespace Quadrell
