// The master server: keeps the list of public game servers and answers lists.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostInfo>
#include <algorithm>
#include <cstdio>

#include "apps/common/commandline.h"
#include "apps/common/terminationsignals.h"
#include "masterservice.h"
#include "network/endpoint.h"
#include "network/joinaddress.h"

namespace {

void printLogLine(const QString& line) {
    std::printf("%s %s\n", qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
                qPrintable(line));
    std::fflush(stdout);
}

int fail(const QString& message) {
    return finishCommandLine("quadrell-master", CommandLineOutcome::Error, message);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quadrell-master"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Master server of Quadrell: game servers announce themselves here, players "
                       "fetch the list."));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("UDP port (27404)."),
                                        QStringLiteral("N"), QStringLiteral("27404"));
    const QCommandLineOption bindOption(
        QStringLiteral("bind"),
        QStringLiteral("Local IPv4 or IPv6 address to listen on (all of both families)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption sweepOption(
        QStringLiteral("sweep-ms"),
        QStringLiteral("Interval of expiry sweeps; a silent server goes after four (60000)."),
        QStringLiteral("N"), QStringLiteral("60000"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate-limit"),
        QStringLiteral("Answers per second to one address (10); lists get a tenth of that."),
        QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption relayOption(
        QStringLiteral("relay"),
        QStringLiteral("TURN server (coturn with use-auth-secret) for games that cannot be "
                       "reached directly."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption secretOption(
        QStringLiteral("relay-secret-file"),
        QStringLiteral("File holding the relay's static-auth-secret."), QStringLiteral("FILE"));
    parser.addOptions({portOption, bindOption, sweepOption, rateOption, relayOption, secretOption});
    if (const auto stop = readCommandLine(
            parser, QCoreApplication::arguments(),
            {&portOption, &bindOption, &sweepOption, &rateOption, &relayOption, &secretOption})) {
        return finishCommandLine("quadrell-master", stop->outcome, stop->text);
    }

    MasterService::Config config;
    int rate = 10;
    QString error;
    if (!readNumberOption(parser, portOption, 0, 65535, config.port, error) ||
        !readNumberOption(parser, sweepOption, 10, 86400000, config.sweepIntervalMs, error) ||
        !readNumberOption(parser, rateOption, 1, 100000, rate, error)) {
        return fail(error);
    }
    if (parser.isSet(bindOption)) {
        config.bindAddress = QHostAddress(parser.value(bindOption));
        if (config.bindAddress.isNull()) {
            return fail(QStringLiteral("'--bind' needs an IPv4 or IPv6 address, not '%1'.")
                            .arg(parser.value(bindOption)));
        }
    }
    if (parser.isSet(relayOption) != parser.isSet(secretOption)) {
        return fail(QStringLiteral("'--relay' and '--relay-secret-file' go together."));
    }
    if (parser.isSet(relayOption)) {
        const JoinAddress relay = JoinAddress::parse(parser.value(relayOption), 3478);
        QHostAddress address(relay.host);
        if (address.isNull() && !relay.host.isEmpty()) {
            const QList<QHostAddress> found = QHostInfo::fromName(relay.host).addresses();
            address = found.isEmpty() ? QHostAddress() : found.constFirst();
        }
        if (address.isNull()) {
            return fail(QStringLiteral("'--relay': cannot find '%1'.").arg(relay.host));
        }
        QFile file(parser.value(secretOption));
        if (!file.open(QIODevice::ReadOnly)) {
            return fail(QStringLiteral("'--relay-secret-file': cannot read '%1': %2")
                            .arg(file.fileName(), file.errorString()));
        }
        config.relaySecret = file.read(4096).trimmed();
        if (config.relaySecret.isEmpty()) {
            return fail(
                QStringLiteral("'--relay-secret-file': '%1' is empty.").arg(file.fileName()));
        }
        config.relay = {address, relay.port};
    }
    config.requestBurst = 2 * rate;
    config.requestRefillMs = std::max(1, 1000 / rate);
    config.listRefillMs = std::max(1, 10000 / rate);

    MasterService service(config);
    QObject::connect(&service, &MasterService::logLine, &printLogLine);
    if (!service.start()) {
        std::fprintf(stderr, "quadrell-master: cannot listen on %s:%d: %s\n",
                     qPrintable(config.bindAddress.toString()), config.port,
                     qPrintable(service.errorString()));
        return 1;
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [&](int) {
        const MasterService::Counters& c = service.counters();
        printLogLine(
            QStringLiteral("shutting down with %1 servers listed; %2 datagrams, %3 answered, "
                           "%4 over the rate limit, %5 rejected")
                .arg(service.registry().size())
                .arg(c.datagrams)
                .arg(c.answered)
                .arg(c.limited)
                .arg(c.rejected));
        app.quit();
    });
    printLogLine(parser.isSet(bindOption)
                     ? QStringLiteral("listening on %1")
                           .arg(Endpoint{config.bindAddress, service.port()}.text())
                     : QStringLiteral("listening on port %1").arg(service.port()));
    return app.exec();
}
