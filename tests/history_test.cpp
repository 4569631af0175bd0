// Earlier versions: how long they live, their numbers and names, and the
// history window that compares them with the text now and brings them back.

#include "app_fixture.h"
#include "core/cipher.h"
#include "session/text_compare.h"
#include "session/recovery.h"
#include "session/versions.h"

#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <set>

namespace talery {
namespace {

using namespace test;

LocalDateTime at(long long localSecond) {
    // Back from seconds on the dayNumber scale to a date, by stepping days.
    const long long day = localSecond / 86400, rest = localSecond % 86400;
    int y = 1970 + static_cast<int>(day / 366);
    while (dayNumber(y + 1, 1, 1) <= day) ++y;
    int m = 1;
    while (m < 12 && dayNumber(y, m + 1, 1) <= day) ++m;
    const int d = static_cast<int>(day - dayNumber(y, m, 1)) + 1;
    return {y, m, d, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

// --- How long versions live ------------------------------------------------

// What stays of a year of saves, every three hours, as the rule prunes at
// each save: every version of the last day, the last of each day for a
// month, the last of each week before.
void expectAYearKept(const std::vector<long long>& kept, long long last, long long every) {
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(kept.front(), last);  // the newest is never dropped
    std::map<long long, int> perDay, perWeek;
    int lastDay = 0;
    for (const long long when : kept) {
        const long long age = last - when, day = when / 86400;
        if (age < 86400) ++lastDay;
        else if (age < 30 * 86400LL) ++perDay[day];
        else ++perWeek[(day + 3) / 7];
        // Each day's copy is that day's last state: the next save fell on the next day.
        if (age >= 2 * 86400LL && age < 29 * 86400LL) {
            EXPECT_GT(when + every, (day + 1) * 86400) << "not the last of its day";
        }
    }
    EXPECT_EQ(lastDay, static_cast<int>(86400 / every));
    EXPECT_GE(perDay.size(), 29u);
    for (const auto& [day, n] : perDay) EXPECT_EQ(n, 1) << "day " << day;
    for (const auto& [week, n] : perWeek) EXPECT_EQ(n, 1) << "week " << week;
    EXPECT_GE(perWeek.size(), 47u);  // every week of the year before the last month has its state
}

TEST(VersionRetention, AYearOfSavesKeepsTheDayEachDayOfAMonthAndEachWeekBefore) {
    // The rule alone, pruning after each save as keepVersion does.
    const long long start = localSeconds({2026, 1, 1, 8, 0, 0});
    constexpr long long kEvery = 3 * 3600;
    std::vector<VersionFile> versions;  // newest first
    long long last = 0;
    for (long long t = start; t < start + 365 * 86400LL; t += kEvery) {
        versions.insert(versions.begin(), VersionFile{std::to_string(t), 0, at(t), 1000});
        const std::vector<bool> keep = versionsKept(versions, at(t), std::uint64_t(200) << 20);
        std::vector<VersionFile> next;
        for (std::size_t i = 0; i < versions.size(); ++i)
            if (keep[i]) next.push_back(versions[i]);
        versions = std::move(next);
        last = t;
    }
    std::vector<long long> kept;
    for (const VersionFile& v : versions) kept.push_back(localSeconds(v.replaced));
    expectAYearKept(kept, last, kEvery);
}

TEST(VersionRetention, SavesOnDiskArePrunedByTheRule) {
    TempDir dir;
    const std::string doc = dir / "novel.txt", folder = versionsFolderIn(dir.path());
    // Two months of saves twice a day: the last day whole, then one a day, then one a week.
    const long long start = localSeconds({2026, 5, 4, 9, 0, 0});  // a Monday
    long long last = 0;
    for (long long t = start; t < start + 60 * 86400LL; t += 12 * 3600) {
        writeBytes(doc, std::to_string(t));  // the text replaced carries the time it was replaced
        ASSERT_TRUE(keepVersion(folder, doc, at(t)));
        last = t;
    }
    std::vector<long long> kept;
    for (const VersionFile& v : listVersions(folder, doc)) {
        kept.push_back(std::stoll(readBytes(v.path)));
        EXPECT_EQ(localSeconds(v.replaced), kept.back());  // the name tells when it was replaced
    }
    ASSERT_EQ(kept.front(), last);
    EXPECT_EQ(kept.size(), 2u + 29u + 5u);  // 24 hours, 29 more days, the weeks of the month before
}

TEST(VersionRetention, SpaceLimitsDropTheOldestButNeverADocumentsNewest) {
    TempDir dir;
    const std::string a = dir / "a.txt", b = dir / "b.txt", folder = versionsFolderIn(dir.path());
    const std::string kb(1024, 'x');
    // Per document: 3 KiB. Five versions of 1 KiB in one day: the three newest stay.
    for (int i = 0; i < 5; ++i) {
        writeBytes(a, kb.substr(1) + std::to_string(i));
        ASSERT_TRUE(keepVersion(folder, a, {2026, 3, 1, 10, 0, i}, nullptr, {3 << 10, 0}));
    }
    auto kept = listVersions(folder, a);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(readBytes(kept.front().path).back(), '4');
    EXPECT_EQ(readBytes(kept.back().path).back(), '2');
    // A newest larger than the whole limit still stays.
    writeBytes(a, std::string(8 << 10, 'y'));
    ASSERT_TRUE(keepVersion(folder, a, {2026, 3, 1, 10, 1, 0}, nullptr, {3 << 10, 0}));
    kept = listVersions(folder, a);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().bytes, 8u << 10);

    // In total: the oldest go first, across documents; each newest stays.
    for (int i = 0; i < 4; ++i) {
        writeBytes(b, kb);
        ASSERT_TRUE(keepVersion(folder, b, {2026, 3, 2, 10, 0, i}, nullptr, {0, 0}));
    }
    EXPECT_EQ(pruneVersions(folder, {2026, 3, 2, 11, 0, 0}, {0, 10 << 10}), 2);  // 8 + 4 KiB down to 8 + 2
    EXPECT_EQ(listVersions(folder, a).size(), 1u);
    ASSERT_EQ(listVersions(folder, b).size(), 2u);
    EXPECT_EQ(listVersions(folder, b).front().replaced.second, 3);
    EXPECT_EQ(pruneVersions(folder, {2026, 3, 2, 11, 0, 0}, {0, 1}), 1);  // nothing left but the newest
    EXPECT_EQ(listVersions(folder, a).size() + listVersions(folder, b).size(), 2u);
}

TEST(VersionRetention, LimitsAreKeptInTheSettingsFileInMegabytes) {
    TempDir dir;
    const IniFile file(dir / "setting.ini");
    EXPECT_EQ(readVersionLimits(file), VersionLimits{});  // missing: the defaults
    writeVersionLimits(file, {std::uint64_t(50) << 20, 0});
    const std::string bytes = readBytes(file.path());
    EXPECT_NE(bytes.find(gbk(u8"[软件设置]")), std::string::npos);
    EXPECT_NE(bytes.find(gbk(u8"每篇版本空间=50")), std::string::npos);
    EXPECT_NE(bytes.find(gbk(u8"版本总空间=0")), std::string::npos);
    EXPECT_EQ(readVersionLimits(file), (VersionLimits{std::uint64_t(50) << 20, 0}));
    // A value no one can mean falls back to the default, never to "no limit".
    file.write(gbk(u8"软件设置"), gbk(u8"每篇版本空间"), "99999999999999999999");
    EXPECT_EQ(readVersionLimits(file).perDocument, VersionLimits{}.perDocument);
}

// --- Numbers and names -------------------------------------------------------

TEST(VersionNumbers, HugeNumbersNeitherWrapNorLoseTheNewest) {
    TempDir dir;
    const std::string doc = dir / "a.txt", folder = versionsFolderIn(dir.path());
    writeBytes(doc, "old");
    ASSERT_TRUE(keepVersion(folder, doc, {2026, 1, 1, 0, 0, 0}));
    // Versions numbered 2^64 - 1 and past 2^64, as another program or a hand made them.
    const std::string first = listVersions(folder, doc).front().path;
    const std::string base = first.substr(0, first.rfind("-v"));
    std::filesystem::rename(first, base + "-v18446744073709551615.txt");
    writeBytes(base + "-v99999999999999999999999.txt", "beyond");
    for (int i = 0; i < 3; ++i) {
        writeBytes(doc, "save" + std::to_string(i));
        const auto copy = keepVersion(folder, doc, {2026, 1, 1, 0, 0, 1 + i});
        ASSERT_TRUE(copy) << i;
        const auto versions = listVersions(folder, doc);
        ASSERT_EQ(versions.size(), 3u + i);
        EXPECT_EQ(versions.front().path, *copy);  // newest, never taken for the oldest
        EXPECT_EQ(versions.front().sequence, 3u + i);  // numbered anew, never 0
    }
    std::set<std::string> texts;
    for (const auto& v : listVersions(folder, doc)) texts.insert(readBytes(v.path));
    EXPECT_EQ(texts, (std::set<std::string>{"old", "beyond", "save0", "save1", "save2"}));
}

TEST(VersionNumbers, ALongNameWithTheLargestNumberStillFitsTheNameLimit) {
    TempDir dir;
    const std::string folder = versionsFolderIn(dir.path());
    std::string stem;
    while (stem.size() + 3 < 250) stem += u8name(u8"章");
    const std::string doc = dir / (stem + ".txt");
    ASSERT_GE(baseName(doc).size(), 250u);
    writeBytes(doc, "old");
    ASSERT_TRUE(keepVersion(folder, doc, {2026, 1, 1, 0, 0, 0}));
    const std::string first = listVersions(folder, doc).front().path;
    const std::string last = first.substr(0, first.rfind("-v")) + "-v" + std::to_string(kMaxVersionSequence) + ".txt";
    ASSERT_LE(baseName(last).size(), 255u);
    std::filesystem::rename(first, last);
    for (int i = 0; i < 2; ++i) {
        writeBytes(doc, "save" + std::to_string(i));
        const auto copy = keepVersion(folder, doc, {2026, 1, 1, 0, 0, 1 + i});
        ASSERT_TRUE(copy) << i;
        EXPECT_LE(baseName(*copy).size(), 255u);
        EXPECT_EQ(listVersions(folder, doc).front().path, *copy);
    }
    EXPECT_EQ(listVersions(folder, doc).size(), 3u);
    // Whatever the clock says, a name keeps its length.
    EXPECT_LE(versionName(doc, {99999, 12, 31, 23, 59, 59}, ULLONG_MAX).size(), 255u);
}

// --- Comparing ---------------------------------------------------------------

TEST(Comparison, CountsChineseCharactersExactlyAndMarksWithinChangedLines) {
    const Text older = gbk(u8"第一章\r\n天色已晚，他走了。\r\n风起。");
    const Text newer = gbk(u8"第一章\r\n天色已晚，她走了很久。\r\n风起。\r\n雨落 下来。");
    const MarkedText m = compareTexts(older, newer);
    EXPECT_EQ(m.addedCharacters, 8u);  // 她 很久 雨落下来。 (the space does not count)
    EXPECT_EQ(m.removedCharacters, 1u);  // 他
    ASSERT_EQ(m.lines.size(), 5u);
    EXPECT_EQ(m.lines[0].kind, MarkedLine::Kind::Same);
    ASSERT_EQ(m.lines[1].kind, MarkedLine::Kind::Removed);
    ASSERT_EQ(m.lines[2].kind, MarkedLine::Kind::Added);
    const auto marks = [](const MarkedText& in, const MarkedLine& l) {
        Text out;
        for (const auto& [from, to] : l.marks) out += Text(in.line(l).substr(from, to - from)) + "|";
        return out;
    };
    const auto marked = [&](const MarkedLine& l) { return marks(m, l); };
    EXPECT_EQ(marked(m.lines[1]), gbk(u8"他|"));
    EXPECT_EQ(marked(m.lines[2]), gbk(u8"她|很久|"));
    EXPECT_EQ(m.lines[3].kind, MarkedLine::Kind::Same);
    EXPECT_EQ(m.lines[4].kind, MarkedLine::Kind::Added);
    EXPECT_EQ(marked(m.lines[4]), gbk(u8"雨落 下来。|"));
    // A trail byte that looks like ASCII is never a difference of its own.
    ASSERT_EQ(gbk(u8"乗").back(), '\\');  // its second byte is "\"
    const MarkedText t = compareTexts(gbk(u8"乗"), gbk(u8"乗\\"));
    EXPECT_EQ(t.addedCharacters, 0u);
    ASSERT_EQ(t.lines.size(), 2u);
    EXPECT_EQ(marks(t, t.lines[1]), "\\|");
    // Nothing changed: every line is the same, nothing counted.
    const MarkedText same = compareTexts(newer, newer);
    EXPECT_EQ(same.addedCharacters + same.removedCharacters, 0u);
    EXPECT_EQ(same.lines.size(), 4u);
}

// --- The history window -----------------------------------------------------

class HistoryTest : public AppTest {
protected:
    FakeHistoryWindow& h() { return w.historyWindow(); }
    void ctrlS() { w.pressKey(Unit::编辑框1, key::S, modifier::Ctrl); }
    // The reading thread's results, on the window's thread.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            app->history().waitIdle();
            w.runPosted();
        }
    }
    // Opens a document through 打开文件.
    void openDocument(const std::string& path) {
        w.dialogResults = {path};
        w.trigger(Unit::打开文件);
    }
    Text shownOlder() { return h().text ? h().text->older : Text("(nothing shown)"); }
};

TEST_F(HistoryTest, GbkAndUtf8DocumentsCompareAlikeAndComeBackAsOneUndoableEdit) {
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "UTF-8" : "GBK");
        const std::u8string first = u8"第二章\r\n春眠不觉晓。\r\n", second = u8"第二章\r\n春眠不觉晓，处处闻啼鸟。\r\n";
        const std::string path = dir.file(utf8 ? "utf8.txt" : "gbk.txt");
        const auto bytesOf = [&](std::u8string_view s) { return utf8 ? u8name(s) : gbk(s); };
        writeBytes(path, bytesOf(first));
        openDocument(path);
        ASSERT_TRUE(session().writing());
        w.setText(Unit::编辑框1, gbk(second));
        ctrlS();
        ASSERT_EQ(readBytes(path), bytesOf(second));  // saved back in its own encoding
        w.typeText(Unit::编辑框1, u8"夜来风雨声。");

        w.trigger(Unit::历史版本);
        settle();
        ASSERT_TRUE(h().isOpen);
        ASSERT_EQ(h().rows.size(), 1u);
        EXPECT_EQ(h().rows[0].when, gbk(u8"今天 00:00:00"));
        EXPECT_EQ(h().rows[0].size, gbk(u8"9字"));
        EXPECT_EQ(h().rows[0].change, gbk(u8"+12 -0"));  // ，处处闻啼鸟 and 夜来风雨声。
        h().chooseRow(0);
        settle();
        EXPECT_EQ(shownOlder(), gbk(first));
        ASSERT_TRUE(h().enabled(HistoryUnit::恢复按钮));
        const Text before = w.text(Unit::编辑框1);
        h().click(HistoryUnit::恢复按钮);
        EXPECT_FALSE(h().isOpen);
        EXPECT_EQ(w.text(Unit::编辑框1), gbk(first));
        EXPECT_EQ(readBytes(path), bytesOf(second));  // nothing written without a save
        w.undoBodyEdit();  // Ctrl+Z
        EXPECT_EQ(w.text(Unit::编辑框1), before);
        w.answers = {Answer::OK, Answer::OK};
        w.click(Unit::放弃编辑);
        ASSERT_FALSE(session().writing());
    }
    // Outside a session both documents are listed, each under its name.
    w.trigger(Unit::历史版本);
    settle();
    std::vector<Text> headings;
    for (const HistoryRow& r : h().rows)
        if (r.depth == 0) headings.push_back(r.when);
    EXPECT_EQ(std::count(headings.begin(), headings.end(), Text("gbk.txt")), 1);
    EXPECT_EQ(std::count(headings.begin(), headings.end(), Text("utf8.txt")), 1);
}

TEST_F(HistoryTest, AnEncryptedDocumentsVersionsOpenWithItsPasswordAndNeverLieInPlain) {
    std::u8string secret = u8"第三章　密谋\r\n";
    for (int i = 0; i < 30; ++i) secret += u8"他们在灯下低声商量着明天的计划，谁也不肯先开口。\r\n";
    const Text plain = gbk(secret);
    const std::string path = dir.file("secret.tlr");
    const Text key = Text(keyPrefix) + "pw";
    writeBytes(path, encryptText(plain, key));
    w.passwordResults = {Text("pw")};
    openDocument(path);
    ASSERT_TRUE(session().writing());
    ASSERT_EQ(w.text(Unit::编辑框1), plain);
    w.typeText(Unit::编辑框1, u8"第一次修改。");
    w.answers = {Answer::Yes};  // the previous password
    ctrlS();
    w.typeText(Unit::编辑框1, u8"第二次修改。");
    w.answers = {Answer::Yes};
    ctrlS();
    ASSERT_EQ(listVersions(versionsFolderIn(dir.path()), path).size(), 2u);

    w.trigger(Unit::历史版本);
    settle();
    ASSERT_EQ(h().rows.size(), 2u);
    h().chooseRow(1);  // the oldest: the document as it was opened
    settle();
    EXPECT_EQ(shownOlder(), plain);
    h().click(HistoryUnit::恢复按钮);
    EXPECT_EQ(w.text(Unit::编辑框1), plain);
    app->statistics().backup().flush();

    // Not one plain line anywhere the program writes: versions, backups, temporary files.
    const std::string line = gbk(u8"他们在灯下低声商量着明天的计划");
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (!e.is_regular_file()) continue;
        EXPECT_EQ(readBytes(e.path().string()).find(line), std::string::npos) << e.path();
    }

    // A later run, outside a session: no password, or a wrong one, shows nothing.
    w.answers = {Answer::Yes, Answer::Yes};  // overwrite, with the previous password
    w.click(Unit::开始书写按钮);            // 立刻保存
    ASSERT_FALSE(session().writing());
    session().record().password.clear();
    w.trigger(Unit::历史版本);
    settle();
    int versionRow = -1;
    for (std::size_t i = 0; i < h().rows.size(); ++i)
        if (h().rows[i].depth == 1 && versionRow < 0) versionRow = static_cast<int>(i);
    ASSERT_GE(versionRow, 0);
    EXPECT_EQ(h().rows[static_cast<std::size_t>(versionRow)].size, gbk(u8"需要密码"));
    w.passwordResults = {std::nullopt};
    h().chooseRow(versionRow);
    settle();
    EXPECT_FALSE(h().text);
    w.passwordResults = {Text("wrong")};
    h().chooseRow(versionRow);
    settle();
    EXPECT_FALSE(h().text);
    EXPECT_EQ(h().note, gbk(u8"密码不正确，不能显示这个版本。"));
    EXPECT_FALSE(h().enabled(HistoryUnit::恢复按钮));
    w.passwordResults = {Text("pw")};
    h().chooseRow(versionRow);
    settle();
    ASSERT_TRUE(h().text);
}

// The window says how long a copy is kept as pruning keeps it: a copy an
// earlier version left has its days from the upgrade, not from its age.
TEST(KeptCopies, ACopyFromBeforeTheUpgradeIsListedWithItsDaysFromTheUpgrade) {
    TempDir dir;
    const std::string folder = backupFolder(dir.path());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string old = folder + "/" + u8(u8"旧稿.txt");
    writeBytes(old, "x");
    const std::time_t now = std::time(nullptr);
    const timespec aged{now - 200 * 24 * 60 * 60, 0};
    const timespec times[2] = {aged, aged};
    ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    pruneOldBackups(dir.path());  // the first start of this version
    ASSERT_TRUE(std::filesystem::exists(old));
    const auto kept = keptBackupCopies(dir.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_GE(kept[0].keptUntil, now + 29 * 24 * 60 * 60);
}

TEST_F(HistoryTest, AGivenUpSessionIsListedWithItsDaysAndComesBackAsANewSession) {
    startWithTitle(u8"草稿");
    w.typeText(Unit::编辑框1, u8"写了一半的故事。");
    app->statistics().backup().flush();
    w.answers = {Answer::OK, Answer::OK};
    w.click(Unit::放弃编辑);
    ASSERT_FALSE(session().writing());

    w.trigger(Unit::历史版本);
    settle();
    ASSERT_EQ(h().rows.size(), 2u);
    EXPECT_EQ(h().rows[0].when, gbk(u8"未完成的会话"));
    EXPECT_TRUE(h().rows[1].when.starts_with(gbk(u8"草稿")));
    EXPECT_EQ(h().rows[1].size, gbk(u8"10字"));
    EXPECT_EQ(h().rows[1].note, gbk(u8"还保留30天"));
    h().chooseRow(1);
    settle();
    h().click(HistoryUnit::恢复按钮);
    ASSERT_TRUE(session().writing());
    EXPECT_EQ(w.text(Unit::编辑框1), gbk(u8"草稿\r\n写了一半的故事。"));
    EXPECT_EQ(w.text(Unit::章节名称), gbk(u8"草稿"));
    EXPECT_TRUE(session().record().currentPath.empty());  // saving asks where
}

TEST_F(HistoryTest, TheSettingsPageShowsAndChangesTheLimits) {
    EXPECT_EQ(w.selection(Unit::版本空间), 2);    // 200 MB
    EXPECT_EQ(w.selection(Unit::版本总空间), 2);  // 2 GB
    w.choose(Unit::版本空间, 5);                  // 不限
    w.choose(Unit::版本总空间, 0);                // 500 MB
    EXPECT_EQ(readVersionLimits(app->settings().program()), (VersionLimits{0, std::uint64_t(500) << 20}));
}

}  // namespace
}  // namespace talery
