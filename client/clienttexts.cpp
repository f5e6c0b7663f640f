#include "clienttexts.h"

#include "game/gamedisplay.h"
#include "network/endpoint.h"
#include "network/invitecode.h"

namespace {

const QString kParagraph = QStringLiteral("\n\n");

}  // namespace

QString ClientTexts::readyHint(bool splitscreen) {
    return splitscreen ? tr("Press 'r' when both players are ready.")
                       : tr("Press 'r' when you are ready.");
}

QString ClientTexts::lastResult(const ClientSession& session) {
    QString outcome;
    switch (session.lastResult) {
        case LastResult::None:
            return readyHint(session.splitscreen);
        case LastResult::Restarted:
            outcome = tr("Game restarted by the server.");
            break;
        case LastResult::StartAborted:
            outcome = tr("Start abortet.");
            break;
        case LastResult::Scored:
            outcome = tr("GAME OVER (%n Point(s))", nullptr, session.lastScore);
            break;
    }
    return outcome + kParagraph + tr("Press 'r' for a new game.");
}

QString ClientTexts::lobby(const ClientSession& session) {
    return lastResult(session) + computerHint(session);
}

QString ClientTexts::computerHint(const ClientSession& session) {
    return session.canSeatComputer() ? kParagraph + tr("Press 'c' to add a computer player.")
                                     : QString();
}

QString ClientTexts::ready(const ClientSession& session) {
    const QString notReady = kParagraph + tr("Press 'r' if you are not ready anymore.");
    QString text;
    if (session.players.someoneWaiting()) {
        text = tr("Waiting for other players...");
    } else if (session.isHost) {
        text = tr("Press 's' to start the game.") + notReady;
    } else {
        text = tr("Waiting for the server to start the game...") + notReady;
    }
    return text + computerHint(session);
}

QString ClientTexts::joined(const QString& name) {
    return tr("%1 has joined the game.").arg(name);
}

QString ClientTexts::left(const QString& name, bool kicked) {
    return kicked ? tr("%1 was kicked by the server.").arg(name)
                  : tr("%1 has left the game.").arg(name);
}

QString ClientTexts::statsNotice(int sender) {
    if (sender == ChatSender::kStatsUploaded) {
        return tr("Stats successfully uploaded.");
    }
    if (sender == ChatSender::kStatsFailed) {
        return tr("The stats could not be sended.");
    }
    return QString();
}

QString ClientTexts::spectating() {
    return tr("Waiting for other game to finish...");
}

QString ClientTexts::paused() {
    return tr("Game paused...");
}

QString ClientTexts::startingIn(int count) {
    return tr("Starting in") + QLatin1Char(' ') + QString::number(count) + QStringLiteral("...");
}

QString ClientTexts::resumingIn(int count) {
    return tr("Resuming in") + QLatin1Char(' ') + QString::number(count) + QStringLiteral("...");
}

QString ClientTexts::highscoreNotSaved() {
    return tr("The highcore could not be saved locally.");
}

QString ClientTexts::connectionError(ConnectionInterface::ConnectionError error,
                                     const QString& label) {
    switch (error) {
        case ConnectionInterface::InitError:
            return tr("The connection could not be initialized.");
        case ConnectionInterface::HostNotFound:
        case ConnectionInterface::Refused:
            return tr("The server '%1' could not be found.").arg(label);
        case ConnectionInterface::ServerFull:
            return tr("The server '%1' is already full.").arg(label);
        case ConnectionInterface::WrongPassword:
            return tr("The server '%1' did not accept your password.").arg(label);
        case ConnectionInterface::ConnectionLost:
        case ConnectionInterface::Timeout:
        case ConnectionInterface::PacketLoss:
            return tr("The connection to the server was lost.");
    }
    return QString();
}

bool ClientTexts::endsTheGame(ConnectionInterface::ConnectionError error) {
    return error == ConnectionInterface::ConnectionLost || error == ConnectionInterface::Timeout ||
           error == ConnectionInterface::PacketLoss;
}

QString ClientTexts::invite(const PayloadCodec::RegistrationAnswer& invite) {
    using PayloadCodec::Reach;
    const QString code = InviteCode::display(invite.code);
    if (invite.stream == Reach::Unknown || invite.datagram == Reach::Unknown) {
        return tr("Invite code %1 (Ctrl+C copies it): the master server checks whether friends "
                  "can reach the game...")
            .arg(code);
    }
    if (invite.stream == Reach::Yes && invite.datagram == Reach::Yes) {
        return tr("Invite code %1 (Ctrl+C copies it): friends can join from anywhere, the game is "
                  "reachable at %2")
            .arg(code, Endpoint{QHostAddress(invite.address), invite.port}.text());
    }
    if (!invite.relay.isEmpty()) {
        return tr("Invite code %1 (Ctrl+C copies it): the master server cannot reach the game "
                  "directly, so friends join through both routers where they can be opened, "
                  "else through the relay at %2")
            .arg(code, invite.relay);
    }
    return tr("Invite code %1 (Ctrl+C copies it): the master server cannot reach the game, so "
              "friends join only where both routers can be opened towards each other (players "
              "on this network always)")
        .arg(code);
}
