// The voice recorder and the WAV player through the fake window, with fake
// sound devices: the WAV bytes against values worked out by hand, the buffer
// cycle, the button's two paths and the media requests of the player strip.

#include "app_fixture.h"
#include "audio/wav.h"

#include <deque>

namespace talery {
namespace {

using namespace test;

// --- Hand-made WAV bytes ---------------------------------------------------

std::string le16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string le32(unsigned v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string chunk(std::string_view id, std::string_view body) {
    std::string out = std::string(id) + le32(static_cast<unsigned>(body.size())) + std::string(body);
    if (body.size() % 2) out += '\0';
    return out;
}
std::string fmt(unsigned tag, unsigned channels, unsigned rate, unsigned bits) {
    const unsigned align = channels * bits / 8;
    return chunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits));
}
std::string riff(const std::string& chunks) { return "RIFF" + le32(static_cast<unsigned>(chunks.size() + 4)) + "WAVE" + chunks; }

std::string samples(std::size_t n, unsigned seed = 7) {
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return out;
}

TEST(WavFormat, HeaderOfARecordingByteForByte) {
    // 1600 data bytes: RIFF size 1636 = 0x664, 8000 Hz = 0x1F40, 16000 B/s = 0x3E80, data 0x640.
    const std::string expected("RIFF\x64\x06\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1F\x00\x00"
                               "\x80\x3E\x00\x00\x02\x00\x10\x00"
                               "data\x40\x06\x00\x00",
                               44);
    EXPECT_EQ(wavHeader(kRecordingFormat, 1600), expected);
    const std::string empty("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1F\x00\x00"
                            "\x80\x3E\x00\x00\x02\x00\x10\x00"
                            "data\x00\x00\x00\x00",
                            44);
    EXPECT_EQ(wavHeader(kRecordingFormat, 0), empty);
}

TEST(WavFormat, StartCueIsTheClipTheProgramShips) {
    const std::string cue = readBytes(TALERY_SOURCE_DIR "/resources/audio/start_cue.wav");
    ASSERT_EQ(cue.size(), 87244u);
    EXPECT_EQ(cue.substr(0, 4), "RIFF");
    EXPECT_EQ(cue.substr(4, 4), le32(87244));  // the whole length, not length - 8
    EXPECT_EQ(cue.substr(8, 28), "WAVEfmt " + le32(16) + le16(1) + le16(2) + le32(44100) + le32(176400) + le16(4) + le16(16));
    EXPECT_EQ(cue.substr(36, 8), "data" + le32(87200));
    auto layout = parseWav(cue);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->dataOffset, 44u);
    EXPECT_EQ(layout->dataBytes, 87200u);
    EXPECT_FALSE(layout->truncated);
}

TEST(WavFormat, ReaderWalksChunksAndRefusesWhatIsNoWav) {
    TempDir dir;
    struct Case {
        std::string bytes;
        WavProblem problem;
    };
    const Case bad[] = {
        {"", WavProblem::Empty},
        {"hello, this is text", WavProblem::NotWav},
        {"RIFF" + le32(4) + "WAVX", WavProblem::NotWav},
        {"RIFF" + le32(4) + "WAVE", WavProblem::NoFormat},
        {riff(chunk("fmt ", "short")), WavProblem::NoFormat},
        {riff(fmt(1, 0, 8000, 16) + chunk("data", "ab")), WavProblem::NoFormat},
        {riff(fmt(1, 1, 8000, 16)), WavProblem::NoData},
        {riff(fmt(0x55, 2, 44100, 16) + chunk("data", "abcd")), WavProblem::UnsupportedEncoding},
    };
    for (const Case& c : bad) {
        WavProblem p = WavProblem::None;
        EXPECT_FALSE(parseWav(c.bytes, &p));
        EXPECT_EQ(p, c.problem) << c.bytes;
        writeBytes(dir / "x.wav", c.bytes);
        EXPECT_FALSE(inspectWavFile(dir / "x.wav", &p));
        EXPECT_EQ(p, c.problem);
        EXPECT_FALSE(describeWavProblem(p).empty());
    }
    WavProblem p = WavProblem::None;
    EXPECT_FALSE(inspectWavFile(dir / "missing.wav", &p));
    EXPECT_EQ(p, WavProblem::Unreadable);

    // Extra chunks before and between, an odd-length chunk with its pad byte,
    // other formats, a data chunk cut short by the end of the file.
    const std::string extra = riff(chunk("LIST", "INFOabc") + fmt(1, 2, 44100, 24) + chunk("fact", "1234") +
                                   chunk("data", samples(600)));
    auto layout = parseWav(extra);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->format, (PcmFormat{1, 2, 44100, 24}));
    EXPECT_EQ(layout->storedBlockAlign, 6);
    EXPECT_EQ(layout->dataOffset, 12u + 16u + 24u + 12u + 8u);
    EXPECT_EQ(layout->dataBytes, 600u);
    const std::string cut = riff(fmt(1, 1, 22050, 8) + chunk("data", samples(1000))).substr(0, 44 + 300);
    writeBytes(dir / "cut.wav", cut);
    layout = inspectWavFile(dir / "cut.wav");
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->truncated);
    EXPECT_EQ(layout->dataBytes, 300u);
}

// --- Fake devices ----------------------------------------------------------

class FakeCaptureDevice : public CaptureDevice {
public:
    bool present = true;
    bool opened = false;
    bool started = false;
    int opens = 0;
    std::deque<CaptureBuffer*> queued;
    std::vector<const char*> memoryQueued;  // the buffers' memory, in queueing order

    bool supports(const PcmFormat& f) override { return present && f == kRecordingFormat; }
    bool open(const PcmFormat&, BufferDone d, Lost l) override {
        if (!present) return false;
        ++opens;
        opened = true;
        done = std::move(d);
        lost = std::move(l);
        return true;
    }
    bool isOpen() const override { return opened; }
    bool addBuffer(CaptureBuffer* b) override {
        if (!opened) return false;
        queued.push_back(b);
        memoryQueued.push_back(b->bytes.data());
        return true;
    }
    bool start() override { return started = opened; }
    bool reset() override {
        if (!opened) return false;
        started = false;
        std::deque<CaptureBuffer*> back;
        back.swap(queued);
        for (CaptureBuffer* b : back) {
            b->done = true;
            done(b);
        }
        return true;
    }
    void close() override {
        opened = false;
        queued.clear();
    }

    // Sound arriving: fills the queued buffers in order and hands back each full one.
    void deliver(std::string_view bytes) {
        while (!bytes.empty() && !queued.empty()) {
            CaptureBuffer* b = queued.front();
            const std::size_t n = std::min(bytes.size(), b->bytes.size() - b->recorded);
            std::copy_n(bytes.data(), n, b->bytes.data() + b->recorded);
            b->recorded += n;
            bytes.remove_prefix(n);
            if (b->recorded == b->bytes.size()) {
                queued.pop_front();
                b->done = true;
                done(b);
            }
        }
    }
    void disappear() {
        started = false;
        lost();
    }

    BufferDone done;
    Lost lost;
};

// Keeps the open aliases as the media control interface would: requests to an
// alias that is not open fail.
class FakeMediaBackend : public MediaBackend {
public:
    std::vector<std::string> requests;
    std::set<std::string> open;

    bool request(const MediaRequest& r) override {
        requests.push_back(r.text());
        if (r.kind == MediaRequest::Kind::Open) return open.insert(r.alias).second;
        if (!open.count(r.alias)) return false;
        if (r.kind == MediaRequest::Kind::Close) open.erase(r.alias);
        return true;
    }
    std::optional<MediaProgress> at;  // what the backend tells of playback
    std::optional<MediaProgress> progress(const std::string& alias) const override {
        return open.count(alias) ? at : std::nullopt;
    }
};

class FakeCue : public CuePlayer {
public:
    int played = 0;
    void playStartCue() override { ++played; }
};

// --- The capture store -----------------------------------------------------

class CaptureStoreTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeCaptureDevice device;
    CaptureStore store{device};
};

TEST_F(CaptureStoreTest, ShortRecordingGivesOneChunkFromTheReset) {
    ASSERT_TRUE(store.startCapture());
    EXPECT_EQ(device.queued.size(), 2u);
    EXPECT_TRUE(device.started);
    const std::string tenth = samples(1600);  // 0.1 s
    device.deliver(tenth);
    EXPECT_TRUE(store.chunks().empty());
    ASSERT_TRUE(store.stopCapture());
    EXPECT_TRUE(store.stopping());
    EXPECT_TRUE(device.queued.empty());  // nothing queued again after the reset
    ASSERT_EQ(store.chunks().size(), 1u);
    EXPECT_EQ(store.totalFrames(), 800u);
    ASSERT_TRUE(store.saveCapture(dir / "a.wav", true));
    EXPECT_FALSE(device.opened);
    EXPECT_EQ(readBytes(dir / "a.wav"), wavHeader(kRecordingFormat, 1600) + tenth);
}

TEST_F(CaptureStoreTest, BuffersAlternateAndChunksKeepArrivalOrderInWholeFrames) {
    ASSERT_TRUE(store.startCapture());
    const std::string sound = samples(2 * 4096 + 1601, 3);
    device.deliver(sound);
    EXPECT_EQ(store.chunks().size(), 2u);
    EXPECT_EQ(device.queued.size(), 2u);  // each returned buffer was queued again at once
    ASSERT_TRUE(store.stopCapture());
    ASSERT_EQ(store.chunks().size(), 3u);
    EXPECT_EQ(store.chunks()[2].size(), 1600u);  // the trailing half frame is dropped
    EXPECT_EQ(store.wavBytes(), wavHeader(kRecordingFormat, 2 * 4096 + 1600) + sound.substr(0, sound.size() - 1));
    // Two slots: the memory queued alternates between two fresh buffers per round.
    EXPECT_EQ(device.memoryQueued.size(), 4u);
}

TEST_F(CaptureStoreTest, NoDeviceSavesAnEmptyWavAndSavingRespectsOverwrite) {
    device.present = false;
    EXPECT_FALSE(store.startCapture());
    EXPECT_FALSE(store.stopCapture());
    ASSERT_TRUE(store.saveCapture(dir / "none.wav", true));
    EXPECT_EQ(readBytes(dir / "none.wav"), wavHeader(kRecordingFormat, 0));
    EXPECT_EQ(readBytes(dir / "none.wav").size(), 44u);

    writeBytes(dir / "old.wav", std::string(5000, 'x'));
    EXPECT_FALSE(store.saveCapture(dir / "old.wav", false));
    EXPECT_EQ(readBytes(dir / "old.wav"), std::string(5000, 'x'));
    ASSERT_TRUE(store.saveCapture(dir / "old.wav", true));
    EXPECT_EQ(readBytes(dir / "old.wav").size(), 44u);  // replaced whole

    writeBytes(dir / "ro.wav", "keep");
    ASSERT_TRUE(setReadOnly(dir / "ro.wav", true));
    FileError error;
    EXPECT_FALSE(store.saveCapture(dir / "ro.wav", true, &error));
    EXPECT_FALSE(error.reasonUtf8.empty());
    EXPECT_EQ(readBytes(dir / "ro.wav"), "keep");
}

TEST_F(CaptureStoreTest, NewRecordingDiscardsThePreviousOneEvenWhenTheDeviceFails) {
    ASSERT_TRUE(store.startCapture());
    device.deliver(samples(5000));
    store.stopCapture();
    EXPECT_FALSE(store.chunks().empty());
    device.present = false;
    EXPECT_FALSE(store.startCapture());
    EXPECT_TRUE(store.chunks().empty());
    EXPECT_EQ(store.wavBytes().size(), 44u);
}

TEST_F(CaptureStoreTest, AnHourKeepsOnlyTheRecordedBytesWithoutCopies) {
    ASSERT_TRUE(store.startCapture());
    const std::string block = samples(4096);
    const std::size_t blocks = 3600 * 16000 / 4096 + 1;
    for (std::size_t i = 0; i < blocks; ++i) device.deliver(block);
    store.stopCapture();
    ASSERT_EQ(store.chunks().size(), blocks);
    std::size_t held = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
        // Each chunk is the very memory the device filled.
        ASSERT_EQ(store.chunks()[i].data(), device.memoryQueued[i]);
        held += store.chunks()[i].capacity();
    }
    EXPECT_EQ(held, blocks * 4096);
    EXPECT_EQ(store.totalFrames(), blocks * 2048);
}

// --- The record button and the player strip --------------------------------

class AudioTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        app->audio().attach(device, media, cue);
    }
    // The application records through the devices: it goes first.
    void TearDown() override { app.reset(); }

    Text recordMark() { return IniFile(dir.file("setting.ini")).read(g(u8"软件设置"), g(u8"录音")); }
    Recorder& recorder() { return app->audio().recorder(); }
    WavPlayback& playback() { return app->audio().playback(); }
    std::string alias() { return playback().unit().alias(); }
    std::string wavFile(const std::string& name) {
        const std::string path = dir / name;
        writeBytes(path, riff(fmt(1, 1, 8000, 16) + chunk("data", samples(3200))));
        return path;
    }

    FakeCaptureDevice device;
    FakeMediaBackend media;
    FakeCue cue;
};

TEST_F(AudioTest, RecordingAndSavingThroughTheButton) {
    EXPECT_EQ(w.picture(Unit::录音按钮), Picture::None);
    w.mouseDown(Unit::录音按钮);
    EXPECT_TRUE(recorder().recording());
    EXPECT_EQ(w.picture(Unit::录音按钮), Picture::RecordActive);
    EXPECT_EQ(cue.played, 1);
    EXPECT_EQ(recordMark(), "201611");
    const std::string sound = samples(4096 + 2000);
    device.deliver(sound);

    w.dialogResults = {dir / "rec.wav"};
    w.mouseDown(Unit::录音按钮);
    EXPECT_FALSE(recorder().recording());
    EXPECT_EQ(w.picture(Unit::录音按钮), Picture::RecordIdle);
    ASSERT_EQ(w.saveDialogs.size(), 1u);
    EXPECT_EQ(w.saveDialogs[0].dialog, Unit::通用对话框3);
    EXPECT_EQ(w.saveDialogs[0].initialFolder, dir.path());
    EXPECT_EQ(w.saveDialogs[0].initialName, u8(u8"2016年1月1日by：Talery录音"));
    EXPECT_EQ(readBytes(dir / "rec.wav"), wavHeader(kRecordingFormat, 6096) + sound);
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.statusText(2), g(u8"录音已保存：") + gbk(std::string_view(dir / "rec.wav")));
    EXPECT_EQ(Recorder::offeredName({2015, 10, 7}), u8(u8"2015年10月7日by：Talery录音"));
}

TEST_F(AudioTest, CancelledSaveWritesNothingAndTheNextRecordingStartsAfresh) {
    w.mouseDown(Unit::录音按钮);
    device.deliver(samples(3000));
    w.dialogResults = {std::nullopt};
    w.mouseDown(Unit::录音按钮);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"setting.ini"});
    EXPECT_FALSE(recorder().store().chunks().empty());
    w.mouseDown(Unit::录音按钮);
    EXPECT_TRUE(recorder().store().chunks().empty());
    EXPECT_EQ(device.opens, 2);
}

TEST_F(AudioTest, WithoutInputDeviceTheUserIsToldAndTheButtonReturnsToIdle) {
    device.present = false;
    w.mouseDown(Unit::录音按钮);
    EXPECT_FALSE(recorder().recording());
    EXPECT_EQ(w.picture(Unit::录音按钮), Picture::RecordIdle);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, Icon::Warning);
    EXPECT_EQ(w.messages[0].caption, "Talery");
    EXPECT_TRUE(w.saveDialogs.empty());
    EXPECT_EQ(recordMark(), "201611");
    // The next press tries again rather than offering to save nothing.
    device.present = true;
    w.mouseDown(Unit::录音按钮);
    EXPECT_TRUE(recorder().recording());
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST_F(AudioTest, DeviceLostMidRecordingKeepsWhatWasRecorded) {
    w.mouseDown(Unit::录音按钮);
    const std::string sound = samples(5000);
    device.deliver(sound);
    device.disappear();
    EXPECT_TRUE(w.messages.empty());  // no box to take the keys of a writer typing meanwhile
    EXPECT_EQ(gbkToUtf8Lossy(w.statusText(2)), u8(u8"录音设备已断开，录音已经停止。再点击一次录音按钮可以保存已经录下的声音。"));
    w.dialogResults = {dir / "lost.wav"};
    w.mouseDown(Unit::录音按钮);
    EXPECT_EQ(readBytes(dir / "lost.wav"), wavHeader(kRecordingFormat, 5000) + sound);
}

TEST_F(AudioTest, SaveThatFailsSaysWhyAndAsksAgain) {
    writeBytes(dir / "ro.wav", "keep");
    ASSERT_TRUE(setReadOnly(dir / "ro.wav", true));
    w.mouseDown(Unit::录音按钮);
    const std::string sound = samples(1000);
    device.deliver(sound);
    w.dialogResults = {dir / "ro.wav", dir / "ok.wav"};
    w.mouseDown(Unit::录音按钮);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.messageTexts()[0].find(dir / "ro.wav"), std::string::npos);
    ASSERT_EQ(w.saveDialogs.size(), 2u);
    EXPECT_EQ(w.saveDialogs[1].initialName, "ro.wav");
    EXPECT_EQ(readBytes(dir / "ro.wav"), "keep");
    EXPECT_EQ(readBytes(dir / "ok.wav"), wavHeader(kRecordingFormat, 1000) + sound);
}

TEST_F(AudioTest, OpenPlayPauseTwiceAndStopSendTheRequestsInOrder) {
    const std::string path = wavFile("voice.take2.wav");
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    EXPECT_TRUE(w.visible(Unit::wav播放器));
    EXPECT_EQ(w.text(Unit::wav地址), "voice");
    EXPECT_EQ(playback().state(), WavPlayback::Playing);
    w.click(Unit::音乐相关2);
    EXPECT_EQ(playback().state(), WavPlayback::Paused);
    w.click(Unit::音乐相关2);
    EXPECT_EQ(playback().state(), WavPlayback::Playing);
    const std::string a = alias();
    EXPECT_EQ(media.requests, (std::vector<std::string>{"close " + a, "open " + path + " type waveaudio alias " + a,
                                                        "play " + a, "pause " + a, "play " + a}));
    media.requests.clear();
    w.click(Unit::音乐相关3);
    EXPECT_EQ(media.requests, (std::vector<std::string>{"stop " + a, "seek " + a + " to start", "close " + a}));
    EXPECT_FALSE(w.visible(Unit::wav播放器));
    EXPECT_EQ(w.text(Unit::wav地址), g(u8"wav文件未打开"));
    // Nothing open: the failed stop is not followed by a rewind.
    media.requests.clear();
    w.click(Unit::音乐相关3);
    EXPECT_EQ(media.requests, (std::vector<std::string>{"stop " + a, "close " + a}));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(AudioTest, PlayedToTheEndOneClickPlaysAgainAndTheStripShowsWhereItIs) {
    app->openWav(wavFile("one.wav"));
    media.at = MediaProgress{3400, 80000, false};
    w.tick(Unit::时钟2);
    EXPECT_EQ(w.text(Unit::wav播放器), g(u8"wav播放控制面板  0:03 / 1:20"));
    media.at = MediaProgress{80000, 80000, true};
    media.requests.clear();
    w.click(Unit::音乐相关2);
    const std::string a = alias();
    EXPECT_EQ(media.requests, (std::vector<std::string>{"play " + a + " from 0"}));
    EXPECT_EQ(playback().state(), WavPlayback::Playing);
    // Stopped, the strip's caption is bare again.
    w.click(Unit::音乐相关3);
    EXPECT_EQ(w.text(Unit::wav播放器), g(u8"wav播放控制面板"));
}

TEST_F(AudioTest, SecondFileWhilePausedPlaysFromTheStart) {
    app->openWav(wavFile("one.wav"));
    w.click(Unit::音乐相关2);
    media.requests.clear();
    const std::string second = wavFile("two.wav");
    w.dialogResults = {second};
    w.click(Unit::音乐相关1);  // the strip's open button runs the open command
    ASSERT_EQ(w.openDialogs.back().dialog, Unit::通用对话框1);
    const std::string a = alias();
    EXPECT_EQ(media.requests, (std::vector<std::string>{"close " + a, "open " + second + " type waveaudio alias " + a,
                                                        "play " + a}));
    EXPECT_EQ(playback().state(), WavPlayback::Playing);
    EXPECT_EQ(w.text(Unit::wav地址), "two");
}

TEST_F(AudioTest, FilesThatAreNoWavAreRefusedWithAMessage) {
    writeBytes(dir / "empty.wav", "");
    writeBytes(dir / "text.wav", "not a sound");
    for (const char* name : {"empty.wav", "text.wav", "missing.wav"}) {
        w.messages.clear();
        EXPECT_FALSE(playback().openWav(dir / name));
        ASSERT_EQ(w.messages.size(), 1u) << name;
        EXPECT_NE(w.messageTexts()[0].find(dir / name), std::string::npos);
    }
    EXPECT_TRUE(media.requests.empty());
    EXPECT_FALSE(w.visible(Unit::wav播放器));
    EXPECT_EQ(playback().state(), WavPlayback::NothingOpened);
}

TEST_F(AudioTest, WithoutASoundDeviceTheStatusBarSaysSo) {
    NoMediaBackend none;
    app->audio().attach(device, none, cue);
    EXPECT_FALSE(playback().openWav(wavFile("a.wav")));
    EXPECT_EQ(gbkToUtf8Lossy(w.statusText(2)), u8(u8"无法播放：没有可以播放声音的设备（a）"));
    EXPECT_TRUE(w.messages.empty());
    EXPECT_FALSE(w.visible(Unit::wav播放器));
    EXPECT_EQ(playback().state(), WavPlayback::NothingOpened);
}

TEST(MediaPlayerUnitTest, AliasAndRequestsOfTheUnit) {
    FakeMediaBackend media;
    MediaPlayerUnit unit(media), other(media);
    EXPECT_EQ(unit.alias().size(), 32u);
    EXPECT_EQ(unit.alias().find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(unit.alias(), other.alias());
    const std::string a = unit.alias();
    EXPECT_TRUE(unit.openMedia("/x/Song.WAVE"));
    EXPECT_EQ(unit.extension(), "wav");
    EXPECT_TRUE(unit.togglePause());
    EXPECT_TRUE(unit.togglePause());
    EXPECT_TRUE(unit.playMedia(500));
    EXPECT_TRUE(unit.togglePause());  // every play clears the toggle
    EXPECT_EQ(media.requests, (std::vector<std::string>{"close " + a, "open /x/Song.WAVE type waveaudio alias " + a,
                                                        "pause " + a, "resume " + a, "play " + a + " from 500",
                                                        "pause " + a}));
}

}  // namespace
}  // namespace talery
