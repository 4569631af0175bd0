#include "app/shell.h"

#include "aids/chapter_layout.h"
#include "app/tips.h"
#include "core/cipher.h"
#include "tasks/points.h"
#include "ui/unit_table.h"

#include <algorithm>

namespace talery {
namespace {

// A stored list selection; one outside the list's items counts as the first item.
int storedSelection(const Window& w, Unit list, const IniFile& file, std::string_view section, std::string_view key) {
    const int stored = file.readInt(section, key);
    return stored >= 0 && stored < w.itemCount(list) ? stored : 0;
}

Text leftKey() { return gbk(u8"左边"); }
Text topKey() { return gbk(u8"顶边"); }

// Edges in 64 bits: a stored size or position may be anything an int holds.
long long right(const Rect& r) { return static_cast<long long>(r.left) + r.width; }
long long bottom(const Rect& r) { return static_cast<long long>(r.top) + r.height; }

long long overlap(const Rect& a, const Rect& b) {
    const long long w = std::min(right(a), right(b)) - std::max(a.left, b.left);
    const long long h = std::min(bottom(a), bottom(b)) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

std::size_t screenOf(const Rect& frame, const std::vector<Rect>& screenAreas) {
    std::size_t best = 0;
    long long covered = 0;
    for (std::size_t i = 0; i < screenAreas.size(); ++i)
        if (const long long o = overlap(frame, screenAreas[i]); o > covered) {
            best = i;
            covered = o;
        }
    return best;
}

Rect fitWindowRect(const Rect& wanted, const std::vector<Rect>& screenAreas) {
    if (screenAreas.empty()) return wanted;
    const Rect& area = screenAreas[screenOf(wanted, screenAreas)];
    if (area.width <= 0 || area.height <= 0) return wanted;
    Rect r = wanted;
    r.width = std::min(r.width, area.width);
    r.height = std::min(r.height, area.height);
    const bool inside = r.left >= area.left && r.top >= area.top && right(r) <= right(area) && bottom(r) <= bottom(area);
    if (!inside) {
        r.left = area.left + (area.width - r.width) / 2;
        r.top = area.top + (area.height - r.height) / 2;
    }
    return r;
}

int restoredExtent(int stored, int design, int minimum, int screenExtent) {
    int value = stored >= minimum && (screenExtent <= 0 || stored <= screenExtent) ? stored : design;
    if (screenExtent > 0 && value > screenExtent) value = screenExtent;
    return value;
}

Shell::Shell(Window& window, const Clock& clock, const SettingsStore& settings, SessionController& session,
             DiaryMode& diary, Theme& theme, std::int32_t& points)
    : w_(window), clock_(clock), settings_(settings), session_(session), diary_(diary), theme_(theme), points_(points) {}

void Shell::restoreWindowSize() {
    // Both values are read before either is set: every size change records
    // the size, and would otherwise overwrite the width still to be read.
    const IniFile file = settings_.program();
    placeWindow(file.readInt(softwareSection(), gbk(u8"宽度")), file.readInt(softwareSection(), gbk(u8"高度")), file);
}

void Shell::placeWindow(int storedWidth, int storedHeight, const IniFile& file) {
    // Sizes and positions are the toolkit's logical pixels, so a size stored
    // at one scale means the same on the screen at another.
    Rect wanted{kMainWindowDesign.left, kMainWindowDesign.top,
                restoredExtent(storedWidth, kMainWindowDesign.width, kMinimumWindowWidth, 0),
                restoredExtent(storedHeight, kMainWindowDesign.height, kMinimumWindowHeight, 0)};
    if (const Text left = file.read(softwareSection(), leftKey()), top = file.read(softwareSection(), topKey());
        !left.empty() && !top.empty()) {
        wanted.left = parseInteger(left);
        wanted.top = parseInteger(top);
    }
    const std::vector<Rect> screens = w_.screenAreas();
    if (!screens.empty()) {
        // A size its screen cannot show gives the design size, shrunk to the screen if need be.
        const Rect& area = screens[screenOf(wanted, screens)];
        wanted.width = restoredExtent(wanted.width, kMainWindowDesign.width, kMinimumWindowWidth, area.width);
        wanted.height = restoredExtent(wanted.height, kMainWindowDesign.height, kMinimumWindowHeight, area.height);
    }
    const Rect to = fitWindowRect(wanted, screens);
    w_.setWindowSize(w_.windowGeometry().width, to.height);
    w_.setWindowSize(to.width, to.height);
    w_.setWindowPosition(to.left, to.top);
}

void Shell::restorePanel() {
    const IniFile file = settings_.program();
    w_.setBackgroundColour(Unit::颜色, file.readColour(textSection(), gbk(u8"背景颜色")));

    const bool barHidden = file.read(softwareSection(), gbk(u8"状态栏")) == gbk(u8"隐藏");
    w_.setVisible(Unit::状态条1, !barHidden);
    w_.setChecked(Unit::状态栏选择, barHidden);

    const bool transparent = file.readBool(softwareSection(), gbk(u8"透明化"));
    theme_.setWindowAlpha(transparent ? kAlphaTransparent : kAlphaOpaque);
    w_.setChecked(Unit::透明化选择, transparent);

    w_.setChecked(Unit::自动保存, file.readBool(softwareSection(), gbk(u8"自动保存")));
    w_.setChecked(Unit::排版删除空行, file.readBool(softwareSection(), layoutDropsEmptyLinesKey()));
    theme_.applyBackgroundColour();
    w_.setText(Unit::版本标签, w_.text(Unit::标题栏));

    w_.setSelection(Unit::提示类型, storedSelection(w_, Unit::提示类型, file, softwareSection(), gbk(u8"小提示类型")));
    w_.setSelection(Unit::按钮类型, storedSelection(w_, Unit::按钮类型, file, softwareSection(), gbk(u8"按钮类型")));
    w_.setSelection(Unit::顶图类型, storedSelection(w_, Unit::顶图类型, file, softwareSection(), gbk(u8"顶图类型")));
    w_.setSelection(Unit::文本颜色, storedSelection(w_, Unit::文本颜色, file, textSection(), gbk(u8"文本颜色")));
}

void Shell::startUp() {
    session_.record().keyPrefix = Text(keyPrefix);
    session_.record().openedFromFile = false;

    const IniFile file = settings_.program();
    if (!file.exists()) {
        // First run: the design-time state becomes the settings file.
        file.write(textSection(), gbk(u8"文本颜色"), gbk(u8"白色"));
        // The design size, within what the screen can show.
        placeWindow(kMainWindowDesign.width, kMainWindowDesign.height, file);
        theme_.saveSettings();
    } else {
        restoreWindowSize();
    }
    // A normal exit left the file read-only; it is written while the program runs.
    setReadOnly(file.path(), false);

    points_ = loadPoints(file);
    w_.setText(Unit::积分显示, pointsLabel(points_));

    restorePanel();
    theme_.saveSettings();
    file.write(softwareSection(), gbk(u8"最后一次登录"), dateStamp(clock_.now()));
    // Where the desktop has no notification area the program runs without the icon.
    if (w_.trayAvailable()) w_.showTrayIcon(gbk(kTrayTip));
}

bool Shell::shutDown() {
    // A running session whose text is not on disk as it stands goes through
    // the save flow first; if that is cancelled or fails, the window stays
    // open with the session, diary mode included, as it was.
    if (session_.writing() && !session_.bodyMatchesFile() &&
        session_.saveDocument() != SaveOutcome::Saved)
        return false;
    session_.endWithTextSaved();
    // A diary that needed no save still ends here, and counts for the day.
    diary_.leaveDiaryMode();
    // Where the window was, for the next start (the full screen and a maximised
    // window are not a place the writer chose).
    if (!w_.fullScreen() && w_.windowState() == WindowState::Normal) {
        const IniFile file = settings_.program();
        const Rect frame = w_.windowGeometry();
        file.writeInt(softwareSection(), leftKey(), frame.left);
        file.writeInt(softwareSection(), topKey(), frame.top);
    }
    setReadOnly(settings_.program().path(), true);
    w_.removeTrayIcon();
    return true;
}

void Shell::trayEvent(int type) {
    if (type == 1) {
        w_.setWindowVisible(true);
        w_.setWindowState(WindowState::Normal);
        // Raised above every window once, without staying on top.
        w_.setAlwaysOnTop(true);
        w_.setAlwaysOnTop(false);
    } else if (type == 3) {
        w_.popupMenu(Unit::开始);
    }
}

}  // namespace talery
