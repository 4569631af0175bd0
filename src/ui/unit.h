#pragma once
// Units of the main window, addressed by their form-design names.

#include <cstdint>
#include <string_view>

namespace talery {

// The unit names are not ASCII; Qt's meta-object compiler cannot read them
// and does not need them.
#ifndef Q_MOC_RUN
enum class Unit : std::uint16_t {
    None,
    // Directly on the window.
    背景, 标题栏, 最小化按钮1, 关闭按钮,
    左上调节器, 上调节器, 右上调节器, 右调节器, 右下调节器, 下调节器, 左下调节器, 左侧调节器,
    章节名称提示, 章节名称, 开始书写按钮, 录音按钮, 录音按钮1, 编辑框1, 状态条1, wav播放器, 关于,
    励志名言警句, 中国地理历史,
    时钟1, 时钟2, 录音1, 媒体播放1, 拖放对象1, 通用对话框1, 通用对话框2, 通用对话框3,
    // The menu and its entries.
    开始, 打开文件, 新建临时文本, 新建日记, 清空正在编辑, 设置, 一键排版, 历史版本, 小黑屋, 退出,
    // The WAV player strip.
    音乐相关1, wav地址, 音乐相关2, 音乐相关3,
    // The information panel.
    高级选择夹1, 透明标签1, 联系作者按钮, 官方博客按钮, 保存设置,
    // Page 0: settings.
    软件设置分组框, 软件主题颜色标签1, 顶图类型, 软件主题颜色标签, 颜色, 文本颜色标签, 文本颜色,
    小提示内容标签, 提示类型, 小提示内容标签1, 按钮类型, 状态栏选择, 透明化选择,
    自动保存, 大字体, 排版删除空行, 版本空间标签, 版本空间, 版本总空间标签, 版本总空间, 放弃编辑, 超级链接框2, 透明标签2, 透明标签3, 透明标签5, 下次更新时间, 版本号标签提示, 版本标签,
    // Page 1: statistics.
    高级字数统计, 图片框1, 透明标签4, 数据参考标签, 书写速度,
    // Page 2: application centre.
    网页功能分组框, 手写查字按钮, 世界历史按钮, 世界历史按钮1, 世界历史按钮2, 透明标签14, 文件加密器按钮, 加密器标签,
    // Page 3: licence.
    编辑框2,
    // Page 4: points.
    积分显示, 称号显示, 称号说明按钮, 分组框1, 超级列表框1, 刷新任务按钮, 加密器标签1,
    // Page 5: random names.
    高级选择夹2,
    透明标签9, 透明标签10, 编辑框4, 保存设置8, 保存设置9, 透明标签12,
    透明标签15, 透明标签16, 编辑框5, 组合框1, 保存设置13, 保存设置14, 透明标签17,
    Count
};

// Readable names for the units whose design names mislead a reader. The
// design names stay the units' own (their object names in the window).
namespace units {
inline constexpr Unit menuGlyph = Unit::录音按钮1;            // the menu glyph left of the title
inline constexpr Unit tipTimer = Unit::时钟1;                 // turns the tips
inline constexpr Unit secondTimer = Unit::时钟2;              // once a second: timer, notes, player
inline constexpr Unit playerOpen = Unit::音乐相关1;           // 打开
inline constexpr Unit playerPlayPause = Unit::音乐相关2;      // 播放/暂停
inline constexpr Unit playerStop = Unit::音乐相关3;           // 停止播放
inline constexpr Unit panelCancel = Unit::透明标签1;          // 取消
inline constexpr Unit openFind = Unit::透明标签2;             // 查找文本ctrl+F
inline constexpr Unit openReplace = Unit::透明标签3;          // 替换文本ctrl+H
inline constexpr Unit insertTime = Unit::透明标签5;           // 添加时间 F5
inline constexpr Unit novelMaterial = Unit::世界历史按钮1;    // 小说素材
inline constexpr Unit novelMaterial2 = Unit::世界历史按钮2;   // 小说素材2
inline constexpr Unit personName = Unit::编辑框4;             // the random person's name
inline constexpr Unit placeName = Unit::编辑框5;              // the random place's name
inline constexpr Unit newPersonName = Unit::保存设置8;        // 太奇葩了，换一个
inline constexpr Unit copyPersonName = Unit::保存设置9;       // 就是TA了！
inline constexpr Unit newPlaceName = Unit::保存设置13;        // 太奇葩了，换一个
inline constexpr Unit copyPlaceName = Unit::保存设置14;       // 就是TA了！
}  // namespace units
#else
enum class Unit : std::uint16_t;
#endif

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

constexpr std::size_t kUnitCount = static_cast<std::size_t>(Unit::Count);
constexpr std::size_t index(Unit u) { return static_cast<std::size_t>(u); }

enum class UnitKind : std::uint8_t {
    EditBox, PictureBox, GroupBox, CheckBox, ComboBox, ColourPicker, HyperlinkLabel, FileDialog, Timer,
    Menu, MenuEntry, TransparentLabel, ListView, StatusBar, Button, DropTarget, Recorder, MediaPlayer, TabControl,
};


}  // namespace talery
