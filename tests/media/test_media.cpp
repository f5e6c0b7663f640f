#include <QAudioDevice>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QMediaDevices>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "gui/media/creditsroll.h"
#include "gui/media/introsequence.h"
#include "gui/media/soundeffects.h"

namespace {

class FakeSink : public SoundSink {
public:
    bool start(QIODevice* source) override {
        // Every playback must begin at the first sample of an open source.
        startedAtBeginning = startedAtBeginning && source->isOpen() && source->pos() == 0;
        ++starts;
        active = !refuse;
        this->source = source;
        return !refuse;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    // Plays the source to its end, as a real output does before it idles.
    void finish() {
        source->readAll();
        active = false;
        notifyFinished();
    }

    bool refuse = false;
    QIODevice* source = nullptr;
    int starts = 0;
    bool active = false;
    bool startedAtBeginning = true;
};

QAudioFormat format(int rate, int channels, QAudioFormat::SampleFormat sampleFormat) {
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(sampleFormat);
    return format;
}

template <class Scene>
QImage painted(const Scene& scene) {
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(127, 127, 127));
    QPainter painter(&image);
    scene.paint(painter, image.size());
    return image;
}

int colours(const QImage& image) {
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            seen.insert(image.pixel(x, y));
        }
    }
    return static_cast<int>(seen.size());
}

int pixels(const QImage& image, QRect area, const std::function<bool(QRgb)>& wanted) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += wanted(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

class TestMedia : public QObject {
    Q_OBJECT

private slots:
    // The intro played through on a 640x480 screen: where its pieces are, what it sounds and shows,
    // and when the menu is due.
    void introPlaysThroughToTheMenu() {
        IntroSequence intro;
        QList<QPair<int, int>> sounds;  // frame, sound
        connect(&intro, &IntroSequence::soundRequested, [&](int sound) {
            sounds.append({intro.frame(), sound});
        });
        QSignalSpy finished(&intro, &IntroSequence::finished);
        QMap<int, QImage> shown;  // frame, picture
        for (int ticks = 0; finished.isEmpty() && ticks < 1000; ++ticks) {
            intro.tick(480);
            const int f = intro.frame();
            if (f == 0 || f == 150 || f == 300 || f == 350) {
                shown[f] = painted(intro);
            }
            if (f == 100) {
                // Landed in place, turned from rotation 3 to 0 on the way.
                QCOMPARE(intro.block(0)->boxes().size(), 5u);
                QCOMPARE(
                    (QList{intro.block(0)->x(), intro.block(0)->y(), intro.block(0)->rotation()}),
                    (QList{0, 0, 0}));
            }
            if (f == 121) {
                // Frame 120 of 199: 0.8 of a 390 pixel fall left, one step right, 4 steps up.
                QCOMPARE(QPoint(intro.block(1)->x(), intro.block(1)->y()), QPoint(-75, -300));
            }
        }
        QCOMPARE(sounds, (QList<QPair<int, int>>{
                             {99, Sound::Land}, {199, Sound::Land}, {300, Sound::Point}}));
        QVERIFY(intro.block(1)->x() == 0 && intro.block(1)->y() == 0 &&
                intro.block(1)->boxes().size() == 6);
        QCOMPARE(intro.frame(), IntroSequence::kMenuFrame);
        intro.tick(480);
        QCOMPARE(finished.size(), 1);

        // Darkened, both pieces still above the top at frame 0.
        QCOMPARE(colours(shown[0]), 1);
        QVERIFY(qGray(shown[0].pixel(320, 240)) < 60);
        // A piece in its colours while the second falls.
        QVERIFY(colours(shown[150]) > 3);
        // White flash at 300, the name below the logo afterwards.
        QVERIFY(qGray(shown[300].pixel(5, 5)) > 200);
        QVERIFY(qGray(shown[350].pixel(5, 5)) < qGray(shown[300].pixel(5, 5)));
        QVERIFY(pixels(shown[350], {0, 370, 640, 55}, [](QRgb c) { return qGray(c) > 220; }) > 200);
        CreditsRoll credits;
        QSignalSpy rolled(&credits, &CreditsRoll::finished);
        QCOMPARE(colours(painted(credits)), 1);  // everything still below the bottom
        bool white = false, grey = false;
        for (int ticks = 1; rolled.isEmpty() && ticks <= 5000; ++ticks) {
            credits.tick(480);
            if (ticks % 50 == 0 && !(white && grey)) {
                const QImage frame = painted(credits);
                white =
                    white || pixels(frame, frame.rect(), [](QRgb c) { return c == 0xffffffff; });
                grey = grey || pixels(frame, frame.rect(), [](QRgb c) { return c == 0xff555555; });
            }
        }
        QVERIFY(white && grey);
        QCOMPARE(rolled.size(), 1);
        // Done only once the text has gone: the last frame shows none of it.
        QCOMPARE(colours(painted(credits)), 1);
        credits.tick(480);
        QCOMPARE(rolled.size(), 1);
        credits.restart();
        QVERIFY(credits.frame() == 0 && !credits.isFinished());
    }

    void repeatsQueueOtherSoundsOverlapAndOffStopsAll() {
        // Fake outputs, one per sound, in the format the sounds are recorded in.
        std::vector<FakeSink*> sinks;
        SoundEffects effects(format(44100, 1, QAudioFormat::Int16), [&](const QAudioFormat&) {
            auto sink = std::make_unique<FakeSink>();
            sinks.push_back(sink.get());
            return sink;
        });
        QCOMPARE(sinks.size(), 3u);
        FakeSink &land = *sinks[Sound::Land], &point = *sinks[Sound::Point],
                 &user = *sinks[Sound::User];

        // A merge clearing three rows: one land, three points.
        effects.play(Sound::Land);
        for (int i = 0; i < 3; ++i) {
            effects.play(Sound::Point);
        }
        QCOMPARE((QList{point.starts, effects.queued(Sound::Point)}), (QList{1, 2}));
        // A notice during the land sound plays at once on its own output.
        effects.play(Sound::User);
        QCOMPARE((QList{user.starts, land.starts}), (QList{1, 1}));

        point.finish();
        point.finish();
        QCOMPARE((QList{point.starts, effects.queued(Sound::Point)}), (QList{3, 0}));
        point.finish();
        QCOMPARE(point.starts, 3);
        effects.play(Sound::Point);
        QVERIFY(point.starts == 4 && point.startedAtBeginning);
        effects.play(7);
        effects.play(-1);

        // Off stops what plays, forgets the queue and plays nothing until on again.
        effects.play(Sound::Point);
        effects.setEnabled(false);
        QVERIFY(!point.active && effects.queued(Sound::Point) == 0);
        effects.play(Sound::Point);
        effects.play(Sound::User);
        QCOMPARE((QList{point.starts, user.starts}), (QList{4, 1}));
        effects.setEnabled(true);
        effects.play(Sound::Point);
        QCOMPARE(point.starts, 5);

        // An output that refuses is tried once, and nothing queues behind it.
        land.refuse = true;
        for (int i = 0; i < 3; ++i) {
            effects.play(Sound::Land);
        }
        QCOMPARE((QList{land.starts, effects.queued(Sound::Land)}), (QList{2, 0}));
        // Without an audio device: no crash, no hang, no warning per request.
        static int warnings = 0;
        SoundEffects real;
        QCOMPARE(real.hasOutput(), !QMediaDevices::defaultAudioOutput().isNull());
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
                warnings += type != QtDebugMsg ? 1 : 0;
            });
        for (int i = 0; i < 10; ++i) {
            real.play(i % Sound::kCount);
        }
        QTest::qWait(50);
        qInstallMessageHandler(previous);
        QCOMPARE(warnings, 0);
    }

    void conversionKeepsTheSound_data() {
        QTest::addColumn<QAudioFormat>("format");
        QTest::newRow("as recorded") << format(44100, 1, QAudioFormat::Int16);
        QTest::newRow("stereo float 48k") << format(48000, 2, QAudioFormat::Float);
        QTest::newRow("8-bit 22k") << format(22050, 1, QAudioFormat::UInt8);
    }
    void conversionKeepsTheSound() {
        QFETCH(QAudioFormat, format);
        const int rate = format.sampleRate(), channels = format.channelCount();
        // 4410 samples of a rising ramp, one tenth of a second.
        QByteArray samples;
        for (int i = 0; i < 4410; ++i) {
            const qint16 v = static_cast<qint16>(i * 7 - 15000);
            samples.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
        const QByteArray out = SoundEffects::convert(samples, format);
        QCOMPARE(out.size(), rate / 10 * channels * format.bytesPerSample());
        // The same moment (half way) holds the same level in every channel.
        const qsizetype frame = rate / 20;
        for (int c = 0; c < channels; ++c) {
            const double half = format.normalizedSampleValue(
                out.constData() + (frame * channels + c) * format.bytesPerSample());
            // 8-bit output is coarse (and Qt reads it centred on 127).
            QVERIFY2(std::abs(half - (2205 * 7 - 15000) / 32768.0) < 0.02,
                     qPrintable(QString::number(half)));
        }
        if (rate == 44100) {
            QCOMPARE(out, samples);
        }
    }
};

QTEST_MAIN(TestMedia)
#include "test_media.moc"
