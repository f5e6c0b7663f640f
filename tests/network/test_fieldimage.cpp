// The packed field text of a game-state snapshot and the master server settings file.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "game/gameblock.h"
#include "network/fieldimage.h"
#include "network/masterserversettings.h"

namespace {

void addBox(GameBlock& field, int column, int row, int colour) {
    const int x = column * 50;
    const int y = row * 50;
    field.addBox(GameBox(colour, {x, x, x, x}, {y, y, y, y}, field.fieldsizeX()));
}

}  // namespace

class TestFieldImage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void packsTwoCellsPerByte() {
        GameBlock field(0, 0, 0, 12);
        QCOMPARE(FieldImage::pack(field, 12), QByteArray(150, '\x77'));
        addBox(field, 1, 0, 0);    // odd column: low nibble
        addBox(field, 2, 0, 5);    // even column: high nibble
        addBox(field, 11, 24, 6);  // last cell: colour 6 gives 7, the empty value
        addBox(field, 3, 25, 1);   // above the field: not written
        const QByteArray packed = FieldImage::pack(field, 12);
        QCOMPARE(packed.size(), 150);
        QCOMPARE(static_cast<unsigned char>(packed[0]), 0x71);
        QCOMPARE(static_cast<unsigned char>(packed[1]), 0x67);
        QCOMPARE(static_cast<unsigned char>(packed[149]), 0x77);
        for (char c : packed) {
            QVERIFY(static_cast<unsigned char>(c) >= 0x11 && static_cast<unsigned char>(c) <= 0x77);
            QVERIFY(c != ' ');
        }
        QVERIFY(FieldImage::pack(field, 13).isEmpty());
        QVERIFY(FieldImage::pack(field, 0).isEmpty());
    }

    void wrapsColumnsAndClampsRows() {
        GameBlock field(0, 0, 0, 24);
        addBox(field, -1, 3, 2);  // column 23
        addBox(field, 25, 4, 3);  // column 1
        GameBlock low(0, 0, 0, 24);
        low.addBox(GameBox(4, {100, 100, 100, 100}, {-30, -30, -30, -30}, 24));  // row 0
        field.addBoxesOf(low);
        const auto cells = FieldImage::unpack(FieldImage::pack(field, 24), 24);
        QCOMPARE(cells.size(), std::size_t(3));
        QCOMPARE(cells[0].column, 2);
        QCOMPARE(cells[0].row, 0);
        QCOMPARE(cells[0].colour, 4);
        QCOMPARE(cells[1].column, 23);
        QCOMPARE(cells[1].row, 3);
        QCOMPARE(cells[1].colour, 2);
        QCOMPARE(cells[2].column, 1);
        QCOMPARE(cells[2].row, 4);
        QCOMPARE(cells[2].colour, 3);
    }

    void unpackIsTotal() {
        // 0x71: no box in the even cell, colour 0 in the odd one.
        auto cells = FieldImage::unpack(QByteArray("\x71\x77", 2), 12);
        QCOMPARE(cells.size(), std::size_t(1));
        QCOMPARE(cells[0].column, 1);
        QCOMPARE(cells[0].colour, 0);
        QVERIFY(FieldImage::unpack(QByteArray(150, '\x77'), 12).empty());
        // Nibbles that are no box value (0, 8..15) are no boxes.
        QVERIFY(FieldImage::unpack(QByteArray("\x00\xFF\x8F", 3), 12).empty());
        // Longer than the field: the extra bytes are ignored.
        QCOMPARE(FieldImage::unpack(QByteArray(400, '\x11'), 12).size(), std::size_t(300));
        QVERIFY(FieldImage::unpack(QByteArray(10, '\x11'), 0).empty());
        QVERIFY(FieldImage::unpack(QByteArray(10, '\x11'), -12).empty());
        QCOMPARE(FieldImage::unpack(QByteArray(), 12).size(), std::size_t(0));
    }

    void masterSettingsDefaultsAndValues() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        MasterserverSettings s = MasterserverSettings::load(dir.path());
        QVERIFY(!s.isSet());
        QCOMPARE(s.port, 27404);

        QFile file(dir.filePath(QStringLiteral("masterserver.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Master]\nGeneral\\Address=127.0.0.7\nGeneral\\Port=31000\n");
        file.close();
        s = MasterserverSettings::load(dir.path());
        QVERIFY(s.isSet());
        QCOMPARE(s.address, QHostAddress(QStringLiteral("127.0.0.7")));
        QCOMPARE(s.port, 31000);

        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Master]\nGeneral\\Address=\nGeneral\\Port=99999999\n");
        file.close();
        s = MasterserverSettings::load(dir.path());
        QVERIFY(!s.isSet());
        QCOMPARE(s.port, 27404);
    }
};

QTEST_GUILESS_MAIN(TestFieldImage)
#include "test_fieldimage.moc"
