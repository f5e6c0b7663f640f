// quadrell-tscheck FILE.ts [NAME]: lists every text of a translation file that
// has no finished translation, or whose translation lost or gained a
// placeholder, and exits 1 if there is any. Run on a copy that lupdate has just
// brought up to date, it names the texts of the code nobody has translated yet;
// NAME is the file to mend, shown in place of the copy's path.
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>

namespace {

struct Message {
    QString context;
    QString source;
    QString type;  // of the translation: "", "unfinished", "vanished", "obsolete"
    QStringList forms;
    bool plural = false;
};

// %1 ... %99 and %n, sorted: the translation must carry the same ones.
QStringList placeholders(const QString& text) {
    static const QRegularExpression marker(QStringLiteral("%(?:\\d{1,2}|n)"));
    QStringList found;
    for (auto it = marker.globalMatch(text); it.hasNext();) {
        found.append(it.next().captured());
    }
    found.sort();
    return found;
}

QString problem(const Message& m) {
    if (m.type == QLatin1String("vanished") || m.type == QLatin1String("obsolete")) {
        return QString();
    }
    if (m.type == QLatin1String("unfinished")) {
        return QStringLiteral("untranslated");
    }
    if (m.forms.isEmpty() ||
        std::any_of(m.forms.begin(), m.forms.end(), [](const QString& f) { return f.isEmpty(); })) {
        return QStringLiteral("empty translation");
    }
    const QStringList wanted = placeholders(m.source);
    for (const QString& form : m.forms) {
        if (placeholders(form) != wanted) {
            return QStringLiteral("placeholders differ in \"%1\"").arg(form);
        }
    }
    return QString();
}

// Reads one <message>; the reader stands on its start element.
Message readMessage(QXmlStreamReader& xml, const QString& context) {
    Message m;
    m.context = context;
    m.plural = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("source")) {
            m.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            m.type = xml.attributes().value(QLatin1String("type")).toString();
            if (!m.plural) {
                m.forms.append(xml.readElementText());
                continue;
            }
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("numerusform")) {
                    m.forms.append(xml.readElementText());
                } else {
                    xml.skipCurrentElement();
                }
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return m;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 && args.size() != 3) {
        std::fprintf(stderr, "usage: quadrell-tscheck FILE.ts [NAME]\n");
        return 2;
    }
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args[1]), qPrintable(file.errorString()));
        return 2;
    }
    const QString name = args.value(2, args[1]);
    QXmlStreamReader xml(&file);
    QString context;
    int messages = 0;
    int faults = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            const Message m = readMessage(xml, context);
            ++messages;
            if (const QString p = problem(m); !p.isEmpty()) {
                ++faults;
                std::fprintf(stderr, "%s: %s: %s \"%s\"\n", qPrintable(name), qPrintable(p),
                             qPrintable(m.context), qPrintable(m.source));
            }
        }
    }
    if (xml.hasError()) {
        std::fprintf(stderr, "%s:%lld: %s\n", qPrintable(name),
                     static_cast<long long>(xml.lineNumber()), qPrintable(xml.errorString()));
        return 2;
    }
    if (faults > 0) {
        std::fprintf(stderr, "%s: %d of %d texts need a finished translation\n", qPrintable(name),
                     faults, messages);
        return 1;
    }
    return 0;
}
