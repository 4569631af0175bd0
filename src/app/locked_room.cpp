#include "app/locked_room.h"

#include "app/chrome.h"
#include "app/theme.h"

#include <algorithm>

namespace talery {
namespace {

constexpr int kOfferedCharacters = 2000;

Text goalKey() { return gbk(u8"小黑屋目标"); }
Text unitKey() { return gbk(u8"小黑屋单位"); }
Text minutesWord() { return gbk(u8"分钟"); }

Text amountText(const WritingGoal& goal, std::int64_t amount) {
    return decimal(static_cast<long long>(amount)) + (goal.unit == GoalUnit::Minutes ? gbk(u8" 分钟") : gbk(u8" 字"));
}

}  // namespace

const Text& lockedRoomEscapePhrase() {
    static const Text phrase = gbk(u8"我要离开小黑屋");
    return phrase;
}

LockedRoom::LockedRoom(Window& window, const SettingsStore& settings, LockedRoomSources sources)
    : w_(window), settings_(settings), sources_(std::move(sources)) {}

void LockedRoom::command() {
    if (inside_) {
        w_.messageBox(gbk(u8"小黑屋：还差 ") + leftText() + gbk(u8"。\r\n要立即离开，在正文中输入：") +
                          lockedRoomEscapePhrase(),
                      programCaption(), Buttons::OK, Icon::Information);
        return;
    }
    if (!sources_.writing()) {
        w_.messageBox(gbk(u8"开始书写后再进入小黑屋吧。"), programCaption(), Buttons::OK);
        return;
    }
    const IniFile file = settings_.program();
    WritingGoal offered{file.read(softwareSection(), unitKey()) == minutesWord() ? GoalUnit::Minutes
                                                                                   : GoalUnit::Characters,
                        file.readInt(softwareSection(), goalKey())};
    if (offered.amount <= 0) offered = {GoalUnit::Characters, kOfferedCharacters};
    const ThemeColours colours = themeColoursOf(w_);
    const auto goal = w_.askWritingGoal(offered, {colours.background, colours.text});
    // Esc, or a session that ended while the dialog was open, enters nothing.
    if (!goal || goal->amount <= 0 || !sources_.writing()) return;
    file.writeInt(softwareSection(), goalKey(), goal->amount);
    file.write(softwareSection(), unitKey(), goal->unit == GoalUnit::Minutes ? minutesWord() : gbk(u8"字"));
    enter(*goal);
}

void LockedRoom::enter(const WritingGoal& goal) {
    inside_ = true;
    reachedSecondsLeft_ = 0;
    goal_ = goal;
    addedAtEntry_ = sources_.addedCharacters();
    secondsAtEntry_ = sources_.writingSeconds();
    caption_ = w_.text(Unit::标题栏);
    if (sources_.closePanel) sources_.closePanel();
    w_.setFullScreen(true);
    w_.setFocus(Unit::编辑框1);
    showProgress();
    sources_.note(gbk(u8"已进入小黑屋，目标：") + amountText(goal_, goal_.amount));
}

void LockedRoom::leave() {
    if (!inside_) return;
    inside_ = false;
    w_.setText(Unit::标题栏, caption_);
    w_.setFullScreen(false);
}

std::int64_t LockedRoom::left() const {
    if (!inside_) return 0;
    if (goal_.unit == GoalUnit::Characters)
        return std::max<std::int64_t>(goal_.amount - (sources_.addedCharacters() - addedAtEntry_), 0);
    const std::int64_t seconds = std::int64_t{goal_.amount} * 60 - (sources_.writingSeconds() - secondsAtEntry_);
    return std::max<std::int64_t>((seconds + 59) / 60, 0);  // a minute begun counts whole
}

Text LockedRoom::leftText() const { return amountText(goal_, left()); }

void LockedRoom::showProgress() {
    const Text line = gbk(u8"小黑屋　还差 ") + leftText() + gbk(u8"　｜　立即离开：在正文中输入“") +
                      lockedRoomEscapePhrase() + gbk(u8"”");
    if (w_.text(Unit::标题栏) != line) w_.setText(Unit::标题栏, line);
}

bool LockedRoom::mayLeave() {
    if (!inside_) return true;
    if (w_.messageBox(gbk(u8"还没有达成小黑屋的目标：还差 ") + leftText() + gbk(u8"。\r\n确定要离开小黑屋吗？"),
                      programCaption(), Buttons::YesNoStay, Icon::Question) != Answer::Yes)
        return false;
    if (w_.messageBox(gbk(u8"再确认一次：现在离开，这次的目标（还差 ") + leftText() +
                          gbk(u8"）就作废了。\r\n真的要离开小黑屋吗？"),
                      programCaption(), Buttons::YesNoStay, Icon::Warning) != Answer::Yes)
        return false;
    leave();
    return true;
}

bool LockedRoom::holdsBack(const UiEvent& e) {
    if (!inside_) return false;
    if ((e.type == EventType::Triggered && e.unit == Unit::设置) || (e.type == EventType::MouseDown && e.unit == Unit::状态条1)) {
        sources_.note(gbk(u8"小黑屋里不打开信息面板，还差 ") + leftText());
        return true;
    }
    if (e.type == EventType::DoubleClick) return e.unit == Unit::标题栏;
    if (e.type != EventType::MouseDown) return false;
    return e.unit == Unit::标题栏 || e.unit == Unit::最小化按钮1 || resizeSide(e.unit) != 0;
}

void LockedRoom::bodyChanged(const BodyChange& change) {
    if (!inside_) return;
    const Text& phrase = lockedRoomEscapePhrase();
    const std::size_t phraseChars = countBodyCharacters(phrase);
    const std::size_t end = change.position + change.added;
    // The window changes (and the phrase goes) after the body's own change
    // has gone through, never in the middle of it. Only typing or an input
    // method's commit says it: a paste's or a program edit's words are the
    // writer's text, not a wish to leave.
    if (!change.pasted && change.added > 0 && change.added <= phraseChars && end >= phraseChars && w_.bodyText(end - phraseChars, phraseChars) == phrase) {
        w_.post([this, at = end - phraseChars, phraseChars, &phrase] {
            if (!inside_) return;
            leave();
            if (w_.bodyText(at, phraseChars) == phrase && sources_.writing())
                w_.replaceBodyRange({w_.bodyText(0, at).size(), phrase.size()}, {});
            sources_.note(gbk(u8"已离开小黑屋"));
        });
        return;
    }
    if (left() > 0) {
        showProgress();
    } else if (!reachPosted_) {
        reachPosted_ = true;
        w_.post([this] {
            reachPosted_ = false;
            reachedIfDone();
        });
    }
}

void LockedRoom::tick() {
    // The title strip gives the line back to the caption, unless something else took it meanwhile.
    if (reachedSecondsLeft_ > 0 && --reachedSecondsLeft_ == 0 && w_.text(Unit::标题栏) == reachedLine_)
        w_.setText(Unit::标题栏, caption_);
    if (!inside_) return;
    // However the session ended, the room does not outlive it.
    if (!sources_.writing()) {
        leave();
        return;
    }
    reachedIfDone();
}

void LockedRoom::reachedIfDone() {
    if (!inside_) return;
    if (left() > 0) {
        showProgress();
        return;
    }
    const Text reached = gbk(goal_.unit == GoalUnit::Minutes ? u8"写满 " : u8"新增 ") + amountText(goal_, goal_.amount);
    leave();
    // Said in the status bar and the title strip, never in a box: the writer
    // is typing, and every key must go on into the body.
    reachedLine_ = gbk(u8"小黑屋的目标达成了：") + reached + gbk(u8"。窗口已恢复。");
    reachedSecondsLeft_ = kReachedSeconds;
    w_.setText(Unit::标题栏, reachedLine_);
    sources_.note(reachedLine_);
}

}  // namespace talery
