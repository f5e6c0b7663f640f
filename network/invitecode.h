#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

// Invite codes: what a master server hands a registered game so that friends
// can join it without knowing its address.
//
// A code is 8 characters of kAlphabet (digits 2-9 and the capitals without I
// and O, so nothing reads as another), shown as "XXXX-XXXX": 32^8 = 2^40,
// about 1.1e12 codes. A master that answers one lookup every two seconds per
// address leaves a scanner, with 10,000 games registered, about one hit in
// 1.1e8 tries: years per address.
//
// The code is also the secret a joiner shares with its game: a joiner probes
// the address the master gave with a nonce, and only a server that holds the
// code can answer with proof(), so a forged master answer cannot send a
// joiner to another server.
namespace InviteCode {

inline constexpr char kAlphabet[] = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";
inline constexpr int kLength = 8;
inline constexpr char kLinkPrefix[] = "quadrell://join/";

// The 8 characters of a code, from "XXXX-XXXX" or "XXXXXXXX" in either case,
// with spaces around, or from a "quadrell://join/XXXX-XXXX" link. Nothing
// for anything else.
std::optional<QString> parse(const QString& text);
// What a player typed to join, read as a code: the link, or "XXXX-XXXX".
// Eight characters without the dash count only in capitals, since such a
// word may as well be a host name.
std::optional<QString> fromJoinText(const QString& text);
// "XXXX-XXXX" for a code of 8 characters; the text as it is otherwise.
QString display(const QString& code);
// A new code from random 32-bit words (the master's strong source).
QString draw(const std::function<quint32()>& random);

// A nonce of 16 hexadecimal digits, and whether a token is one.
QString drawNonce(const std::function<quint32()>& random);
bool isNonce(QStringView token);
// What proves that a server's description (content) comes from the holder of
// code, for the joiner's nonce: 32 hexadecimal digits of HMAC-SHA256.
QString proof(const QString& code, const QString& nonce, const QString& content);

}  // namespace InviteCode
