#include "session/diary.h"

#include "ui/unit_table.h"

namespace talery {

Text diaryTitle(const LocalDateTime& t) {
    // As a Chinese reader names the days: a bare number reads one day late.
    static constexpr std::u8string_view kDays[] = {u8"日", u8"一", u8"二", u8"三", u8"四", u8"五", u8"六"};
    return decimal(t.year) + gbk(u8"年") + decimal(t.month) + gbk(u8"月") + decimal(t.day) + gbk(u8"日星期") +
           gbk(kDays[weekday(t) - 1]) + gbk(u8"     by：Talery日记");
}

DiaryMode::DiaryMode(Window& window, const Clock& clock, const SettingsStore& settings, SessionController& session,
                     Theme theme)
    : window_(window), clock_(clock), settings_(settings), session_(session), theme_(std::move(theme)) {}

void DiaryMode::enterDiaryMode() {
    if (!window_.text(Unit::章节名称).empty()) {
        window_.messageBox(gbk(u8"请清空章节名称直接点击写日记"), programCaption(), Buttons::OK);
        return;
    }
    if (session_.writing()) return;

    window_.setText(Unit::章节名称, diaryTitle(clock_.now()));
    window_.setText(Unit::章节名称提示, gbk(u8"日记时间："));
    window_.setWindowBackground(kDiaryBackground);
    window_.setBackgroundColour(Unit::编辑框1, kDiaryBackground);
    window_.setTextColour(Unit::编辑框1, kWhite);
    window_.setEnabled(Unit::颜色, false);
    session_.startDiary();
    window_.setAlignment(Unit::编辑框1, Align::Left);
    window_.setFocus(Unit::编辑框1);
    window_.setTimerInterval(units::tipTimer, 0);
    window_.setStatusNote(2, gbk(u8"日记模式"));
    window_.messageBox(gbk(u8"您已经进入了专属的写日记模式，在写日记模式中，您拥有以下功能：\r\n"
                           u8"①靓丽的背景颜色（不能更换）\r\n②标题提示等各个地方优化\r\n③关闭可能会打扰到你的小提示和推荐"),
                       programCaption(), Buttons::OK);
}

void DiaryMode::leaveDiaryMode() {
    if (!active()) return;
    session_.endDiary();
    diaryEnded();
}

void DiaryMode::diaryEnded() {
    window_.setEnabled(Unit::颜色, true);
    const IniFile ini = settings_.program();
    window_.setBackgroundColour(Unit::颜色, ini.readColour(gbk(u8"文本设置"), gbk(u8"背景颜色")));
    if (theme_.applyBackgroundColour) theme_.applyBackgroundColour();
    window_.setTimerInterval(units::tipTimer, kTipInterval);
    markDiaryDay();
    // Selection 0 of the text colours is white, anything else black.
    const Colour chosen = ini.readInt(gbk(u8"文本设置"), gbk(u8"文本颜色")) == 0 ? kWhite : kBlack;
    // Where the chosen colour does not read on the background, the other one.
    const Colour text = readableOn(window_.windowBackground(), chosen);
    window_.setTextColour(Unit::编辑框1, text);
    // Over a top image the strip's texts keep the colour that reads there.
    if (!window_.visible(Unit::背景)) window_.setTextColour(Unit::章节名称提示, text);
}

void DiaryMode::saveSettings() {
    if (theme_.saveSettings) theme_.saveSettings();
}

void DiaryMode::markDiaryDay() {
    settings_.program().write(gbk(u8"日记"), gbk(u8"最后一次日记"), dateStamp(clock_.now()));
}

}  // namespace talery
