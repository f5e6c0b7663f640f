#pragma once

#include <QByteArray>
#include <QList>
#include <QLockFile>
#include <QString>
#include <memory>
#include <optional>

// The file in which a dedicated server keeps the stats reports the service
// has not taken yet, so that a restart sends them after all. One report per
// line, as its query (percent-encoded, so never a space or a line break);
// lines starting with '#' are comments. A report's replay follows it on a
// line of its own, "#replay " and the bytes in base64: a server that knows
// no replays takes it for a comment and still sends the report. Written
// whole through a temporary file, so that a crash leaves the old or the new
// list, never half of one.
//
// A lock file beside it keeps a second server on the same state directory
// from overwriting the list. A file that cannot be read is left alone: the
// reports in it stay there for a later run rather than being overwritten.
class StatsOutbox {
public:
    struct Report {
        QByteArray query;
        QByteArray replay;  // empty: none
        friend bool operator==(const Report&, const Report&) = default;
    };
    using Reports = QList<Report>;

    explicit StatsOutbox(const QString& path);
    ~StatsOutbox();

    // The reports in the file (none if it does not exist), or nothing with
    // error() when it cannot be locked or read; the outbox then stays unused.
    std::optional<Reports> open();
    // Replaces the list; false with error(). An empty list removes the file.
    bool save(const Reports& reports);
    bool isOpen() const { return open_; }
    QString error() const { return error_; }
    QString path() const { return path_; }

    // Lines of a file as reports: anything that is no plain query is skipped,
    // and so is a replay line that follows none or holds no replay's bytes.
    static Reports parse(const QByteArray& content);

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    bool open_ = false;
    QString error_;
};
