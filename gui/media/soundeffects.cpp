#include "soundeffects.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kSampleRate = 44100;
constexpr std::array<const char*, Sound::kCount> kResources = {":/sounds/land", ":/sounds/point",
                                                               ":/sounds/user"};

class AudioSinkOutput : public SoundSink {
public:
    AudioSinkOutput(const QAudioDevice& device, const QAudioFormat& format)
        : sink_(std::make_unique<QAudioSink>(device, format)) {
        // Queued, so that a restart never runs inside the sink's own signal.
        // By the time it arrives a new start may have made the sink active
        // again; only a sink that is still idle has finished.
        QObject::connect(
            sink_.get(), &QAudioSink::stateChanged, sink_.get(),
            [this](QAudio::State state) {
                if (state == QAudio::IdleState && sink_->state() == QAudio::IdleState) {
                    notifyFinished();
                }
            },
            Qt::QueuedConnection);
    }

    bool start(QIODevice* source) override {
        sink_->start(source);
        return !(sink_->state() == QAudio::StoppedState && sink_->error() != QAudio::NoError);
    }
    void stop() override {
        sink_->stop();
        sink_->reset();
    }
    bool isActive() const override { return sink_->state() == QAudio::ActiveState; }

private:
    std::unique_ptr<QAudioSink> sink_;
};

double sampleAt(const QByteArray& samples, qsizetype index) {
    return qFromLittleEndian<qint16>(samples.constData() + 2 * index) / 32768.0;
}

// Audio outputs take samples in the machine's byte order.
template <typename T>
char* put(char* to, double value, double lowest, double highest) {
    const T sample = static_cast<T>(std::clamp(value, lowest, highest));
    std::memcpy(to, &sample, sizeof sample);
    return to + sizeof sample;
}

}  // namespace

SoundEffects::SoundEffects(QObject* parent) : QObject(parent) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    // No device: no outputs, so no attempt that fails and complains per sound.
    if (device.isNull()) {
        return;
    }
    createChannels(formatFor(device), [device](const QAudioFormat& format) {
        return std::make_unique<AudioSinkOutput>(device, format);
    });
}

SoundEffects::SoundEffects(const QAudioFormat& format, const SinkFactory& factory, QObject* parent)
    : QObject(parent) {
    createChannels(format, factory);
}

SoundEffects::~SoundEffects() {
    for (Channel& channel : channels_) {
        if (channel.sink) {
            channel.sink->setFinishedHandler({});
            channel.sink->stop();
        }
    }
}

void SoundEffects::createChannels(const QAudioFormat& format, const SinkFactory& factory) {
    for (int i = 0; i < Sound::kCount; ++i) {
        Channel& channel = channels_[static_cast<std::size_t>(i)];
        QFile file(QString::fromLatin1(kResources[static_cast<std::size_t>(i)]));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        channel.samples = convert(file.readAll(), format);
        channel.source.setBuffer(&channel.samples);
        channel.sink = factory(format);
        if (channel.sink) {
            channel.sink->setFinishedHandler([this, &channel] { processFinished(channel); });
        }
    }
}

bool SoundEffects::hasOutput() const {
    return std::any_of(channels_.begin(), channels_.end(), [](const Channel& channel) {
        return channel.sink != nullptr && !channel.failed;
    });
}

int SoundEffects::queued(int sound) const {
    return sound >= 0 && sound < Sound::kCount ? channels_[static_cast<std::size_t>(sound)].queued
                                               : 0;
}

void SoundEffects::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled) {
        return;
    }
    for (Channel& channel : channels_) {
        channel.queued = 0;
        if (channel.sink) {
            channel.sink->stop();
        }
        channel.source.close();
    }
}

void SoundEffects::play(int sound) {
    if (!enabled_ || sound < 0 || sound >= Sound::kCount) {
        return;
    }
    Channel& channel = channels_[static_cast<std::size_t>(sound)];
    if (!channel.sink || channel.failed) {
        return;
    }
    if (channel.sink->isActive()) {
        ++channel.queued;
        return;
    }
    startFromBeginning(channel);
}

void SoundEffects::startFromBeginning(Channel& channel) {
    channel.source.close();
    channel.source.open(QIODevice::ReadOnly);
    if (!channel.sink->start(&channel.source)) {
        // An output that cannot play once will not play later: give it up
        // rather than fail (and complain) on every request. It stays alive,
        // as this may run inside its own notification.
        channel.failed = true;
        channel.queued = 0;
        channel.source.close();
    }
}

void SoundEffects::processFinished(Channel& channel) {
    if (channel.queued < 1) {
        channel.sink->stop();
        channel.source.close();
        return;
    }
    --channel.queued;
    startFromBeginning(channel);
}

QAudioFormat SoundEffects::formatFor(const QAudioDevice& device) {
    QAudioFormat wanted = device.preferredFormat();
    wanted.setSampleRate(kSampleRate);
    wanted.setChannelCount(1);
    wanted.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || device.isFormatSupported(wanted)) {
        return wanted;
    }
    // Closest first: keep the rate and the sample type, then give up the
    // channel count, then the rate; last the device's own format.
    const QAudioFormat preferred = device.preferredFormat();
    QAudioFormat candidate = wanted;
    candidate.setChannelCount(2);
    if (device.isFormatSupported(candidate)) {
        return candidate;
    }
    for (int channels : {1, 2}) {
        candidate = wanted;
        candidate.setSampleRate(preferred.sampleRate());
        candidate.setChannelCount(channels);
        if (device.isFormatSupported(candidate)) {
            return candidate;
        }
    }
    return preferred;
}

QByteArray SoundEffects::convert(const QByteArray& samples, const QAudioFormat& format) {
    const qsizetype inFrames = samples.size() / 2;
    const int rate = format.sampleRate() > 0 ? format.sampleRate() : kSampleRate;
    const int channels = std::max(1, format.channelCount());
    const qsizetype outFrames = inFrames * rate / kSampleRate;
    QByteArray out(outFrames * channels * std::max(1, format.bytesPerSample()), Qt::Uninitialized);
    char* to = out.data();
    for (qsizetype i = 0; i < outFrames; ++i) {
        // Linear interpolation is plenty for effects this short.
        const double at = static_cast<double>(i) * kSampleRate / rate;
        const auto left = static_cast<qsizetype>(at);
        const double here = sampleAt(samples, left);
        const double next = left + 1 < inFrames ? sampleAt(samples, left + 1) : 0.0;
        const double v = here + (next - here) * (at - static_cast<double>(left));
        for (int c = 0; c < channels; ++c) {
            switch (format.sampleFormat()) {
                case QAudioFormat::UInt8:
                    to = put<quint8>(to, std::round(v * 128 + 128), 0, 255);
                    break;
                case QAudioFormat::Int32:
                    to = put<qint32>(to, std::round(v * 2147483648.0), -2147483648.0, 2147483647.0);
                    break;
                case QAudioFormat::Float:
                    to = put<float>(to, v, -1.0, 1.0);
                    break;
                default:
                    to = put<qint16>(to, std::round(v * 32768), -32768, 32767);
                    break;
            }
        }
    }
    return out;
}
