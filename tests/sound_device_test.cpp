// The recorder and the player on the real sound devices, through a private
// sound server (scripts/sound-server) whose input hears what its output
// plays: a tone played during a recording must be in the saved WAV file, and
// the file must play to its end in the program's player.

#include "app/application.h"
#include "audio/qt/qt_audio.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QtTest>

#include <cmath>

using namespace talery;

namespace {

constexpr double kToneHz = 440.0;

unsigned field(const std::string& b, std::size_t at, int size) {
    unsigned v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

// A sine tone at 8000 samples per second, played on the default output.
class Tone {
public:
    explicit Tone(double seconds) {
        const int n = static_cast<int>(seconds * 8000);
        QByteArray pcm(n * 2, '\0');
        for (int i = 0; i < n; ++i) {
            const auto s = static_cast<qint16>(std::lround(12000 * std::sin(2 * M_PI * kToneHz * i / 8000.0)));
            pcm[2 * i] = static_cast<char>(s & 0xFF);
            pcm[2 * i + 1] = static_cast<char>((s >> 8) & 0xFF);
        }
        buffer_.setData(pcm);
        buffer_.open(QIODevice::ReadOnly);
        QAudioFormat f;
        f.setSampleRate(8000);
        f.setChannelCount(1);
        f.setSampleFormat(QAudioFormat::Int16);
        sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), f);
        sink_->start(&buffer_);
    }
    ~Tone() { sink_->stop(); }

private:
    QBuffer buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

// Accepts the first file dialog with a path, after noting the name it
// offered; confirms every message box, noting its text.
class DialogAnswer : public QObject {
public:
    explicit DialogAnswer(const QString& path) : path_(path) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && box != lastBox_) {
                lastBox_ = box;
                messages << box->text();
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
            }
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog || answered_) return;
            answered_ = true;
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            offered = name ? name->text() : QString();
            objectName = dialog->objectName();
            if (name) name->setText(path_);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        });
        timer_.start(20);
    }
    QString offered;
    QString objectName;
    QStringList messages;

private:
    QString path_;
    QTimer timer_;
    bool answered_ = false;
    QPointer<QMessageBox> lastBox_;
};

unsigned dataLength(const std::string& wav) {
    if (wav.size() < 44) return 0;
    const unsigned data = field(wav, 40, 4);
    // A well-formed recording: sizes that agree with each other and with the file.
    if (wav.compare(0, 4, "RIFF") != 0 || field(wav, 4, 4) != data + 36 || wav.size() != 44u + data) return 0;
    return data;
}

// The program's window and logic on the real sound devices.
struct RealProgram {
    explicit RealProgram(const test::TempDir& dir) : app(window, clock, SettingsStore(dir.path())) {
        app.audio().attach(capture, media, cue);
        app.start();
        window.widget()->show();
    }
    void pressRecord() { QTest::mousePress(window.unitWidget(Unit::录音按钮), Qt::LeftButton); }

    QtWindow window;
    QtCaptureDevice capture;
    QtMediaBackend media;
    QtCuePlayer cue;
    FixedClock clock{{2016, 1, 1, 9, 0, 0}};
    Application app;
};

}  // namespace

class SoundDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pictures();
    void startCuePlaysInTheBackground();
    void recordsAToneAndPlaysTheRecordingToItsEnd();
    void playsOtherFormatsAndDamagedFiles();
    void serverGoneMidRecordingKeepsWhatWasRecorded();  // ends the sound server: keep it last
};

void SoundDeviceTest::initTestCase() {
    // No skipping: without the sound server these tests must fail loudly.
    if (QMediaDevices::defaultAudioInput().isNull() || QMediaDevices::defaultAudioOutput().isNull())
        QFAIL("no sound input or output: the sound server is not running (scripts/sound-server start DIR, "
              "then XDG_RUNTIME_DIR=DIR)");
}

void SoundDeviceTest::pictures() {
    for (const char* name : {":/audio/record_idle.png", ":/audio/record_active.png"}) {
        recordPicture(false, {24, 24});  // registers the resources
        const QImage image(QString::fromLatin1(name));
        QCOMPARE(image.size(), QSize(512, 512));
    }
    QtWindow window;
    auto* button = qobject_cast<QLabel*>(window.unitWidget(Unit::录音按钮));
    QVERIFY(button);
    const QImage idle = button->pixmap().toImage();
    QCOMPARE(idle.size(), QSize(24, 24));
    window.setPicture(Unit::录音按钮, Picture::RecordActive);
    const QImage active = button->pixmap().toImage();
    QCOMPARE(active.size(), QSize(24, 24));
    QVERIFY(idle != active);
    // Opaque in the middle, transparent in the corners: a round badge, not a smear.
    QCOMPARE(idle.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(active.pixelColor(12, 3).alpha(), 255);
}

void SoundDeviceTest::startCuePlaysInTheBackground() {
    QtCuePlayer cue;
    cue.playStartCue();
    // Still playing after the call returned: the caller did not wait for the clip.
    QTRY_VERIFY_WITH_TIMEOUT(cue.playing(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!cue.playing(), 5000);
}

void SoundDeviceTest::recordsAToneAndPlaysTheRecordingToItsEnd() {
    test::TempDir dir;
    RealProgram program(dir);
    QtWindow& window = program.window;
    QtMediaBackend& media = program.media;
    Application& app = program.app;

    Tone tone(4.0);
    QTest::qWait(300);  // the tone is flowing before the recording starts
    QElapsedTimer recorded;
    recorded.start();
    program.pressRecord();
    QVERIFY(app.audio().recorder().recording());
    QTest::qWait(1000);
    // A bare name: the recording is a WAV, so ".wav" is added (never the design's "mp3").
    DialogAnswer answer(QString::fromStdString(dir / "tone"));
    const qint64 elapsed = recorded.elapsed();
    program.pressRecord();
    QVERIFY(!app.audio().recorder().recording());
    QCOMPARE(answer.objectName, QStringLiteral("通用对话框3"));
    QCOMPARE(answer.offered, QStringLiteral("2016年1月1日by：Talery录音"));
    QVERIFY(answer.messages.isEmpty());

    const std::string wav = test::readBytes(dir / "tone.wav");
    QVERIFY(wav.size() > 44);
    const unsigned data = field(wav, 40, 4);
    QCOMPARE(wav.size(), std::size_t(44) + data);
    QCOMPARE(wav.substr(0, 4), std::string("RIFF"));
    QCOMPARE(field(wav, 4, 4), data + 36);
    QCOMPARE(wav.substr(8, 8), std::string("WAVEfmt "));
    QCOMPARE(field(wav, 16, 4), 16u);
    QCOMPARE(field(wav, 20, 2), 1u);
    QCOMPARE(field(wav, 22, 2), 1u);
    QCOMPARE(field(wav, 24, 4), 8000u);
    QCOMPARE(field(wav, 28, 4), 16000u);
    QCOMPARE(field(wav, 32, 2), 2u);
    QCOMPARE(field(wav, 34, 2), 16u);
    QCOMPARE(wav.substr(36, 4), std::string("data"));
    // 16000 bytes a second for as long as it ran, less the devices' start-up latency.
    QVERIFY2(qint64(data) >= (elapsed - 400) * 16 && qint64(data) <= (elapsed + 50) * 16,
             qPrintable(QStringLiteral("%1 bytes in %2 ms").arg(data).arg(elapsed)));

    // The tone's frequency from the rising zero crossings, past the start cue
    // (0.49 s), which the input hears too. The median period, with crossings
    // placed between samples, is immune to a dropout on a busy machine.
    std::vector<int> s(data / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<qint16>(field(wav, 44 + 2 * i, 2));
    const std::size_t from = 4400;
    QVERIFY2(s.size() > from + 2000, qPrintable(QString::number(s.size())));
    int peak = 0;
    std::vector<double> crossings, periods;
    for (std::size_t i = from; i + 1 < s.size(); ++i) {
        peak = std::max(peak, std::abs(s[i]));
        if (s[i] < 0 && s[i + 1] >= 0) crossings.push_back(static_cast<double>(i) + s[i] / double(s[i] - s[i + 1]));
    }
    QVERIFY2(peak > 4000, qPrintable(QStringLiteral("peak %1: the recording is silent").arg(peak)));
    for (std::size_t i = 1; i < crossings.size(); ++i) periods.push_back(crossings[i] - crossings[i - 1]);
    QVERIFY(periods.size() > 50);
    std::nth_element(periods.begin(), periods.begin() + static_cast<long>(periods.size() / 2), periods.end());
    const double hz = 8000.0 / periods[periods.size() / 2];
    QVERIFY2(std::abs(hz - kToneHz) < 5, qPrintable(QString::number(hz)));

    // The recording in the program's own player, from start to end.
    app.openWav(dir / "tone.wav");
    QVERIFY(window.unitWidget(Unit::wav播放器)->isVisible());
    QMediaPlayer* player = media.player(app.audio().playback().unit().alias());
    QVERIFY(player);
    QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 5000);
    // A recording of a second or two: the waits for its end below allow for
    // a sound server starved by a busy machine.
    QTest::mouseClick(window.unitWidget(Unit::音乐相关2), Qt::LeftButton);
    QCOMPARE(player->playbackState(), QMediaPlayer::PausedState);
    QTest::mouseClick(window.unitWidget(Unit::音乐相关2), Qt::LeftButton);
    QCOMPARE(player->playbackState(), QMediaPlayer::PlayingState);
    QTRY_COMPARE_WITH_TIMEOUT(player->mediaStatus(), QMediaPlayer::EndOfMedia, 30000);
    QVERIFY(std::abs(player->duration() - qint64(data) * 1000 / 16000) < 100);
    // Played to its end: the strip shows the whole length, and one click plays it again from the start.
    const long total = static_cast<long>(player->duration() / 1000);
    const std::string length = std::to_string(total / 60) + ":" + (total % 60 < 10 ? "0" : "") + std::to_string(total % 60);
    QTRY_VERIFY_WITH_TIMEOUT(window.text(Unit::wav播放器).ends_with(length + " / " + length), 3000);
    QTest::mouseClick(window.unitWidget(Unit::音乐相关2), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(player->playbackState(), QMediaPlayer::PlayingState, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(player->position() > 0 && player->mediaStatus() != QMediaPlayer::EndOfMedia, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(player->mediaStatus(), QMediaPlayer::EndOfMedia, 30000);
    QTest::mouseClick(window.unitWidget(Unit::音乐相关3), Qt::LeftButton);
    QVERIFY(!media.player(app.audio().playback().unit().alias()));
}

void SoundDeviceTest::playsOtherFormatsAndDamagedFiles() {
    test::TempDir dir;
    RealProgram program(dir);
    auto le = [](unsigned v, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    // 0.2 s of sound in the given format, with an extra chunk before the data
    // or a data chunk that claims more than the file holds.
    auto make = [&](unsigned channels, unsigned rate, unsigned bits, bool extraChunk, bool truncated) {
        const unsigned align = channels * bits / 8;
        const std::string data(rate / 5 * align, bits == 8 ? '\x80' : '\0');
        std::string body = "WAVE";
        body += "fmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2);
        if (extraChunk) body += "LIST" + le(5, 4) + "INFOx" + std::string(1, '\0');
        body += "data" + le(static_cast<unsigned>(data.size()) * (truncated ? 3 : 1), 4) + data;
        return "RIFF" + le(static_cast<unsigned>(body.size()), 4) + body;
    };
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"u8-mono-11025.wav", make(1, 11025, 8, false, false)},
        {"s24-stereo-44100.wav", make(2, 44100, 24, false, false)},
        {"s16-stereo-48000-list.wav", make(2, 48000, 16, true, false)},
        {"s16-mono-8000-cut.wav", make(1, 8000, 16, false, true)},
    };
    for (const auto& f : files) {
        test::writeBytes(dir / f.name, f.bytes);
        program.app.openWav(dir / f.name);
        QMediaPlayer* player = program.media.player(program.app.audio().playback().unit().alias());
        QVERIFY(player);
        QTRY_VERIFY_WITH_TIMEOUT(player->mediaStatus() == QMediaPlayer::EndOfMedia ||
                                     player->mediaStatus() == QMediaPlayer::InvalidMedia, 10000);
        QVERIFY2(player->mediaStatus() == QMediaPlayer::EndOfMedia, f.name);
    }
}

void SoundDeviceTest::serverGoneMidRecordingKeepsWhatWasRecorded() {
    test::TempDir dir;
    RealProgram program(dir);
    Tone tone(3.0);
    QTest::qWait(200);
    program.pressRecord();
    QTest::qWait(700);
    DialogAnswer answer(QString::fromStdString(dir / "cut.wav"));
    // The server of this test run (XDG_RUNTIME_DIR is private to it) goes away.
    QCOMPARE(QProcess::execute(QStringLiteral("pulseaudio"), {QStringLiteral("--kill")}), 0);
    // Said in the status bar, with no box to take the writer's keys.
    QTRY_VERIFY_WITH_TIMEOUT(program.window.statusText(2).starts_with(gbk(u8"录音设备已断开")), 5000);
    QVERIFY(answer.messages.isEmpty());
    QVERIFY(program.app.audio().recorder().recording());  // the next press stops and saves
    program.pressRecord();
    QCOMPARE(answer.objectName, QStringLiteral("通用对话框3"));
    const unsigned data = dataLength(test::readBytes(dir / "cut.wav"));
    QVERIFY2(data >= 4000 && data <= 16000, qPrintable(QString::number(data)));
    QCOMPARE(data % 2, 0u);
}

QTEST_MAIN(SoundDeviceTest)
#include "sound_device_test.moc"
