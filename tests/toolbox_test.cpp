// One-key layout: the corpus of awkward chapters against bytes written by
// hand, a selection, the key and menu entry, and the indent Enter carries.

#include "aids/chapter_layout.h"
#include "aids/writing_speed.h"
#include "app_fixture.h"
#include "core/text_figures.h"

namespace talery::test {
namespace {

Text layOut(std::u8string_view text, bool keepEmptyLine = true) {
    return layOutChapter(g(text), {.keepEmptyLine = keepEmptyLine});
}

TEST(ChapterLayout, EveryParagraphGetsTwoFullWidthSpacesWhateverItsIndentAndTheTitleStays) {
    EXPECT_EQ(layOut(u8"第1章 Hello,世界.  \r\n他走了。\r\n  两个空格\r\n\t制表符\r\n　一个全角\r\n　　　三个全角\r\n"
                     u8"　 \t混合　\t \r\n中间 的 空格"),
              g(u8"第1章 Hello,世界.  \r\n　　他走了。\r\n　　两个空格\r\n　　制表符\r\n　　一个全角\r\n　　三个全角\r\n"
                u8"　　混合\r\n　　中间 的 空格"));
    // Already laid out: nothing moves.
    const Text done = g(u8"标题\r\n　　第一段。\r\n\r\n　　第二段。\r\n");
    EXPECT_EQ(layOutChapter(done, {}), done);
    EXPECT_EQ(layOut(u8""), Text());
    EXPECT_EQ(layOut(u8"只有标题"), g(u8"只有标题"));
}

TEST(ChapterLayout, EmptyLineRunsShrinkToOneOrNoneAndEachLineKeepsItsOwnBreak) {
    const std::u8string_view text = u8"标题\n\n\n第一段。   \r\n\r\n  \r\n　　\r\n第二段。\t\n\n最后一段　";
    EXPECT_EQ(layOut(text), g(u8"标题\n\n　　第一段。\r\n\r\n　　第二段。\n\n　　最后一段"));
    EXPECT_EQ(layOut(text, false), g(u8"标题\n　　第一段。\r\n　　第二段。\n　　最后一段"));
    EXPECT_EQ(layOut(u8"标题\r\n段落\r\n\r\n\r\n"), g(u8"标题\r\n　　段落\r\n\r\n"));
}

TEST(ChapterLayout, ALongTextLaidOutInTwoHalvesReadsAsIfLaidOutLineByLine) {
    // Past a megabyte the text is cut in two behind a line break, wherever
    // that falls: in a run of empty lines, or just behind a title that is
    // spaces alone (kept as it is, so no run of empty lines before the cut).
    const Text unit = g(u8"  他说,好.\r\n") + "\r\n \r\n\t\r\n\r\n";
    const Text laid = g(u8"　　他说，好。\r\n");
    for (std::size_t shift = 0; shift < unit.size(); shift += 2) {
        const Text title = g(u8"标题") + Text(shift, ' ') + "\r\n";
        Text text = title, keep = title, drop = title;
        while (text.size() < (std::size_t(3) << 19)) {
            text += unit;
            keep += laid + "\r\n";
            drop += laid;
        }
        EXPECT_EQ(layOutChapter(text, {.keepEmptyLine = true}), keep) << shift;
        EXPECT_EQ(layOutChapter(text, {.keepEmptyLine = false}), drop) << shift;
    }
    const Text spaces(std::size_t(3) << 19, ' ');
    EXPECT_EQ(layOutChapter(spaces + "\r\n\r\nx", {}), spaces + g(u8"\r\n\r\n　　x"));
}

TEST(ChapterLayout, PunctuationBetweenChineseBecomesFullWidthButLatinNumbersAndUrlsStay) {
    EXPECT_EQ(layOut(u8"T\n他说,你好.我很好!你呢?时间:十点;好\n他走了.\n真的?!\n等等...他说"),
              g(u8"T\n　　他说，你好。我很好！你呢？时间：十点；好\n　　他走了。\n　　真的？！\n　　等等...他说"));
    const std::u8string_view untouched[] = {
        u8"圆周率是3.14,约等于3.14159",
        u8"价格3,000元 时间10:30到",
        u8"He said: \"Hello, world!\" It's fine.",
        u8"他用English说,Hello.",
        u8"网址:http://example.com/a.html?x=1,2;y=3见",
        u8"请访问www.example.com.",
        u8"他说\"你好",  // an unpaired quote stays
        u8"网址:http://北京大学.中国/招生?页=2见",  // addresses with Chinese labels too
    };
    for (const auto line : untouched) {
        EXPECT_EQ(layOutChapter(g(u8"T\n") + g(line), {}), g(u8"T\n　　") + g(line)) << u8(line);
    }
    // Dots inside an address stay; one that ends the sentence after it does not.
    EXPECT_EQ(layOut(u8"T\n请访问www.小说网.公司.\n写信给张三@例子.中国,好"),
              g(u8"T\n　　请访问www.小说网.公司。\n　　写信给张三@例子.中国，好"));
}

TEST(ChapterLayout, QuotesPairInOrderNextToChineseAndNeverInsideLatinWords) {
    EXPECT_EQ(layOut(u8"T\n他说:\"你好.\"她笑了:\"嗯!\"\n'宝贝'是她的小名,don't\n\"好\"\"对\"他说\"OK\"。"),
              g(u8"T\n　　他说：“你好。”她笑了：“嗯！”\n　　‘宝贝’是她的小名,don't\n　　“好”“对”他说“OK”。"));
}

TEST(ChapterLayout, ASelectionLaysOutTheWholeLinesItTouchesAndOnlyTheChangedLinesAreReplaced) {
    const Text body = g(u8"标题,好\r\n第一段,好\r\n第二段,好\r\n  第三段,好\r\n　　第四段。");
    const std::size_t second = body.find(g(u8"第二"));
    LayoutEdit edit = layOutRange(body, second + 2, 2, true);  // inside 第二段
    EXPECT_EQ(edit.start, second);
    EXPECT_EQ(Text(body).replace(edit.start, edit.length, edit.replacement),
              g(u8"标题,好\r\n第一段,好\r\n　　第二段，好\r\n  第三段,好\r\n　　第四段。"));
    // No selection: the whole body but the title and the lines already right.
    edit = layOutRange(body, 5, 0, true);
    EXPECT_EQ(edit.start, body.find(g(u8"第一")));
    EXPECT_EQ(edit.length, body.find(g(u8"　　第四")) - edit.start);
    EXPECT_EQ(edit.replacement, g(u8"　　第一段，好\r\n　　第二段，好\r\n　　第三段，好\r\n"));
    const Text done = layOutChapter(body, {});
    edit = layOutRange(done, 0, 0, true);
    EXPECT_EQ(edit.length, 0u);
    EXPECT_TRUE(edit.replacement.empty());
}

class LayoutAppTest : public AppTest {};

TEST_F(LayoutAppTest, TheKeyAndTheMenuEntryLayOutTheBodyInOneEditAndTheSettingDropsEmptyLines) {
    w.trigger(Unit::一键排版);
    EXPECT_EQ(w.lastMessage(), u8(u8"开始书写后再使用吧。"));
    startWithTitle(u8"第一章");
    w.typeText(Unit::编辑框1, u8"他说,你好.\r\n\r\n\r\n  她走了.  ");
    const Text before = w.text(Unit::编辑框1);
    const std::size_t edits = w.bodyEdits.size();
    w.pressKey(Unit::编辑框1, key::L, modifier::Ctrl);  // Ctrl+L alone is no layout
    EXPECT_EQ(w.text(Unit::编辑框1), before);
    w.pressKey(Unit::编辑框1, key::L, modifier::Ctrl | modifier::Shift);
    EXPECT_EQ(w.text(Unit::编辑框1), w.text(Unit::章节名称) + g(u8"\r\n　　他说，你好。\r\n\r\n　　她走了。"));
    EXPECT_EQ(w.bodyEdits.size(), edits + 1);
    // Counted from the laid-out text as it went in: the figures of the new body.
    EXPECT_EQ(w.statusText(0), liveCountText(liveCount(countFigures(w.text(Unit::编辑框1)))));

    // The settings page's check box: kept at once, and shown so at the next start.
    w.click(Unit::排版删除空行);
    FakeWindow next;
    Application(next, clock, SettingsStore(dir.path())).start();
    EXPECT_TRUE(next.checked(Unit::排版删除空行));
    w.trigger(Unit::一键排版);
    EXPECT_EQ(w.text(Unit::编辑框1), w.text(Unit::章节名称) + g(u8"\r\n　　他说，你好。\r\n　　她走了。"));
    EXPECT_EQ(w.bodyEdits.size(), edits + 2);
}

TEST_F(LayoutAppTest, EnterAfterAnIndentedParagraphStartsTheNextWithTheSameIndent) {
    startWithTitle(u8"第一章");
    auto enter = [&] {
        w.pressKey(Unit::编辑框1, key::Enter);
        w.typeText(Unit::编辑框1, u8"\r\n");
        w.runPosted();
    };
    enter();  // after the title: no indent
    w.typeText(Unit::编辑框1, u8"　　他走了。");
    enter();
    w.typeText(Unit::编辑框1, u8"她来了。");
    enter();
    enter();  // an empty line keeps no spaces: the indent moves down
    const Text start = w.text(Unit::章节名称) + g(u8"\r\n\r\n");
    EXPECT_EQ(w.text(Unit::编辑框1), start + g(u8"　　他走了。\r\n　　她来了。\r\n\r\n　　"));
    EXPECT_EQ(w.bodySelection().start, w.text(Unit::编辑框1).size());
    w.typeText(Unit::编辑框1, u8"\t英文");  // an indent of its own kind is carried as it is
    enter();
    EXPECT_EQ(w.text(Unit::编辑框1), start + g(u8"　　他走了。\r\n　　她来了。\r\n\r\n　　\t英文\r\n　　\t"));
}

TEST_F(LayoutAppTest, TheIndentTypedAgainBehindTheCarriedOneStaysTwoSpaces) {
    startWithTitle(u8"第一章");
    auto enter = [&] {
        w.pressKey(Unit::编辑框1, key::Enter);
        w.typeText(Unit::编辑框1, u8"\r\n");
        w.runPosted();
    };
    auto type = [&](std::u8string_view text) {
        w.typeText(Unit::编辑框1, text);
        w.runPosted();
    };
    const Text start = w.text(Unit::章节名称) + g(u8"\r\n");
    type(u8"　　他走了。");
    enter();
    // Typed one by one, or as one commit of the input method: still two.
    type(u8"　");
    type(u8"　");
    type(u8"她来了。");
    enter();
    type(u8"　　");
    type(u8"门开了。");
    EXPECT_EQ(w.text(Unit::编辑框1), start + g(u8"　　他走了。\r\n　　她来了。\r\n　　门开了。"));
    // More than the indent, or spaces typed after other keys, are the writer's own.
    enter();
    type(u8"　　　");
    type(u8"x　");
    EXPECT_EQ(w.text(Unit::编辑框1), start + g(u8"　　他走了。\r\n　　她来了。\r\n　　门开了。\r\n　　　　　x　"));
}

TEST_F(LayoutAppTest, WritingSpeedCountsNetAdditionsWhileWritingOverTheTimersSeconds) {
    auto seconds = [&](int n) {
        for (int i = 0; i < n; ++i) w.tick(Unit::时钟2);
    };
    auto shown = [&] { return gbkToUtf8Lossy(w.text(Unit::书写速度)); };
    startWithTitle(u8"速度");  // the title the program puts in is not counted
    EXPECT_EQ(shown(), u8(u8"本次新增：0 字\n书写时间：00:00:00\n每小时：-- 字\n今日字数：0 / 目标 1000"));
    for (int i = 0; i < 30; ++i) {
        w.typeText(Unit::编辑框1, u8"夜色很深。");  // 4 counted characters and a full stop
        seconds(4);
    }
    const std::size_t end = w.text(Unit::编辑框1).size();
    w.setBodySelection({end - 10, 10});
    w.typeText(Unit::编辑框1, u8"");  // deleting counts against
    seconds(30);
    EXPECT_EQ(app->statistics().addedWhileWriting(), 30 * 5 - 5);
    EXPECT_EQ(shown(), u8(u8"本次新增：145 字\n书写时间：00:02:30\n每小时：3480 字\n今日字数：145 / 目标 1000"));

    // Between sessions the timer pauses and nothing counts; an opened document is not new writing,
    // and the day's count stays what was written today.
    w.answers.push_back(Answer::OK);
    w.answers.push_back(Answer::OK);
    w.pressKey(Unit::编辑框1, key::F12);
    ASSERT_FALSE(w.enabled(Unit::编辑框1));
    seconds(600);
    const TempDir docs;
    writeFileAtomic(docs / "old.txt", std::string(3000, 'a'));
    w.dialogResults.push_back(docs / "old.txt");
    w.trigger(Unit::打开文件);
    ASSERT_TRUE(w.enabled(Unit::编辑框1));
    w.typeText(Unit::编辑框1, u8"新");
    seconds(30);
    EXPECT_EQ(shown(), u8(u8"本次新增：146 字\n书写时间：00:03:00\n每小时：2920 字\n今日字数：145 / 目标 1000"));
}

TEST(WritingSpeed, TheDayGoalIsTheNextTaskThresholdAndTheRateWaitsForAMinute) {
    EXPECT_EQ(gbkToUtf8Lossy(writingSpeedText(-20, 59, 8000, 8000)),
              u8(u8"本次新增：-20 字\n书写时间：00:00:59\n每小时：-- 字\n今日字数：8000 / 目标 8000"));
    EXPECT_EQ(gbkToUtf8Lossy(writingSpeedText(-20, 3600 * 12 + 61, 100001, 0)),
              u8(u8"本次新增：-20 字\n书写时间：12:01:01\n每小时：0 字\n今日字数：100001（今日字数任务已全部完成）"));
}

}  // namespace
}  // namespace talery::test
