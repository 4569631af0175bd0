// Text statistics: the pattern counter against the design engine's results,
// the one-pass figures against the four pattern passes, the live figures
// against full recounts, the report texts, the day marks and the backup copy.

#include "session/backup.h"
#include "aids/pattern_counter.h"
#include "core/text_figures.h"
#include "app_fixture.h"
#include "core/cipher.h"
#include "tasks/points.h"

#include <atomic>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talery::test {
namespace {

Text collect(std::u8string_view pattern, const Text& subject, PatternFlags flags = {}) {
    PatternCounter counter;
    counter.create(gbk(pattern), subject, flags);
    return counter.collectedText();
}

TEST(PatternCounterTest, BehavesAsTheDesignEngine) {
    PatternCounter c;
    EXPECT_TRUE(c.create("[0-9]", "abc"));
    EXPECT_EQ(c.count(), 0u);

    EXPECT_TRUE(c.create("[a-zA-Z]", "aB1", {.caseSensitive = true}));
    ASSERT_EQ(c.count(), 2u);
    EXPECT_EQ(c.matchText(1), "a");
    EXPECT_EQ(c.matchText(2), "B");
    EXPECT_EQ(c.matchText(0), "");
    EXPECT_EQ(c.matchText(3), "");
    // Case ignored: upper-case letters are letters too, also inside a negated class.
    EXPECT_TRUE(c.create(gbk(u8"[^0-9a-z\\u4e00-\\u9fa5]"), "aB1"));
    EXPECT_EQ(c.count(), 0u);
    EXPECT_EQ(collect(u8"[^\\x20-\\x7f]", g(u8"中 文")), g(u8"中文"));
    EXPECT_EQ(collect(u8"[^\\x20-\\x7f]", "a\x7f\t"), "\t");  // U+007F lies inside the range

    // Case folding is ASCII only: Kelvin sign, long s and dotted capital I are no letters.
    const std::u16string odd = u"k\u212A\u017F\u0130";
    EXPECT_TRUE(c.create(gbk(u8"[^0-9a-z\\u4e00-\\u9fa5]"), odd));
    EXPECT_EQ(c.count(), 3u);
    EXPECT_TRUE(c.create("K", odd));
    EXPECT_EQ(c.count(), 1u);

    // Above U+FFFF: two units, each matched on its own, each "?" in GBK.
    EXPECT_TRUE(c.create(gbk(u8"[^\\x20-\\x7f]"), std::u16string(u"a\U0001F600b")));
    ASSERT_EQ(c.count(), 2u);
    EXPECT_EQ(c.matchText(1), "?");
    EXPECT_TRUE(c.create(gbk(u8"\\ud83d"), std::u16string(u"\U0001F600")));
    EXPECT_EQ(c.count(), 1u);

    EXPECT_FALSE(c.create("[a-", "abc"));
    EXPECT_EQ(c.count(), 0u);
    EXPECT_FALSE(c.create("(a", "abc"));
    EXPECT_EQ(c.count(), 0u);

    EXPECT_TRUE(c.create(gbk(u8"#引号."), "say \"hi\"", {.quoteEscape = true}));
    ASSERT_EQ(c.count(), 1u);  // the closing quote has nothing after it
    EXPECT_EQ(c.matchText(1), "\"h");
    EXPECT_TRUE(c.create("[a-z]", "abc", {.allMatches = false}));
    EXPECT_EQ(c.count(), 1u);
    EXPECT_TRUE(c.create("^b", "a\nb", {.multiLine = true}));
    EXPECT_EQ(c.count(), 1u);
    EXPECT_TRUE(c.create("^b", "a\nb", {.multiLine = false}));
    EXPECT_EQ(c.count(), 0u);
    EXPECT_TRUE(c.create("\\d\\w[\\s]", "1a 2b\t"));
    EXPECT_EQ(c.count(), 2u);
}

// The Part's procedure: strip, then one pattern pass per figure.
struct Reference {
    TextFigures figures;
    std::uint64_t live = 0, daily = 0;
};

Reference referenceFigures(const Text& body) {
    Text noBreaks, stripped, noSpaces;
    for (std::size_t i = 0; i < body.size();) {
        if (body.compare(i, 2, "\r\n") == 0) {
            i += 2;
            continue;
        }
        const std::size_t n = gbkCharLength(body, i);
        noBreaks += body.substr(i, n);
        i += n;
    }
    for (char c : noBreaks)
        if (c != ' ') stripped += c;
    for (char c : body)
        if (c != ' ') noSpaces += c;
    Reference r;
    r.figures.chinese = static_cast<double>(collect(u8"[^\\x20-\\x7f]", stripped).size()) / 2.0;
    r.figures.letters = collect(u8"[a-zA-Z]", body, {.caseSensitive = true}).size();
    r.figures.symbols = collect(u8"[^0-9a-z\\u4e00-\\u9fa5]", body).size() / 4;
    r.figures.digits = collect(u8"[0-9]", body).size();
    const auto lineFeeds = static_cast<std::uint64_t>(std::count(body.begin(), body.end(), '\n'));
    r.figures.paragraphs = body.empty() ? 0 : lineFeeds + (body.back() == '\n' ? 0 : 1);
    r.live = stripped.size() / 2;
    r.daily = noSpaces.size() / 2;
    return r;
}

// Bodies of the characters a writer's text holds, and of the odd ones.
class BodyMaker {
public:
    explicit BodyMaker(unsigned seed) : rng_(seed) {}
    Text make(std::size_t pieces) {
        static const std::vector<Text> fixed = {
            " ", "\t", "\r", "\n", "\r\n", "\r\n", "?", "\x80", "a", "Z", "7", ",", "\x7f", "~",
            g(u8"，"), g(u8"。"), g(u8"！"), g(u8"　"), g(u8"Ａ"), g(u8"１"), g(u8"€"), g(u8"丂"), g(u8"兀"), g(u8"﨩"),
            "\xAA\xA1", "\xFE\xFE", "\xA1\x40"};  // user-defined area and its edges
        Text out;
        for (std::size_t i = 0; i < pieces; ++i) {
            const unsigned kind = pick(4);
            if (kind == 0) {
                const char16_t c = static_cast<char16_t>(0x4E00 + pick(0x9FA6 - 0x4E00));
                out += *encodeGbk(std::u16string_view(&c, 1));
            } else if (kind == 1) {
                out += static_cast<char>(0x20 + pick(0x5F));
            } else {
                out += fixed[pick(static_cast<unsigned>(fixed.size()))];
            }
        }
        return out;
    }
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

private:
    std::mt19937 rng_;
};

TEST(TextFiguresTest, OnePassEqualsThePatternPasses) {
    BodyMaker maker(8);
    for (int round = 0; round < 3000; ++round) {
        const Text body = maker.make(maker.pick(40));
        ASSERT_TRUE(isValidGbk(body));
        const Reference want = referenceFigures(body);
        const FigureCounts counts = countFigures(body);
        ASSERT_EQ(textFigures(body), want.figures) << gbkToUtf8Lossy(body);
        ASSERT_EQ(liveCount(counts), want.live) << gbkToUtf8Lossy(body);
        ASSERT_EQ(dailyCount(counts), want.daily) << gbkToUtf8Lossy(body);
        // The counts of pieces cut after a line feed add up to those of the whole.
        const auto cut = body.find('\n');
        if (cut != Text::npos) {
            FigureCounts sum = countFigures(std::string_view(body).substr(0, cut + 1));
            sum += countFigures(std::string_view(body).substr(cut + 1));
            ASSERT_EQ(sum, counts);
        }
        // Counted a line, or a few characters, at a time, as the live counts are: the same.
        const std::size_t limit = 1 + maker.pick(6);
        FigureCounts lines;
        for (std::size_t at = 0; at < body.size();) {
            const CountedLine line = countLine(body, at, limit);
            const std::string_view part = std::string_view(body).substr(at, line.end - at);
            ASSERT_EQ(line.counts, countFigures(part)) << gbkToUtf8Lossy(body);
            ASSERT_EQ(line.characters, countBodyCharacters(part));
            ASSERT_TRUE(part.back() == '\n' || line.characters == limit || line.end == body.size());
            ASSERT_EQ(countOf(part, '\n'), part.back() == '\n' ? 1u : 0u);
            lines += line.counts;
            at = line.end;
        }
        ASSERT_EQ(lines, counts);
    }
    // Every double-byte code that decodes comes back as two bytes, outside ASCII.
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const Text pair{static_cast<char>(lead), static_cast<char>(trail)};
            if (auto wide = decodeGbk(pair)) {
                ASSERT_EQ(wide->size(), 1u);
                ASSERT_GE((*wide)[0], 0x80);
                ASSERT_EQ(encodeGbkLossy(*wide), pair);
            }
        }
}

TEST(TextFiguresTest, ReportTexts) {
    const Text body = g(u8"ab，1\r\n中");
    const FigureCounts c = countFigures(body);
    EXPECT_EQ(liveCountText(liveCount(c)), g(u8"当前字数：  3"));
    EXPECT_EQ(dailyCount(c), 4u);
    EXPECT_EQ(reportText(textFigures(body)),
              g(u8"汉字数量：2\r\n英文数量：2\r\n符号数量：1\r\n数字数量：1\r\n段落数：2\r\n"
                u8"您拥有了这个积分特权，达到0积分拥有完整的字数统计。"));
    EXPECT_EQ(textFigures(Text()), TextFigures{});
    EXPECT_EQ(textFigures("a\r\nb").paragraphs, 2u);
    EXPECT_EQ(textFigures("a\r\nb\r\n").paragraphs, 2u);
    EXPECT_EQ(realNumber(textFigures("ab\t").chinese), "0.5");
    EXPECT_EQ(realNumber(3.5), "3.5");
    EXPECT_EQ(realNumber(4), "4");
    EXPECT_EQ(statisticsText(textFigures(body), -1), g(u8"您需要积分达到0点才能有资格使用详细的文字统计"));
}

class StatisticsTest : public AppTest {
protected:
    void restartWithPoints(std::int32_t points) {
        app.reset();
        ASSERT_TRUE(storePoints(IniFile(dir / "setting.ini"), points));
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
        app->start();
    }
    Text mark(std::u8string_view key) { return IniFile(dir / "setting.ini").read(g(u8"软件设置"), g(key)); }
    void expectRecounted() {
        const Text body = w.text(Unit::编辑框1);
        const FigureCounts c = countFigures(body);
        ASSERT_EQ(w.statusText(0), liveCountText(liveCount(c))) << gbkToUtf8Lossy(body);
        ASSERT_EQ(w.text(Unit::高级字数统计), reportText(textFigures(body))) << gbkToUtf8Lossy(body);
    }
};

TEST_F(StatisticsTest, LiveCountReportAndGate) {
    EXPECT_EQ(w.text(Unit::高级字数统计), g(u8"开始书写之后会显示详细的字数统计"));
    w.setText(Unit::编辑框1, Text());
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  0"));
    EXPECT_EQ(w.text(Unit::高级字数统计), reportText(TextFigures{}));
    w.setText(Unit::编辑框1, g(u8"ab，1\r\n中"));
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  3"));
    EXPECT_EQ(w.text(Unit::高级字数统计), reportText({2, 2, 1, 1, 2}));

    restartWithPoints(-1);
    startWithTitle(u8"第一章");
    EXPECT_EQ(w.text(Unit::高级字数统计), refusalText());
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  3"));
    restartWithPoints(0);
    w.typeText(Unit::编辑框1, u8"a");
    expectRecounted();
}

TEST_F(StatisticsTest, FiguresFollowEveryEdit) {
    startWithTitle(u8"第一章");
    BodyMaker maker(12);
    for (int step = 0; step < 600; ++step) {
        const std::size_t size = w.text(Unit::编辑框1).size();
        // A selection on character boundaries, as the window would give it.
        const Text body = w.text(Unit::编辑框1);
        std::vector<std::size_t> starts;
        for (std::size_t i = 0; i < body.size(); i += bodyCharLength(body, i)) starts.push_back(i);
        starts.push_back(size);
        const std::size_t at = maker.pick(static_cast<unsigned>(starts.size()));
        const std::size_t to = std::min(starts.size() - 1, at + (maker.pick(3) == 0 ? maker.pick(20) : 0));
        w.setBodySelection({starts[at], starts[to] - starts[at]});
        w.typeText(Unit::编辑框1, gbkToUtf8Lossy(maker.make(maker.pick(3) == 0 ? 30 : 2)));
        expectRecounted();
    }
    EXPECT_GT(app->statistics().mirror().pieces(), 5u) << w.text(Unit::编辑框1).size();
    EXPECT_EQ(app->statistics().mirror().characters(), countBodyCharacters(w.text(Unit::编辑框1)));
}

// The program's own text is counted while the window takes it in: the change
// it makes reads only what lies around it, also when the window reports a
// narrower span, and the figures are those of the new body counted afresh.
// Text the body would not give back as it is, and any other change, are read.
TEST(BodyMirrorTest, TheProgramsOwnTextIsCountedWithoutReadingItBack) {
    Text before = g(u8"第一章\r\n");
    for (int i = 0; i < 300; ++i) before += g(u8"  他说,好.\tab 12€\r\n\r\n");
    std::size_t read = 0;
    auto reader = [&read](const Text& body) {
        return [&read, &body](std::size_t position, std::size_t count) {
            std::size_t from = 0, n = 0;
            for (; n < position && from < body.size(); ++n) from += bodyCharLength(body, from);
            std::size_t to = from;
            for (n = 0; n < count && to < body.size(); ++n) to += bodyCharLength(body, to);
            read += n;
            return body.substr(from, to - from);
        };
    };
    struct Case {
        const char8_t* replacement;
        std::size_t trimmed;  // characters the window leaves out of the span at its start
        bool counted;
    };
    for (const Case& c : {Case{u8"　　他说，好。\r\n　　ab 12€\r\n", 0, true},
                          Case{u8"　　他说，好。\r\n", 1, true}, Case{u8"　　他说\n好。", 0, false}}) {
        const std::size_t start = before.find(g(u8"  他说")) + 3 * 30, length = 30 * 40;
        Text replacement;
        for (int i = 0; i < 40; ++i) replacement += g(c.replacement);
        Text after = before;
        after.replace(start, length, replacement);
        BodyMirror mirror;
        mirror.apply({0, 0, countBodyCharacters(before)}, reader(before));
        const std::size_t position = countBodyCharacters(std::string_view(before).substr(0, start));
        const std::size_t removed = countBodyCharacters(std::string_view(before).substr(start, length));
        const std::size_t added = countBodyCharacters(replacement);
        mirror.expect({position, removed, std::make_shared<const Text>(replacement)});
        read = 0;
        EXPECT_TRUE(mirror.apply({position + c.trimmed, removed - c.trimmed, added - c.trimmed}, reader(after)));
        mirror.forget();
        EXPECT_EQ(read < added / 4, c.counted) << read;
        // Typing on afterwards, inside the span and at its end.
        Text typed = after;
        typed.insert(start + 4, g(u8"字"));
        mirror.apply({position + 2, 0, 1}, reader(typed));
        BodyMirror fresh;
        fresh.apply({0, 0, countBodyCharacters(typed)}, reader(typed));
        EXPECT_EQ(mirror.totals(), fresh.totals());
        EXPECT_EQ(mirror.characters(), fresh.characters());
        EXPECT_EQ(mirror.endsWithLineFeed(), fresh.endsWithLineFeed());
    }
    // Expected, but another change comes: it is read.
    BodyMirror mirror;
    mirror.apply({0, 0, countBodyCharacters(before)}, reader(before));
    mirror.expect({0, 0, std::make_shared<const Text>(g(u8"甲乙"))});
    const Text typed = before + g(u8"丙");
    read = 0;
    mirror.apply({countBodyCharacters(before), 0, 1}, reader(typed));
    EXPECT_GT(read, 0u);
    BodyMirror fresh;
    fresh.apply({0, 0, countBodyCharacters(typed)}, reader(typed));
    EXPECT_EQ(mirror.totals(), fresh.totals());

    // A loaded document in place of whatever the body held, known or not:
    // counted in two halves, but read back when it is not what the body
    // reads or when the body holds more than it.
    const Text loaded = before + g(u8"一段没有换行的长文字") + std::string(5000, 'x');
    struct Whole {
        bool known;
        Text text, body;
        bool counted;
    };
    for (const Whole& c : {Whole{false, loaded, loaded, true}, Whole{true, loaded, loaded, true},
                           Whole{true, loaded + "\n" + loaded, loaded + "\n" + loaded, false},
                           Whole{false, loaded, loaded + g(u8"尾"), false}}) {
        BodyMirror m;
        if (c.known) m.apply({0, 0, countBodyCharacters(typed)}, reader(typed));
        m.expectWhole(c.text);
        read = 0;
        m.apply({0, c.known ? countBodyCharacters(typed) : 0, countBodyCharacters(c.text)}, reader(c.body));
        EXPECT_EQ(read < 10, c.counted) << read;
        BodyMirror whole;
        whole.apply({0, 0, countBodyCharacters(c.body)}, reader(c.body));
        EXPECT_EQ(m.totals(), whole.totals());
        EXPECT_EQ(m.characters(), whole.characters());
        EXPECT_EQ(m.pieces(), whole.pieces());
    }
}

TEST_F(StatisticsTest, LongBodyIsReadInSlices) {
    // Over two million characters: the first change reads the body in slices.
    Text body;
    while (body.size() < 5'000'000) body += g(u8"天地玄黄，宇宙洪荒。ab 1\t") + "\r\n" + g(u8"€");
    w.setText(Unit::编辑框1, body);
    expectRecounted();
    EXPECT_EQ(app->statistics().mirror().characters(), countBodyCharacters(body));
    EXPECT_EQ(app->statistics().mirror().wholeReads(), 1u);
}

TEST_F(StatisticsTest, AnOpenedDocumentIsCountedWithoutReadingItBack) {
    Text body;
    while (body.size() < 300'000) body += g(u8"天地玄黄，宇宙洪荒。ab 1\t") + "\r\n" + g(u8"€");
    ASSERT_TRUE(writeFileAtomic(dir / "a.txt", body));
    app->openNamedFile(dir / "a.txt");
    ASSERT_EQ(w.text(Unit::编辑框1), body);
    expectRecounted();
    EXPECT_EQ(app->statistics().mirror().wholeReads(), 0u);
}

TEST_F(StatisticsTest, TheDaysCountIsWhatWasWrittenTodayKeptAcrossRestartsAndAPasteCountsLittle) {
    const Text today = g(u8"201611");
    startWithTitle(u8"x");  // the title the program puts in is not written
    std::u8string fifty;
    for (int i = 0; i < 50; ++i) fifty += u8"字";
    // Line breaks and spaces do not count, as in the live count: 20 lines of 50 are 1000.
    for (int i = 0; i < 20; ++i) w.typeText(Unit::编辑框1, fifty + u8"  \r\n");
    EXPECT_EQ(app->statistics().dayCount(), 1000u);
    EXPECT_EQ(mark(u8"1000字"), "");
    w.typeText(Unit::编辑框1, u8"字");
    EXPECT_EQ(mark(u8"1000字"), today);  // 1001
    // A paste of 6000 characters counts no more than one commit of the input method.
    w.typeText(Unit::编辑框1, fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty);
    std::u8string many;
    for (int i = 0; i < 12; ++i) many += fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty + fifty;
    w.typeText(Unit::编辑框1, many);
    EXPECT_EQ(app->statistics().dayCount(), 1201u);
    EXPECT_EQ(mark(u8"8000字"), "");

    // Kept across a restart (stored at the latest when the window closes, here every ten seconds).
    for (int i = 0; i < 10; ++i) w.tick(Unit::时钟2);
    EXPECT_EQ(mark(u8"今日字数"), "1201");
    app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
    app->start();
    EXPECT_EQ(app->statistics().dayCount(), 1201u);
    // The next day starts from nothing.
    clock.set({2016, 1, 2, 0, 0, 1});
    EXPECT_EQ(app->statistics().dayCount(), 0u);
}

TEST_F(StatisticsTest, NoMarksForOpenedFiles) {
    writeBytes(dir / "a.txt", Text(3000, 'a'));
    w.dialogResults.push_back(dir / "a.txt");
    w.trigger(Unit::打开文件);
    EXPECT_EQ(w.text(Unit::编辑框1), Text(3000, 'a'));
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  1500"));
    EXPECT_EQ(mark(u8"1000字"), "");
}

TEST_F(StatisticsTest, SettingsThatCannotBeWritten) {
    ASSERT_TRUE(IniFile(dir / "setting.ini").write("a", "b", "c"));
    ASSERT_TRUE(setReadOnly(dir / "setting.ini", true));
    startWithTitle(u8"x");
    w.setText(Unit::编辑框1, Text(2400, 'a'));
    w.typeText(Unit::编辑框1, u8"中");
    EXPECT_EQ(mark(u8"1000字"), "");
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  1201"));
    EXPECT_TRUE(w.messages.empty());
}

TEST(BackupPathTest, TitlesStayInTheFolder) {
    const std::string folder = "/p/backup/";
    for (const Text& title : {Text("../x"), Text("a/b"), Text(), Text(300, 'x'), Text("..\\..\\y"), Text("\x81/\x01:"),
                              g(u8"第一章：开始")}) {
        const Path p = backupPath("/p", title, false);
        ASSERT_EQ(p.compare(0, folder.size(), folder), 0) << p;
        const std::string name = p.substr(folder.size());
        EXPECT_EQ(name.find('/'), std::string::npos) << p;
        EXPECT_LE(name.size(), 200u);
        EXPECT_TRUE(isValidUtf8(name)) << p;
        EXPECT_NE(name, "..");
    }
    EXPECT_EQ(backupPath("/p", g(u8"第一章"), false), "/p/backup/第一章.txt");
    EXPECT_EQ(backupPath("/p", Text(), true), "/p/backup/.tlr");
    EXPECT_EQ(backupPath("/p", "a/b", false), "/p/backup/a_b.txt");
    // Long titles that share their start still get their own files.
    EXPECT_NE(backupPath("/p", Text(300, 'x') + "1", false), backupPath("/p", Text(300, 'x') + "2", false));
}

TEST_F(StatisticsTest, BackupHoldsTheLatestBody) {
    startWithTitle(u8"../第一章");
    w.typeText(Unit::编辑框1, u8"正文");
    app->statistics().backup().flush();
    // The session's own copy: its title and when it began.
    const std::string copy = backupCopy(dir, u8".._第一章 ");
    EXPECT_EQ(copy, dir / u8name(u8"backup/.._第一章 2016-01-01 000000.txt"));
    EXPECT_EQ(readBytes(copy), g(u8"../第一章\r\n正文"));
    // Switched off: no more copies.
    w.click(Unit::自动保存);
    w.typeText(Unit::编辑框1, u8"再");
    app->statistics().backup().flush();
    EXPECT_EQ(readBytes(copy), g(u8"../第一章\r\n正文"));
    // Giving up: the farewell text is no writing of the user's.
    w.click(Unit::自动保存);
    w.typeText(Unit::编辑框1, u8"文");
    w.answers = {Answer::OK, Answer::OK};
    w.click(Unit::放弃编辑);
    app->statistics().backup().flush();
    EXPECT_EQ(readBytes(copy), g(u8"../第一章\r\n正文再文"));
}

TEST_F(StatisticsTest, EncryptedSessionsNeverWritePlainText) {
    const Text secret = g(u8"机密的正文");
    writeBytes(dir / "s.tlr", encryptText(secret, documentKeyText("pw")));
    w.dialogResults.push_back(dir / "s.tlr");
    w.passwordResults.push_back(Text("pw"));
    w.trigger(Unit::打开文件);
    ASSERT_EQ(w.text(Unit::编辑框1), secret);
    w.typeText(Unit::编辑框1, u8"又一句");
    app->statistics().backup().flush();
    EXPECT_EQ(decryptText(readBytes(backupCopy(dir, u8"s ")), documentKeyText("pw")), w.text(Unit::编辑框1));
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        if (e.is_regular_file()) {
            EXPECT_EQ(readBytes(e.path()).find(g(u8"机密")), std::string::npos) << e.path();
        }
}

TEST_F(StatisticsTest, UnwritableBackupFolderLeavesTypingAlone) {
    writeBytes(dir / "backup", "a file where the folder would be");
    startWithTitle(u8"x");
    w.typeText(Unit::编辑框1, u8"一二三");
    app->statistics().backup().flush();
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  3"));
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(readBytes(dir / "backup"), "a file where the folder would be");
}

// A flush while the writer's thread waits for the window to read it a slice
// neither waits for the window nor lets that stale copy write afterwards.
TEST(BackupWriterTest, FlushTakesOverACopyInTheMaking) {
    TempDir dir;
    FakeWindow w;
    w.setText(Unit::编辑框1, "abc");
    std::atomic<int> asked{0};
    BackupWriter writer({[&w](std::size_t p, std::size_t c) { return w.bodyText(p, c); }, [&w] { return w.bodyLength(); }},
                        [&](std::function<void()> task) {
                            w.post(std::move(task));
                            ++asked;
                        },
                        std::chrono::milliseconds(0));
    const std::string path = dir / "backup/b.txt";
    writer.schedule({path, {}});
    for (int i = 0; i < 500 && asked == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(asked, 1);
    w.setText(Unit::编辑框1, "abcd");
    writer.flush();
    EXPECT_EQ(readBytes(path), "abcd");
    EXPECT_EQ(writer.writesDone(), 1);
    // The stale request, answered late, finds its copy given up.
    w.setText(Unit::编辑框1, "x");
    EXPECT_EQ(w.runPosted(), 1);
    // Once the writer's thread has let its copy go, nothing more comes.
    ASSERT_TRUE(writer.waitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(w.runPosted(), 0);
    EXPECT_EQ(readBytes(path), "abcd");
    EXPECT_EQ(writer.writesDone(), 1);
}

// A process killed a second after the last keystroke leaves that keystroke in the copy.
TEST(BackupKillTest, LatestBodySurvivesKill9) {
    TempDir dir;
    crashWhile(dir, [](FakeWindow& w, Application&) {
        w.typeText(Unit::章节名称, u8"稿");
        w.click(Unit::开始书写按钮);
        for (int i = 0; i < 50; ++i) w.typeText(Unit::编辑框1, u8"字");
    }, std::chrono::seconds(1));
    Text want = g(u8"稿\r\n");
    for (int i = 0; i < 50; ++i) want += g(u8"字");
    EXPECT_EQ(readBytes(backupCopy(dir, u8"稿 ")), want);
}

}  // namespace
}  // namespace talery::test

namespace talery::test {
namespace {

std::string runTool(const std::string& arguments, int* status) {
    std::string out;
    FILE* pipe = ::popen((std::string(TALERY_TOOL) + " " + arguments + " 2>/dev/null").c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    *status = WEXITSTATUS(::pclose(pipe));
    return out;
}

TEST(StatsToolTest, PrintsWhatTheProgramShows) {
    TempDir dir;
    // "ab，1" CR LF "中" in GBK; the same text in UTF-8 with bare LF; enciphered under "pw".
    writeBytes(dir / "g.txt", "ab\xA3\xAC" "1\r\n\xD6\xD0");
    writeBytes(dir / "u.txt", "ab\xEF\xBC\x8C" "1\n\xE4\xB8\xAD");
    writeBytes(dir / "s.tlr", encryptText("ab\xA3\xAC" "1\r\n\xD6\xD0", documentKeyText("pw")));
    const std::string report = u8name(u8"当前字数：  3\n汉字数量：2\n英文数量：2\n符号数量：1\n数字数量：1\n段落数：2\n"
                                      u8"您拥有了这个积分特权，达到0积分拥有完整的字数统计。\n");
    int status = -1;
    EXPECT_EQ(runTool("stats " + dir / "g.txt", &status), report);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(runTool("stats --points 0 " + dir / "u.txt", &status), report);
    EXPECT_EQ(runTool("stats --password pw " + dir / "s.tlr", &status), report);
    EXPECT_EQ(runTool("stats --points -1 " + dir / "g.txt", &status),
              u8name(u8"当前字数：  3\n您需要积分达到0点才能有资格使用详细的文字统计\n"));
    runTool("stats --password wrong " + dir / "s.tlr", &status);
    EXPECT_EQ(status, 3);
    runTool("stats --points x " + dir / "g.txt", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace talery::test

namespace talery::test {
namespace {

TEST_F(StatisticsTest, NamedFileOpensAsTheOpenCommandWould) {
    writeBytes(dir / "a.txt", g(u8"第一行\r\n第二行"));
    app->openNamedFile(dir / "a.txt");
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"第一行\r\n第二行"));
    EXPECT_EQ(w.text(Unit::章节名称), "a");
    EXPECT_TRUE(session().record().openedFromFile);
    EXPECT_EQ(w.statusText(0), g(u8"当前字数：  6"));
}

TEST_F(StatisticsTest, NamedEncryptedFileAsksForItsPassword) {
    writeBytes(dir / "s.tlr", encryptText(g(u8"密文"), documentKeyText("pw")));
    w.passwordResults.push_back(Text("pw"));
    app->openNamedFile(dir / "s.tlr");
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"密文"));
    EXPECT_EQ(w.passwordDialogs.size(), 1u);
}

TEST_F(StatisticsTest, MissingNamedFileIsReported) {
    app->openNamedFile(dir / "none.txt");
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.lastMessage().find(u8name(u8"无法打开文件")), std::string::npos);
    expectIdle();
}

}  // namespace
}  // namespace talery::test
