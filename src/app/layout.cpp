#include "app/layout.h"

#include "ui/unit_table.h"

namespace talery {
namespace {

// Differences are taken in floating point and truncated toward zero.
int truncated(double value) { return static_cast<int>(value); }

// Wider than the toolkit's scroll bar at the body's right edge.
constexpr int kBodyScrollBarRoom = 20;

void place(Window& w, Unit unit, std::optional<int> left, std::optional<int> top, std::optional<int> width,
           std::optional<int> height) {
    Rect r = w.geometry(unit);
    if (left) r.left = *left;
    if (top) r.top = *top;
    if (width) r.width = *width;
    if (height) r.height = *height;
    w.setGeometry(unit, r);
}

}  // namespace

void layoutMainWindow(Window& w, const IniFile& settings) {
    const Rect win = w.windowGeometry();
    const double W = win.width;
    const double H = win.height;
    const auto none = std::nullopt;

    place(w, Unit::编辑框1, 0, none, win.width, none);
    place(w, Unit::标题栏, none, none, truncated(W - 88), none);
    // The status bar docks to the bottom edge by itself, as the platform's does.
    const Rect bar = w.geometry(Unit::状态条1);
    place(w, Unit::状态条1, 0, win.height - bar.height, win.width, none);
    const Rect player = w.geometry(Unit::wav播放器);
    // The strip leaves the body's scroll bar free.
    place(w, Unit::wav播放器, truncated(W - player.width - kBodyScrollBarRoom), w.geometry(Unit::状态条1).top - player.height,
          none, none);
    w.setStatusPartWidth(2, truncated(W - 360));
    // The locked room's full screen is not the size the writer chose.
    if (!w.fullScreen()) {
        settings.writeInt(softwareSection(), gbk(u8"高度"), win.height);
        settings.writeInt(softwareSection(), gbk(u8"宽度"), win.width);
    }
    const Rect panel = w.geometry(Unit::关于);
    place(w, Unit::关于, truncated(W / 2 - panel.width / 2.0), truncated(H / 2 - panel.height / 2.0), none, none);
    place(w, Unit::背景, none, none, win.width, none);
    // The title row keeps its buttons at the right edge; the title field takes the rest.
    const Rect design = kMainWindowDesign;
    const auto fromRight = [&](Unit u) { return win.width - (design.width - designOf(u).rect.left); };
    place(w, Unit::章节名称, none, none, fromRight(Unit::开始书写按钮) - 3 - designOf(Unit::章节名称).rect.left, none);
    place(w, Unit::开始书写按钮, fromRight(Unit::开始书写按钮), none, none, none);
    place(w, Unit::录音按钮, fromRight(Unit::录音按钮), none, none, none);
    place(w, Unit::关闭按钮, truncated(W - 25), none, none, none);
    place(w, Unit::最小化按钮1, truncated(W - 49), none, none, none);
    place(w, Unit::上调节器, none, none, win.width, none);
    place(w, Unit::左侧调节器, none, none, none, win.height);
    place(w, Unit::左下调节器, none, truncated(H - 8), none, none);
    place(w, Unit::下调节器, none, truncated(H - 5), win.width, none);
    place(w, Unit::右下调节器, truncated(W - 8), truncated(H - 8), none, none);
    place(w, Unit::右上调节器, truncated(W - 8), none, none, none);
    place(w, Unit::右调节器, truncated(W - 5), none, none, win.height);
    const bool barHidden = settings.read(gbk(u8"软件设置"), gbk(u8"状态栏")) == gbk(u8"隐藏");
    place(w, Unit::编辑框1, none, none, none, truncated(H - (barHidden ? 65 : 85)));
}

}  // namespace talery
