#include "audio/qt/qt_audio.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QAudioSink>
#include <QAudioSource>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

// The resources live in a static library: register them before first use.
static void initAudioResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(audio);
        return true;
    }();
    (void)done;
}

namespace talery {
namespace {

QAudioFormat toQt(const PcmFormat& f) {
    QAudioFormat q;
    q.setSampleRate(static_cast<int>(f.samplesPerSecond));
    q.setChannelCount(f.channels);
    switch (f.bitsPerSample) {
        case 8: q.setSampleFormat(QAudioFormat::UInt8); break;
        case 16: q.setSampleFormat(QAudioFormat::Int16); break;
        case 32: q.setSampleFormat(f.formatTag == 3 ? QAudioFormat::Float : QAudioFormat::Int32); break;
        default: q.setSampleFormat(QAudioFormat::Unknown); break;
    }
    return q;
}

}  // namespace

// --- Capture ---------------------------------------------------------------

// What the audio source writes into: every byte goes straight to the buffers.
class QtCaptureDevice::Sink final : public QIODevice {
public:
    explicit Sink(QtCaptureDevice& owner) : owner_(owner) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        owner_.take(data, static_cast<std::size_t>(length));
        return length;
    }

private:
    QtCaptureDevice& owner_;
};

QtCaptureDevice::QtCaptureDevice() : devices_(new QMediaDevices(this)) {
    connect(devices_, &QMediaDevices::audioInputsChanged, this, [this] {
        if (!source_ || gone_) return;
        for (const QAudioDevice& d : QMediaDevices::audioInputs())
            if (d.id() == deviceId_) return;
        deviceGone();
    });
}

QtCaptureDevice::~QtCaptureDevice() { close(); }

bool QtCaptureDevice::supports(const PcmFormat& format) {
    const QAudioDevice d = QMediaDevices::defaultAudioInput();
    return !d.isNull() && d.isFormatSupported(toQt(format));
}

bool QtCaptureDevice::open(const PcmFormat& format, BufferDone done, Lost lost) {
    const QAudioDevice d = QMediaDevices::defaultAudioInput();
    if (d.isNull()) return false;
    close();
    source_ = std::make_unique<QAudioSource>(d, toQt(format));
    // Small fragments: the server hands samples over every few tens of
    // milliseconds, so a reset loses little and a short recording is not empty.
    source_->setBufferSize(1024);
    deviceId_ = d.id();
    done_ = std::move(done);
    lost_ = std::move(lost);
    gone_ = false;
    connect(source_.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && source_ && source_->error() != QAudio::NoError && !gone_) deviceGone();
    });
    return true;
}

bool QtCaptureDevice::addBuffer(CaptureBuffer* buffer) {
    if (!source_ || !buffer) return false;
    queue_.push_back(buffer);
    return true;
}

bool QtCaptureDevice::start() {
    if (!source_) return false;
    sink_ = std::make_unique<Sink>(*this);
    source_->start(sink_.get());
    return source_->error() == QAudio::NoError;
}

void QtCaptureDevice::take(const char* data, std::size_t length) {
    while (length > 0 && !queue_.empty()) {
        CaptureBuffer* b = queue_.front();
        const std::size_t n = std::min(length, b->bytes.size() - b->recorded);
        std::copy_n(data, n, b->bytes.data() + b->recorded);
        b->recorded += n;
        data += n;
        length -= n;
        if (b->recorded == b->bytes.size()) {
            queue_.pop_front();
            b->done = true;
            done_(b);  // may queue the next buffer
        }
    }
}

void QtCaptureDevice::handBackAll() {
    std::deque<CaptureBuffer*> back;
    back.swap(queue_);
    for (CaptureBuffer* b : back) {
        b->done = true;
        done_(b);
    }
}

bool QtCaptureDevice::reset() {
    if (!source_) return false;
    source_->stop();  // what was already captured has been written to the sink
    handBackAll();
    return true;
}

void QtCaptureDevice::close() {
    if (!source_) return;
    source_->disconnect(this);
    source_->stop();
    queue_.clear();
    source_.reset();
    sink_.reset();
}

void QtCaptureDevice::deviceGone() {
    gone_ = true;
    if (source_) source_->stop();
    // Tell the owner from the event loop, not from inside Qt's signal.
    QMetaObject::invokeMethod(this, [this] {
        if (lost_) lost_();
    }, Qt::QueuedConnection);
}

// --- Playback --------------------------------------------------------------

QtMediaBackend::QtMediaBackend() = default;
QtMediaBackend::~QtMediaBackend() = default;

QMediaPlayer* QtMediaBackend::player(const std::string& alias) const {
    auto it = open_.find(alias);
    return it == open_.end() ? nullptr : it->second.player.get();
}

bool QtMediaBackend::request(const MediaRequest& r) {
    using K = MediaRequest::Kind;
    if (r.kind == K::Open) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(r.path));
        if (open_.count(r.alias) || !QFileInfo(path).isReadable()) return false;
        // Without an output device the player would play on in silence.
        if (QMediaDevices::defaultAudioOutput().isNull()) return false;
        Entry e;
        e.output = std::make_unique<QAudioOutput>();
        e.player = std::make_unique<QMediaPlayer>();
        e.player->setAudioOutput(e.output.get());
        e.player->setSource(QUrl::fromLocalFile(path));
        open_.emplace(r.alias, std::move(e));
        return true;
    }
    QMediaPlayer* p = player(r.alias);
    if (!p) return false;
    switch (r.kind) {
        case K::Play:
        case K::Resume: p->play(); break;
        case K::PlayFrom:
            p->setPosition(r.position);
            p->play();
            break;
        case K::Pause: p->pause(); break;
        case K::Stop: p->stop(); break;
        case K::SeekToStart: p->setPosition(0); break;
        case K::Close:
            p->stop();
            open_.erase(r.alias);
            break;
        case K::Open: break;
    }
    return true;
}

std::optional<MediaProgress> QtMediaBackend::progress(const std::string& alias) const {
    const QMediaPlayer* p = player(alias);
    if (!p) return std::nullopt;
    return MediaProgress{static_cast<long>(p->position()), static_cast<long>(p->duration()),
                         p->mediaStatus() == QMediaPlayer::EndOfMedia};
}

// --- Start cue -------------------------------------------------------------

QByteArray startCueImage() {
    initAudioResources();
    QFile f(QStringLiteral(":/audio/start_cue.wav"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QtCuePlayer::QtCuePlayer() {
    const QByteArray image = startCueImage();
    // The clip's RIFF size field is not its real length; the chunks are walked.
    if (auto layout = parseWav(std::string_view(image.constData(), static_cast<std::size_t>(image.size())))) {
        samples_ = image.mid(static_cast<qsizetype>(layout->dataOffset), static_cast<qsizetype>(layout->dataBytes));
        format_ = layout->format;
    }
}

QtCuePlayer::~QtCuePlayer() {
    if (sink_) sink_->stop();
}

void QtCuePlayer::playStartCue() {
    if (samples_.isEmpty()) return;
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull()) return;
    if (sink_) sink_->stop();
    buffer_.close();
    buffer_.setData(samples_);
    buffer_.open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(out, toQt(format_));
    connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State s) {
        if (s == QAudio::IdleState && sink_) sink_->stop();
    });
    sink_->start(&buffer_);
}

bool QtCuePlayer::playing() const { return sink_ && sink_->state() == QAudio::ActiveState; }

// --- Pictures --------------------------------------------------------------

QPixmap recordPicture(bool active, QSize size, qreal devicePixelRatio) {
    initAudioResources();
    const QPixmap source(active ? QStringLiteral(":/audio/record_active.png") : QStringLiteral(":/audio/record_idle.png"));
    if (source.isNull()) return {};
    const QSize wanted = (size.isEmpty() ? QSize(24, 24) : size) * devicePixelRatio;
    QPixmap scaled = source.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(devicePixelRatio);
    return scaled;
}

}  // namespace talery
