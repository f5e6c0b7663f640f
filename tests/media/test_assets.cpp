#include <QBitmap>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numeric>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesBelow(const QString& dir) {
    QStringList names;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        names << QDir(dir).relativeFilePath(it.next());
    }
    names.sort();
    return names;
}

// Mean absolute difference between column x and the next one, wrapping.
double columnStep(const QImage& image, int x) {
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb a = image.pixel(x, y);
        const QRgb b = image.pixel((x + 1) % image.width(), y);
        sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b));
    }
    return sum / image.height();
}

}  // namespace

class TestAssets : public QObject {
    Q_OBJECT

private slots:
    void generatorsRebuildTheCommittedFiles_data() {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<int>("files");
        QTest::newRow("textures") << "textures" << 3;
        QTest::newRow("cursors") << "cursor" << 2;
        QTest::newRow("icons") << "icons" << 8;
        QTest::newRow("sounds") << "sounds" << 3;
    }
    void generatorsRebuildTheCommittedFiles() {
        QFETCH(QString, generator);
        QFETCH(int, files);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QProcess run;
        run.start(QStringLiteral(QUADRELL_GENERATORS_DIR "/quadrell-gen-") + generator,
                  {out.path()});
        QVERIFY(run.waitForFinished(120000) && run.exitCode() == 0);

        const QString committed =
            QStringLiteral(QUADRELL_RESOURCES_DIR "/") + QTest::currentDataTag();
        const QStringList names = filesBelow(committed);
        QVERIFY(names.size() == files && filesBelow(out.path()) == names);
        for (const QString& name : names) {
            QVERIFY2(readAll(out.path() + "/" + name) == readAll(committed + "/" + name),
                     qPrintable(name + " differs from the generator's output"));
        }
    }

    void texturesTileAndEncodeNormals() {
        for (const char* name : {":/textures/wall", ":/textures/box", ":/textures/box_bm"}) {
            const QImage image(QString::fromLatin1(name));
            QVERIFY2(!image.isNull(), name);
            QVERIFY(image.hasAlphaChannel());
            QVERIFY(image.width() == image.height() && (image.width() & (image.width() - 1)) == 0);
            // A seam shows as a jump at the wrap well above the steps beside it.
            for (const QImage& turned : {image, image.transformed(QTransform().rotate(90))}) {
                const int last = turned.width() - 1;
                const double beside = std::max(columnStep(turned, 0), columnStep(turned, last - 1));
                QVERIFY2(columnStep(turned, last) < 1.5 * beside + 1, name);
            }
        }
        const QImage bump(QStringLiteral(":/textures/box_bm"));
        double tilted = 0;
        for (int y = 0; y < bump.height(); ++y) {
            for (int x = 0; x < bump.width(); ++x) {
                const QRgb t = bump.pixel(x, y);
                const double nx = qRed(t) / 127.5 - 1, ny = qGreen(t) / 127.5 - 1,
                             nz = qBlue(t) / 127.5 - 1;
                QVERIFY(std::abs(std::sqrt(nx * nx + ny * ny + nz * nz) - 1) < 0.02 && nz > 0);
                tilted += nz < 0.9 ? 1 : 0;
            }
        }
        // The relief must be there: the tile's bevels tilt a fair share.
        QVERIFY(tilted > 0.1 * bump.width() * bump.height());
    }

    void soundsAreCleanPcm_data() {
        QTest::addColumn<QString>("name");
        for (const char* sound : {"land", "point", "user"}) {
            QTest::newRow(sound) << QStringLiteral(":/sounds/") + sound;
        }
    }
    void soundsAreCleanPcm() {
        QFETCH(QString, name);
        const QByteArray data = readAll(name);
        QVERIFY(data.size() > 4410);  // a tenth of a second at least
        QList<int> s;
        for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
            s << static_cast<qint16>(static_cast<quint8>(data[i]) |
                                     (static_cast<quint8>(data[i + 1]) << 8));
        }
        const int peak = std::abs(*std::max_element(
            s.begin(), s.end(), [](int a, int b) { return std::abs(a) < std::abs(b); }));
        const double sum = std::accumulate(s.begin(), s.end(), 0.0);
        // Loud enough to hear, never at full scale (clipped), no offset.
        QVERIFY(peak > 16000 && peak < 32000 && std::abs(sum / s.size()) < 0.01 * 32768);
        // Starts and ends at silence, with a ramp rather than a step: no clicks.
        for (int i : {0, 1, int(s.size()) - 2, int(s.size()) - 1}) {
            QVERIFY2(std::abs(s[i]) < 100, qPrintable(QString::number(i)));
        }
        const int ramp = 44;  // 1 ms
        for (int i = 0; i < ramp; ++i) {
            QVERIFY(std::abs(s[i + 1] - s[i]) < peak / 4);
            QVERIFY(std::abs(s[s.size() - 1 - i] - s[s.size() - 2 - i]) < peak / 4);
        }
    }

    void cursorIsAnArrowAtTheOrigin() {
        const QImage bitmap = QBitmap(QStringLiteral(":/cursors/bitmap")).toImage();
        const QImage mask = QBitmap(QStringLiteral(":/cursors/mask")).toImage();
        QVERIFY(bitmap.size() == QSize(32, 32) && mask.size() == QSize(32, 32));
        auto set = [](const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; };
        QVERIFY(set(mask, 0, 0));
        int drawn = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                // A black bit outside the mask has no defined look on X11.
                QVERIFY(!set(bitmap, x, y) || set(mask, x, y));
                drawn += set(mask, x, y) ? 1 : 0;
            }
        }
        QVERIFY(drawn > 100 && drawn < 400);
    }
};

QTEST_MAIN(TestAssets)
#include "test_assets.moc"
