#include "clientsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>

#include "game/appinfo.h"
#include "game/playernames.h"

namespace {

namespace Key {
const QString name1 = QStringLiteral("Client/Player1/Name");
const QString color1 = QStringLiteral("Client/Player1/Color");
const QString name2 = QStringLiteral("Client/Player2/Name");
const QString color2 = QStringLiteral("Client/Player2/Color");
const QString showIntro = QStringLiteral("Client/General/ShowIntro");
const QString showPreview = QStringLiteral("Client/General/ShowPreview");
const QString showPointer = QStringLiteral("Client/General/ShowPointer");
const QString showFPS = QStringLiteral("Client/General/ShowFPS");
const QString invertControl = QStringLiteral("Client/General/InvertControl");
const QString ignoreColors = QStringLiteral("Client/General/IgnoreColors");
const QString enableStatsSP = QStringLiteral("Client/General/EnableStatsSP");
const QString predictMoves = QStringLiteral("Client/General/PredictMoves");
const QString playSounds = QStringLiteral("Client/Audio/PlaySounds");
const QString resWidth = QStringLiteral("Client/Video/ResWidth");
const QString resHeight = QStringLiteral("Client/Video/ResHeight");
const QString quality = QStringLiteral("Client/Video/Quality");
const QString enableVSync = QStringLiteral("Client/Video/EnableVSync");
const QString serverName = QStringLiteral("Server/General/Name");
const QString ranked = QStringLiteral("Server/General/Ranked");
const QString usePassword = QStringLiteral("Server/General/UsePassword");
const QString password = QStringLiteral("Server/General/Password");
const QString maxPlayers = QStringLiteral("Server/General/MaxPlayers");
const QString port = QStringLiteral("Server/General/Port");
const QString openPort = QStringLiteral("Server/General/OpenPort");
const QString listed = QStringLiteral("Server/General/Listed");
const QString computers = QStringLiteral("Server/General/Computers");
const QString computerSkill = QStringLiteral("Server/General/ComputerSkill");
const QString computerTakeover = QStringLiteral("Server/General/ComputerTakeover");
const QString ip = QStringLiteral("Cache/General/IP");
const QString filter = QStringLiteral("Cache/General/Filter");
}  // namespace Key

// Four places, one of them the host's own.
constexpr int kMostComputers = 3;

}  // namespace

QString ClientSettings::defaultName(int player) {
    return QCoreApplication::translate("Client", "Player") + QString::number(player);
}

void ClientSettings::takeOptions(Options chosen) {
    chosen.color1 = options.color1;
    chosen.color2 = options.color2;
    chosen.name1 = PlayerNames::sanitised(chosen.name1, defaultName(1));
    chosen.name2 = PlayerNames::sanitised(chosen.name2, defaultName(2));
    options = std::move(chosen);
}

ClientSettings::ClientSettings(const QString& directory)
    : file_(std::make_unique<QSettings>(QDir(directory.isEmpty() ? QDir::currentPath() : directory)
                                            .filePath(QLatin1String(Quadrell::kSettingsFile)),
                                        QSettings::IniFormat)) {
    const QSettings& f = *file_;
    const Options o;
    options.name1 =
        PlayerNames::sanitised(f.value(Key::name1, defaultName(1)).toString(), defaultName(1));
    options.color1 = f.value(Key::color1, o.color1).toInt();
    options.name2 =
        PlayerNames::sanitised(f.value(Key::name2, defaultName(2)).toString(), defaultName(2));
    options.color2 = f.value(Key::color2, o.color2).toInt();
    options.showIntro = f.value(Key::showIntro, o.showIntro).toBool();
    options.showPreview = f.value(Key::showPreview, o.showPreview).toInt();
    options.showPointer = f.value(Key::showPointer, o.showPointer).toBool();
    options.showFPS = f.value(Key::showFPS, o.showFPS).toBool();
    options.invertControl = f.value(Key::invertControl, o.invertControl).toBool();
    options.ignoreColors = f.value(Key::ignoreColors, o.ignoreColors).toBool();
    options.enableStatsSP = f.value(Key::enableStatsSP, o.enableStatsSP).toBool();
    options.predictMoves = f.value(Key::predictMoves, o.predictMoves).toBool();
    options.playSounds = f.value(Key::playSounds, o.playSounds).toBool();
    options.resWidth = f.value(Key::resWidth, o.resWidth).toInt();
    options.resHeight = f.value(Key::resHeight, o.resHeight).toInt();
    options.quality = std::clamp(f.value(Key::quality, o.quality).toInt(), 0, 2);
    options.enableVSync = f.value(Key::enableVSync, o.enableVSync).toBool();

    const Hosting h;
    hosting.name = PlayerNames::sanitisedServerName(f.value(Key::serverName, h.name).toString());
    hosting.ranked = f.value(Key::ranked, h.ranked).toBool();
    hosting.usePassword = f.value(Key::usePassword, h.usePassword).toBool();
    hosting.password = f.value(Key::password, h.password).toString();
    hosting.maxPlayers = f.value(Key::maxPlayers, h.maxPlayers).toInt();
    hosting.port = f.value(Key::port, h.port).toInt();
    hosting.openPort = f.value(Key::openPort, h.openPort).toBool();
    hosting.listed = f.value(Key::listed, h.listed).toBool();
    hosting.computers = std::clamp(f.value(Key::computers, h.computers).toInt(), 0, kMostComputers);
    // The plain placement policy is for tests, not for a host's guests.
    const std::optional<ComputerSkill> skill =
        skillFromName(f.value(Key::computerSkill).toString());
    hosting.computerSkill = skill && *skill != ComputerSkill::Simple ? *skill : h.computerSkill;
    hosting.computerTakeover = f.value(Key::computerTakeover, h.computerTakeover).toBool();

    const Cache c;
    cache.ip = f.value(Key::ip, c.ip).toString();
    cache.filter = f.value(Key::filter, c.filter).toInt();
}

ClientSettings::~ClientSettings() = default;

QString ClientSettings::filePath() const {
    return file_->fileName();
}

bool ClientSettings::isWritable() const {
    return file_->isWritable();
}

bool ClientSettings::flush() {
    // QSettings merges our keys into what the file holds now, so keys of other
    // groups and keys we do not know survive the write.
    file_->sync();
    return file_->status() == QSettings::NoError;
}

bool ClientSettings::qualitySaved() const {
    return file_->contains(Key::quality);
}

bool ClientSettings::saveOptions() {
    if (!isWritable()) {
        return false;
    }
    QSettings& f = *file_;
    f.setValue(Key::name1, options.name1);
    f.setValue(Key::color1, options.color1);
    f.setValue(Key::name2, options.name2);
    f.setValue(Key::color2, options.color2);
    f.setValue(Key::showIntro, options.showIntro);
    f.setValue(Key::showPreview, options.showPreview);
    f.setValue(Key::showPointer, options.showPointer);
    f.setValue(Key::showFPS, options.showFPS);
    f.setValue(Key::invertControl, options.invertControl);
    f.setValue(Key::ignoreColors, options.ignoreColors);
    f.setValue(Key::enableStatsSP, options.enableStatsSP);
    f.setValue(Key::predictMoves, options.predictMoves);
    f.setValue(Key::playSounds, options.playSounds);
    f.setValue(Key::resWidth, static_cast<uint>(std::max(options.resWidth, 0)));
    f.setValue(Key::resHeight, static_cast<uint>(std::max(options.resHeight, 0)));
    f.setValue(Key::quality, options.quality);
    f.setValue(Key::enableVSync, options.enableVSync);
    return flush();
}

bool ClientSettings::saveServerSettings() {
    if (!isWritable()) {
        return false;
    }
    QSettings& f = *file_;
    f.setValue(Key::serverName, hosting.name);
    f.setValue(Key::ranked, hosting.ranked);
    f.setValue(Key::usePassword, hosting.usePassword);
    f.setValue(Key::password, hosting.password);
    f.setValue(Key::maxPlayers, hosting.maxPlayers);
    f.setValue(Key::port, hosting.port);
    f.setValue(Key::openPort, hosting.openPort);
    f.setValue(Key::listed, hosting.listed);
    f.setValue(Key::computers, hosting.computers);
    f.setValue(Key::computerSkill, skillName(hosting.computerSkill));
    f.setValue(Key::computerTakeover, hosting.computerTakeover);
    return flush();
}

void ClientSettings::saveCache() {
    file_->setValue(Key::ip, cache.ip);
    file_->setValue(Key::filter, cache.filter);
    file_->sync();
}
