#pragma once

#include <QAudioFormat>
#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <array>
#include <functional>
#include <memory>

class QAudioDevice;
class QIODevice;

// The game's three sound effects, by the numbers the widget's soundRequested
// signal carries.
namespace Sound {
enum Id : int { Land = 0, Point = 1, User = 2 };
inline constexpr int kCount = 3;
}  // namespace Sound

// One audio output, playing one source at a time. SoundEffects talks to
// QAudioSink only through this, so tests can hand it a fake.
class SoundSink {
public:
    virtual ~SoundSink() = default;

    // Plays the source from its current position; false when the output
    // cannot play at all (no device, format refused).
    virtual bool start(QIODevice* source) = 0;
    virtual void stop() = 0;
    // Still playing: started and not yet through the source.
    virtual bool isActive() const = 0;

    // Called each time a playback has played the whole source.
    void setFinishedHandler(std::function<void()> handler) { finished_ = std::move(handler); }

protected:
    void notifyFinished() {
        if (finished_) {
            finished_();
        }
    }

private:
    std::function<void()> finished_;
};

// Plays "land", "point" and "user", each on an output of its own so that
// different sounds overlap. A request while the same sound still plays is
// queued and replays the whole sound afterwards; none is dropped. With sounds
// off nothing plays; without an audio device nothing happens at all.
class SoundEffects : public QObject {
    Q_OBJECT

public:
    using SinkFactory = std::function<std::unique_ptr<SoundSink>(const QAudioFormat&)>;

    // Outputs on the system's default audio device, none when there is none.
    explicit SoundEffects(QObject* parent = nullptr);
    // Outputs from `factory` in the given format (tests).
    SoundEffects(const QAudioFormat& format, const SinkFactory& factory, QObject* parent = nullptr);
    ~SoundEffects() override;

    bool isEnabled() const { return enabled_; }
    // Turning sounds off also stops what plays and forgets what is queued.
    void setEnabled(bool enabled);
    bool hasOutput() const;
    // Replays still queued behind the current playback of `sound`.
    int queued(int sound) const;

    // 44100 Hz, mono, 16-bit signed if the device takes it; else the nearest
    // format it supports.
    static QAudioFormat formatFor(const QAudioDevice& device);
    // Our samples (16-bit signed mono at 44100 Hz) in another format.
    static QByteArray convert(const QByteArray& samples, const QAudioFormat& format);

public slots:
    // Connect the widget's soundRequested(int) here. Unknown numbers are ignored.
    void play(int sound);

private:
    struct Channel {
        QByteArray samples;
        QBuffer source;
        std::unique_ptr<SoundSink> sink;
        bool failed = false;
        int queued = 0;
    };

    void createChannels(const QAudioFormat& format, const SinkFactory& factory);
    void startFromBeginning(Channel& channel);
    void processFinished(Channel& channel);

    std::array<Channel, Sound::kCount> channels_;
    bool enabled_ = true;
};
