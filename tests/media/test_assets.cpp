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

// Mean absolute difference between neighbouring columns of an image, and the
// same across the wrap from the last column to the first.
std::pair<double, double> columnSteps(const QImage& image) {
    double inner = 0;
    double wrap = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb a = image.pixel(x, y);
            const QRgb b = image.pixel((x + 1) % image.width(), y);
            const double step = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                std::abs(qBlue(a) - qBlue(b));
            (x + 1 == image.width() ? wrap : inner) += step;
        }
    }
    return {inner / ((image.width() - 1) * image.height()), wrap / image.height()};
}

}  // namespace

class TestAssets : public QObject {
    Q_OBJECT

private slots:
    void generatorsRebuildTheCommittedFiles_data() {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("files");
        QTest::newRow("textures") << "quadrell-gen-textures"
                                  << "textures" << 3;
        QTest::newRow("cursor") << "quadrell-gen-cursor"
                                << "cursors" << 2;
        QTest::newRow("icons") << "quadrell-gen-icons"
                               << "icons" << 8;
    }
    void generatorsRebuildTheCommittedFiles() {
        QFETCH(QString, generator);
        QFETCH(QString, folder);
        QFETCH(int, files);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QProcess run;
        run.start(QStringLiteral(QUADRELL_GENERATORS_DIR "/") + generator, {out.path()});
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitCode(), 0);

        const QString committed = QStringLiteral(QUADRELL_RESOURCES_DIR "/") + folder;
        const QStringList names = filesBelow(committed);
        QCOMPARE(names.size(), files);
        QCOMPARE(filesBelow(out.path()), names);
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
            QCOMPARE(image.width(), image.height());
            QCOMPARE(image.width() & (image.width() - 1), 0);
            // A seam shows as a jump at the wrap far above the usual step.
            for (const QImage& turned : {image, image.transformed(QTransform().rotate(90))}) {
                const auto [inner, wrap] = columnSteps(turned);
                QVERIFY2(wrap < 2 * inner + 2, name);
            }
        }
        const QImage bump(QStringLiteral(":/textures/box_bm"));
        double tilted = 0;
        for (int y = 0; y < bump.height(); ++y) {
            for (int x = 0; x < bump.width(); ++x) {
                const QRgb t = bump.pixel(x, y);
                const double nx = qRed(t) / 127.5 - 1;
                const double ny = qGreen(t) / 127.5 - 1;
                const double nz = qBlue(t) / 127.5 - 1;
                QVERIFY(std::abs(std::sqrt(nx * nx + ny * ny + nz * nz) - 1) < 0.02);
                QVERIFY(nz > 0);
                tilted += nz < 0.9 ? 1 : 0;
            }
        }
        // The relief must be there: the tile's bevels tilt a fair share.
        QVERIFY(tilted > 0.1 * bump.width() * bump.height());
    }

    void cursorIsAnArrowAtTheOrigin() {
        const QImage bitmap = QBitmap(QStringLiteral(":/cursors/bitmap")).toImage();
        const QImage mask = QBitmap(QStringLiteral(":/cursors/mask")).toImage();
        QCOMPARE(bitmap.size(), QSize(32, 32));
        QCOMPARE(mask.size(), QSize(32, 32));
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
