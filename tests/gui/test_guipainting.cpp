// What the painters place is what a click finds; metrics, resolutions, screenshots.
#include <QTest>
#include <tuple>

#include "gui/screenshotfiles.h"
#include "guifixture.h"

class TestGuiPainting : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rightClickTurnsPagesAndSorts() {
        GuiFixture f;
        f.play("Down Down Down Enter");  // highscores of one player
        f.rightClick(2);
        QCOMPARE(f.session().highscores().page(), 2);
        f.rightClick(1);
        QCOMPARE(f.session().highscores().page(), 1);

        GuiFixture g;
        g.play("Down Enter Down Enter");
        for (int i = 0; i < 15; ++i) {
            g.session().addServer(server(QStringLiteral("S%1").arg(i), 20 + i));
        }
        g.session().processMasterserverResult(MasterserverResult::MasterListDone);
        g.rightClick(ServerListModel::NextPage);
        QCOMPARE(g.session().servers().page(), 2);
        g.rightClick(ServerListModel::PreviousPage);
        QCOMPARE(g.session().servers().page(), 1);
        g.rightClick(ServerListModel::FirstHeader + 3);
        QCOMPARE(g.session().servers().sortColumn(), 3);
        g.rightClick(ServerListModel::FilterVersion);  // a value: backwards, and "Same" is next too
        QCOMPARE(g.session().servers().filters().version, 1);
    }

    // The mouse finds what the painter placed; chat lines that no longer fit go.
    void painterPlacesEntriesForTheMouse() {
        GuiFixture f;
        f.paint();
        QCOMPARE(f.menus().hitMap().size(), 7);
        const QPoint options = f.menus().hitMap().value(4).center();
        f.gui->input().mouseMove(options);
        QCOMPARE(f.menus().currentEntry(), 4);
        f.gui->input().mousePress(options, Qt::LeftButton);
        QCOMPARE(f.top(), GuiState::OptionsMenu);
        const QImage image = f.paint();
        // The longest menu still fits: every entry on the screen.
        QCOMPARE(f.menus().hitMap().size(), MenuModel::kOptionsBack + 1);
        for (const QRect& r : f.menus().hitMap()) {
            QVERIFY(image.rect().contains(r));
        }
        f.gui->input().mousePress(f.menus().hitMap().value(3).center(), Qt::RightButton);
        QCOMPARE(f.menus().options().showPreview, 0);  // backwards from "Top"
        f.gui->input().mousePress(f.menus().hitMap().value(0).center(), Qt::LeftButton);
        QCOMPARE(f.top(), GuiState::EditPlayerName1);
        f.key(Qt::Key_Backspace);
        f.gui->input().mousePress(QPoint(1, 1), Qt::LeftButton);  // a click ends the edit as Enter
        QCOMPARE(f.top(), GuiState::OptionsMenu);
        QCOMPARE(f.menus().options().name1, "Player");

        f.lobby(4, false, false, {0});
        for (int i = 0; i < 40; ++i) {
            f.session().displayChatMessage(0, QStringLiteral("line %1").arg(i));
        }
        f.paint();
        const std::size_t kept = f.session().chat().lines().size();
        QVERIFY(kept > 3 && kept < 40);
        QCOMPARE(f.session().chat().lines().back().text(),
                 QStringLiteral("[P0] line %1").arg(40 - kept));
    }

    void metricsScaleAndAspect() {
        // Wider than 16:9 is laid out as 16:9.
        const std::tuple<QSize, double, double> rows[] = {{{1280, 1024}, 2.0, 1.25},
                                                          {{1920, 1080}, 2.25, 16.0 / 9},
                                                          {{2560, 1080}, 2.25, 16.0 / 9}};
        for (const auto& [size, scale, aspect] : rows) {
            GuiMetrics m;
            m.resize(size.width(), size.height());
            QCOMPARE(m.scale(), scale);
            QCOMPARE(m.aspect(), aspect);
            QCOMPARE(m.font(GuiMetrics::Menu).pixelSize(), int(30 * scale + 0.5));
        }
    }

    void resolutionListAndScreenshotNames() {
        ResolutionList list;
        list.rebuild({{1280, 1024, 32, 60},
                      {800, 600, 32, 60},
                      {640, 480, 32, 60},
                      {1024, 768, 16, 60},
                      {800, 600, 32, 75}});
        QCOMPARE(list.keys(), (QStringList{"0640x0480", "0800x0600", "1280x1024"}));
        QCOMPARE(list.step("1280x1024", true), "0640x0480");
        QCOMPARE(list.step("0640x0480", false), "1280x1024");
        QCOMPARE(list.step("1024x0768", true), "1280x1024");  // not listed: its place

        QTemporaryDir dir;
        ScreenshotFiles files(dir.path(), 3);
        for (const char* name : {"sc_00000.png", "sc_00002.png"}) {
            QDir(dir.path()).mkpath("screenshots");
            QFile(dir.filePath(QStringLiteral("screenshots/") + name)).open(QIODevice::WriteOnly);
        }
        QCOMPARE(files.nextFreePath(), dir.filePath("screenshots/sc_00001.png"));
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QCOMPARE(files.save(image), dir.filePath("screenshots/sc_00001.png"));
        QVERIFY(files.save(image).isEmpty());  // all three names taken
    }
};

QTEST_MAIN(TestGuiPainting)
#include "test_guipainting.moc"
