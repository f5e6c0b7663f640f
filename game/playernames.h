#pragma once

#include <QString>

// Names travel as single space-separated tokens (player lists, highscore lines),
// so whatever a player typed or a settings file holds is made safe first. The
// server holds what clients claim to the same rules.
namespace PlayerNames {

// The longest name the name field accepts; also keeps a highscore line of four
// names well inside the length the reader accepts.
inline constexpr int kMaxLength = 12;
// The longest line the chat field accepts.
inline constexpr int kMaxChatLength = 100;

// Trimmed, every inner white-space or control character made '_', and cut to
// kMaxLength characters; a name left empty becomes fallback.
QString sanitised(const QString& name, const QString& fallback = QString());

// A server name is free text at the end of its message, so single spaces may
// stay; line breaks, tabs and other control characters become spaces and the
// ends are trimmed.
QString sanitisedServerName(const QString& name);

// A chat line as the chat field would have let it be typed: control
// characters become spaces, and it is cut to kMaxChatLength characters.
QString sanitisedChat(const QString& line);

// A free-form token from the server (the play time) written into one field of
// a highscore line: no separators, no line breaks, bounded length.
QString sanitisedToken(const QString& token, int maxLength);

}  // namespace PlayerNames
