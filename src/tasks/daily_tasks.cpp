#include "tasks/daily_tasks.h"

#include "tasks/points.h"
#include "ui/open_url.h"

#include <climits>
#include <vector>

namespace talery {

namespace {

constexpr std::u8string_view kSettings = u8"软件设置";

const std::array<DailyTask, 10> kTasks{{
    {u8"勤劳蜜蜂", u8"每天打开一次Talery", kSettings, u8"最后一次登录", u8"最后一登录", 1, false, 900, 0},
    {u8"超级粉丝", u8"支持tlr文件，使用软件打开一个tlr文件", kSettings, u8"tlr使用", u8"tlr用", 1, false, 900, 900},
    {u8"声音天使", u8"使用录音功能记录下你最美的声音把", kSettings, u8"录音", u8"录", 1, false, 900, 900},
    {u8"日记达人", u8"每天写一篇日记", u8"日记", u8"最后一次日记", u8"最后一日记", 1, false, 901, 1},
    {u8"日写千字", u8"每天新建文本并写1000字", kSettings, u8"1000字", u8"1000", 1, false, 902, 2},
    {u8"日写万字", u8"每天新建文本并写8000字", kSettings, u8"8000字", u8"8000", 1, false, 903, 3},
    {u8"写作狂人", u8"每天新建文本并写20000字", kSettings, u8"20000字", u8"20000", 2, false, 904, 4},
    {u8"写作魔鬼", u8"每天新建文本并写100000字", kSettings, u8"100000字", u8"100000", 3, false, 905, 5},
    {u8"新手任务", u8"查看一次许可协议", kSettings, u8"新手1", u8"新1", 1, true, 900, 900},
    {u8"新手任务", u8"体验一次大字体模式", kSettings, u8"新手2", u8"新2", 1, true, 900, 900},
}};

const std::array<TitleRank, 11> kTitles{{
    {0, u8"称号：积分菜鸟 Lv.1"},
    {100, u8"称号：积分新手 Lv.2"},
    {200, u8"称号：积分会员 Lv.3"},
    {300, u8"称号：积分能手 Lv.4"},
    {500, u8"称号：积分达人 Lv.5"},
    {800, u8"称号：积分王者 Lv.6"},
    {1500, u8"称号：积分帝王 Lv.7"},
    {3000, u8"称号：写作能手 Lv.8"},
    {5000, u8"称号：写作达人 Lv.9"},
    {10000, u8"称号：写作王者 Lv.10"},
    {100000, u8"称号：写作帝王 Lv.MAX"},
}};

constexpr int kSaturday = 7;
constexpr int kSaturdayFactor = 5;

std::string utf8(std::u8string_view s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size()); }

// What a done mark and an award record hold for this task today.
Text doneValue(const DailyTask& task, const Text& today) { return task.beginner ? gbk(u8"真") : today; }

}  // namespace


Text taskLabel(const DailyTask& task, bool done) {
    return gbk(task.name) + " " + gbk(task.description) + (done ? gbk(u8"√完成") : gbk(u8"×未完成")) + " +" +
           decimal(task.points) + gbk(u8"积分");
}

std::int32_t taskAward(const DailyTask& task, int weekday) {
    return !task.beginner && weekday == kSaturday ? task.points * kSaturdayFactor : task.points;
}

std::optional<Text> titleFor(std::int32_t total) {
    std::optional<Text> title;
    for (const TitleRank& rank : kTitles) {
        if (total >= rank.bound) title = gbk(rank.text);
    }
    return title;
}

std::int32_t addPoints(std::int32_t total, std::int32_t award) {
    const long long sum = static_cast<long long>(total) + award;
    if (sum > INT_MAX) return INT_MAX;
    if (sum < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(sum);
}

std::string titleExplanationPage() {
    std::string page = utf8(
        u8"<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>Talery 称号说明</title>\n"
        u8"<style>body{font-family:sans-serif;max-width:44em;margin:2em auto;line-height:1.6}"
        u8"table{border-collapse:collapse;margin:1em 0}th,td{border:1px solid #999;padding:.3em .8em;text-align:left}"
        u8"td.n{text-align:right}</style>\n</head>\n<body>\n<h1>称号说明</h1>\n"
        u8"<p>积分达到下表中的数值，就会获得相应的称号。称号显示在设置面板的“获取积分”页上，每次刷新任务时更新。</p>\n"
        u8"<table>\n<tr><th>称号</th><th>所需积分</th></tr>\n");
    const std::u8string_view prefix = u8"称号：";
    for (const TitleRank& rank : kTitles) {
        std::u8string_view text = rank.text;
        if (text.starts_with(prefix)) text.remove_prefix(prefix.size());
        page += "<tr><td>" + utf8(text) + "</td><td class=\"n\">" + decimal(rank.bound) + "</td></tr>\n";
    }
    page += utf8(
        u8"</table>\n<h2>如何获得积分</h2>\n"
        u8"<p>完成下列任务，然后打开设置面板，或在“获取积分”页点击“刷新任务”，就能领取积分。"
        u8"每日任务每天可以领取一次，星期六领取五倍积分；新手任务只能领取一次。</p>\n"
        u8"<table>\n<tr><th>任务</th><th>内容</th><th>积分</th><th>星期六</th></tr>\n");
    for (const DailyTask& task : kTasks) {
        page += "<tr><td>" + utf8(task.name) + "</td><td>" + utf8(task.description) + "</td><td class=\"n\">" +
                decimal(taskAward(task, 1)) + "</td><td class=\"n\">" +
                (task.beginner ? utf8(u8"（仅一次）") : decimal(taskAward(task, kSaturday))) + "</td></tr>\n";
    }
    page += "</table>\n</body>\n</html>\n";
    return page;
}

std::string fileUrl(const Path& path) {
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url += '%';
            url += hexOf(std::string_view(reinterpret_cast<const char*>(&c), 1), HexCase::Upper);
        }
    }
    return url;
}

DailyTasks::DailyTasks(Window& window, const Clock& clock, const SettingsStore& settings, std::int32_t& total)
    : window_(window), clock_(clock), settings_(settings), total_(total) {}

void DailyTasks::refreshTasks() {
    const LocalDateTime now = clock_.now();
    const Text today = dateStamp(now);
    const IniFile file = settings_.program();
    // Every mark and record of this refresh comes from one reading of the
    // file; an unreadable file gives empty marks, so nothing is paid.
    const std::string content = readWholeFile(file.path(), nullptr, kIniFileLimit).value_or(std::string());

    window_.clearList(Unit::超级列表框1);
    std::int32_t total = total_;
    std::vector<IniEntry> records;
    for (const DailyTask& task : kTasks) {
        const Text section = gbk(task.section);
        const Text done = doneValue(task, today);
        if (iniRead(content, section, gbk(task.mark)) != done) {
            window_.insertListItem(Unit::超级列表框1, task.notDonePosition, taskLabel(task, false));
            continue;
        }
        window_.insertListItem(Unit::超级列表框1, task.donePosition, taskLabel(task, true));
        if (iniRead(content, section, gbk(task.award)) == done) continue;
        total = addPoints(total, taskAward(task, weekday(now)));
        records.push_back({section, gbk(task.award), done});
    }

    // The total is stored at every refresh; the awards go with it in the same
    // replacement of the file, so a failed write neither pays a task without
    // its record (paid again next time) nor records one that was not paid.
    records.push_back(pointsEntry(total));
    const bool paid = records.size() > 1;
    if (file.writeAll(records) && paid) {
        total_ = total;
        window_.setText(Unit::积分显示, pointsLabel(total_));
    }
    if (auto title = titleFor(total_)) window_.setText(Unit::称号显示, *title);
}

void DailyTasks::showTitleExplanation() {
    const Path path = settings_.programDirectory() + "/titles.html";
    FileError error;
    // Written afresh each time, so the page always matches this program's tables.
    if (!writeFileAtomic(path, titleExplanationPage(), &error)) {
        window_.messageBox(gbk(u8"无法写出称号说明页：") + utf8ToGbkLossy(path) + "\r\n" + gbk(u8"原因：") +
                               utf8ToGbkLossy(error.reasonUtf8),
                           programCaption(), Buttons::OK, Icon::Warning);
        return;
    }
    // Said where it is: the page can be opened again, or by hand without a browser.
    window_.setStatusText(2, gbk(u8"称号说明页已写入：") + utf8ToGbkLossy(path));
    openUrlOrTell(window_, fileUrl(path));
}

}  // namespace talery
