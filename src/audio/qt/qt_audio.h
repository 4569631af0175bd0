#pragma once
// The sound devices on Qt Multimedia: the default input for the recorder,
// a media player per alias for WAV playback, the start cue, and the record
// button's pictures.

#include "audio/capture_device.h"
#include "audio/media_player.h"
#include "audio/recorder.h"

#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QPixmap>
#include <QPointer>

#include <deque>
#include <map>
#include <memory>

class QAudioSource;
class QAudioSink;
class QAudioOutput;
class QIODevice;
class QMediaDevices;
class QMediaPlayer;

namespace talery {

// Captures the default input. Qt writes the samples into a sink device on
// this thread, so buffers are filled and handed back here, never concurrently.
class QtCaptureDevice final : public QObject, public CaptureDevice {
public:
    QtCaptureDevice();
    ~QtCaptureDevice() override;

    bool supports(const PcmFormat& format) override;
    bool open(const PcmFormat& format, BufferDone done, Lost lost) override;
    bool isOpen() const override { return source_ != nullptr; }
    bool addBuffer(CaptureBuffer* buffer) override;
    bool start() override;
    bool reset() override;
    void close() override;

private:
    class Sink;
    void take(const char* data, std::size_t length);
    void handBackAll();
    void deviceGone();

    std::unique_ptr<QAudioSource> source_;
    std::unique_ptr<Sink> sink_;
    QMediaDevices* devices_;
    QByteArray deviceId_;
    std::deque<CaptureBuffer*> queue_;
    BufferDone done_;
    Lost lost_;
    bool gone_ = false;
};

// One QMediaPlayer (GStreamer) per open alias.
class QtMediaBackend final : public QObject, public MediaBackend {
public:
    QtMediaBackend();
    ~QtMediaBackend() override;
    bool request(const MediaRequest& request) override;
    std::optional<MediaProgress> progress(const std::string& alias) const override;
    QMediaPlayer* player(const std::string& alias) const;

private:
    struct Entry {
        std::unique_ptr<QAudioOutput> output;
        std::unique_ptr<QMediaPlayer> player;
    };
    std::map<std::string, Entry> open_;
};

// Plays the start cue compiled into the program, without waiting for it.
class QtCuePlayer final : public QObject, public CuePlayer {
public:
    QtCuePlayer();
    ~QtCuePlayer() override;
    void playStartCue() override;
    bool playing() const;

private:
    QByteArray samples_;
    PcmFormat format_;
    QBuffer buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

// The start cue as compiled into the program.
QByteArray startCueImage();
// The record button's picture scaled down smoothly to `size` device-independent pixels.
QPixmap recordPicture(bool active, QSize size, qreal devicePixelRatio = 1.0);

}  // namespace talery
