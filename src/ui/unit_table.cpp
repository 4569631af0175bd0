#include "ui/unit_table.h"

#include <stdexcept>

namespace talery {
namespace {

constexpr std::string_view kYaHei = "微软雅黑";
constexpr std::string_view kYaHeiLight = "微软雅黑 Light";
constexpr std::string_view kSimSun = "SimSun";

using K = UnitKind;
using U = Unit;

std::vector<UnitDesign> buildTable() {
    std::vector<UnitDesign> t;
    auto add = [&](UnitDesign s) { t.push_back(std::move(s)); };
    auto invisible = [&](Unit u, std::string_view name, UnitKind kind) {
        add({.unit = u, .name = name, .kind = kind, .flags = kInvisibleUnit});
    };

    // Directly on the window.
    add({U::背景, "背景", K::PictureBox, U::None, -1, {0, 0, 1120, 64}, {}, {}, {}, 0, kHidden});
    add({U::标题栏, "标题栏", K::TransparentLabel, U::None, -1, {9, 0, 1031, 32},
         "Talery6—你的原创写作助手 v6.1 2015 正式版", {}, kSimSun, 11});
    add({U::最小化按钮1, "最小化按钮1", K::TransparentLabel, U::None, -1, {1070, 3, 16, 24}, "_", {}, kSimSun, 12,
         kHandCursor});
    add({U::关闭按钮, "关闭按钮", K::TransparentLabel, U::None, -1, {1094, 6, 24, 24}, "×", {}, kSimSun, 12,
         kHandCursor});
    add({U::左上调节器, "左上调节器", K::TransparentLabel, U::None, -1, {0, 0, 8, 8}});
    add({U::上调节器, "上调节器", K::TransparentLabel, U::None, -1, {8, -8, 1112, 5}});
    add({U::右上调节器, "右上调节器", K::TransparentLabel, U::None, -1, {1111, 0, 8, 8}});
    add({U::右调节器, "右调节器", K::TransparentLabel, U::None, -1, {1112, 0, 8, 824}});
    add({U::右下调节器, "右下调节器", K::TransparentLabel, U::None, -1, {1110, 829, 8, 8}});
    add({U::下调节器, "下调节器", K::TransparentLabel, U::None, -1, {16, 832, 1104, 5}});
    add({U::左下调节器, "左下调节器", K::TransparentLabel, U::None, -1, {0, 829, 8, 8}});
    add({U::左侧调节器, "左侧调节器", K::TransparentLabel, U::None, -1, {0, 24, 5, 816}});
    add({U::章节名称提示, "章节名称提示", K::TransparentLabel, U::None, -1, {33, 32, 71, 32}, "标题/题目：", {},
         kSimSun, 9});
    add({U::章节名称, "章节名称", K::EditBox, U::None, -1, {104, 36, 864, 24}, {}, {}, kYaHeiLight, 11});
    add({U::开始书写按钮, "开始书写按钮", K::Button, U::None, -1, {971, 36, 88, 24}, "开始书写", {}, kSimSun, 9,
         kHandCursor, "点击这个按钮可以开始书写和停止书写。"});
    add({U::录音按钮, "录音按钮", K::PictureBox, U::None, -1, {1063, 36, 24, 24}});
    add({U::录音按钮1, "录音按钮1", K::PictureBox, U::None, -1, {4, 36, 24, 24}, {}, {}, {}, 0, kHandCursor});
    add({U::编辑框1, "编辑框1", K::EditBox, U::None, -1, {2, 64, 990, 743}, {}, {}, kYaHei, kBodyFontSize,
         kMultiLine | kVerticalScroll | kCentred | kDisabled});
    add({U::状态条1, "状态条1", K::StatusBar, U::None, -1, {0, 771, 1113, 24}, {},
         {"当前字数", "你已经连续书写", "Talery小提示，你的思路也许从这里开始", "Talery"}, kSimSun, 9});
    add({U::wav播放器, "wav播放器", K::GroupBox, U::None, -1, {648, 760, 470, 58}, "wav播放控制面板", {}, kSimSun, 9,
         kHidden});
    add({U::关于, "关于", K::GroupBox, U::None, -1, {280, 264, 592, 368}, {}, {}, kSimSun, 9, kHidden});
    add({U::励志名言警句, "励志名言警句", K::EditBox, U::None, -1, {16, 288, 104, 56}, {}, {}, {}, 0,
         kHidden | kMultiLine});
    add({U::中国地理历史, "中国地理历史", K::EditBox, U::None, -1, {16, 232, 104, 56}, {}, {}, {}, 0,
         kHidden | kMultiLine});
    add({.unit = U::时钟1, .name = "时钟1", .kind = K::Timer, .flags = kInvisibleUnit, .value = kTipInterval});
    add({.unit = U::时钟2, .name = "时钟2", .kind = K::Timer, .flags = kInvisibleUnit, .value = 1000});
    invisible(U::录音1, "录音1", K::Recorder);
    invisible(U::媒体播放1, "媒体播放1", K::MediaPlayer);
    invisible(U::拖放对象1, "拖放对象1", K::DropTarget);
    add({.unit = U::通用对话框1, .name = "通用对话框1", .kind = K::FileDialog,
         .items = {"——下拉选择文件种类——|*.txt *.tlr *.wav|", "文本文档（*.txt）|*.txt|", "Talery加密文档（*.tlr）|*.tlr|",
                   "音乐文件（*.wav）|*.wav|"},
         .flags = kInvisibleUnit});
    add({.unit = U::通用对话框2, .name = "通用对话框2", .kind = K::FileDialog,
         .items = {"文本文档（*.txt）|*.txt|", "Talery加密文档（*.tlr）|*.tlr|"}, .flags = kInvisibleUnit,
         .extra = "txt"});
    add({.unit = U::通用对话框3, .name = "通用对话框3", .kind = K::FileDialog, .items = {"Talery录音（*.wav）|*.wav|"},
         .flags = kInvisibleUnit, .extra = "mp3"});

    // The menu "开始".
    add({.unit = U::开始, .name = "开始", .kind = K::Menu, .text = "开始", .flags = kInvisibleUnit});
    add({.unit = U::打开文件, .name = "打开文件", .kind = K::MenuEntry, .parent = U::开始, .text = "打开文件"});
    add({.unit = U::新建临时文本, .name = "新建临时文本", .kind = K::MenuEntry, .parent = U::开始, .text = "新建临时文本"});
    add({.unit = U::新建日记, .name = "新建日记", .kind = K::MenuEntry, .parent = U::开始, .text = "新建日记"});
    add({.unit = U::清空正在编辑, .name = "清空正在编辑", .kind = K::MenuEntry, .parent = U::开始, .text = "清空正在编辑",
         .flags = kSeparatorBefore});
    add({.unit = U::设置, .name = "设置", .kind = K::MenuEntry, .parent = U::开始, .text = "设置", .flags = kSeparatorBefore});
    add({.unit = U::一键排版, .name = "一键排版", .kind = K::MenuEntry, .parent = U::开始, .text = "一键排版"});
    add({.unit = U::历史版本, .name = "历史版本", .kind = K::MenuEntry, .parent = U::开始, .text = "历史版本"});
    add({.unit = U::小黑屋, .name = "小黑屋", .kind = K::MenuEntry, .parent = U::开始, .text = "小黑屋"});
    add({.unit = U::退出, .name = "退出", .kind = K::MenuEntry, .parent = U::开始, .text = "退出"});

    // The WAV player strip.
    add({U::音乐相关1, "音乐相关1", K::Button, U::wav播放器, -1, {6, 22, 58, 24}, "打开", {}, kSimSun, 9});
    add({U::wav地址, "wav地址", K::TransparentLabel, U::wav播放器, -1, {66, 23, 222, 24}, "wav文件未打开", {}, kSimSun, 9});
    add({U::音乐相关2, "音乐相关2", K::Button, U::wav播放器, -1, {291, 24, 88, 24}, "播放/暂停", {}, kSimSun, 9});
    add({U::音乐相关3, "音乐相关3", K::Button, U::wav播放器, -1, {380, 24, 88, 24}, "停止播放", {}, kSimSun, 9});

    // The information panel.
    add({U::高级选择夹1, "高级选择夹1", K::TabControl, U::关于, -1, {4, 0, 584, 336}, {},
         {"功能设置", "字数统计", "应用中心", "许可协议", "获取积分", "随机取名"}, kSimSun, 9});
    add({U::透明标签1, "透明标签1", K::TransparentLabel, U::关于, -1, {559, 340, 24, 24}, "取消", {}, kSimSun, 9});
    add({U::联系作者按钮, "联系作者按钮", K::Button, U::关于, -1, {8, 340, 97, 24}, "联系作者", {}, kSimSun, 9});
    add({U::官方博客按钮, "官方博客按钮", K::Button, U::关于, -1, {112, 340, 97, 24}, "官方博客", {}, kSimSun, 9});
    add({U::保存设置, "保存设置", K::Button, U::关于, -1, {454, 340, 97, 24}, "确定", {}, kSimSun, 9});

    // Page 0: settings.
    const Unit tabs = U::高级选择夹1;
    const Unit group = U::软件设置分组框;
    add({group, "软件设置分组框", K::GroupBox, tabs, 0, {21, 88, 248, 232}, "软件设置", {}, kSimSun, 9});
    add({U::软件主题颜色标签1, "软件主题颜色标签1", K::TransparentLabel, group, -1, {10, 22, 96, 20}, "顶图：", {},
         kSimSun, 9});
    add({U::顶图类型, "顶图类型", K::ComboBox, group, -1, {108, 23, 133, 20}, {},
         {"经典纯色", "天隙流光（180积分）", "英雄联盟（限时免分）"}, kSimSun, 9});
    add({U::软件主题颜色标签, "软件主题颜色标签", K::TransparentLabel, group, -1, {10, 50, 96, 20}, "背景颜色：", {},
         kSimSun, 9});
    add({U::颜色, "颜色", K::ColourPicker, group, -1, {107, 53, 133, 24}});
    add({U::文本颜色标签, "文本颜色标签", K::TransparentLabel, group, -1, {10, 79, 96, 20}, "文本颜色：", {}, kSimSun, 9});
    add({U::文本颜色, "文本颜色", K::ComboBox, group, -1, {107, 81, 133, 20}, {}, {"白色", "黑色"}, kSimSun, 9});
    add({U::小提示内容标签, "小提示内容标签", K::TransparentLabel, group, -1, {9, 110, 96, 20}, "小提示内容：", {},
         kSimSun, 9});
    add({U::提示类型, "提示类型", K::ComboBox, group, -1, {107, 111, 133, 20}, {},
         {"中国地理历史", "励志名言警句", "共同打造"}, kSimSun, 9});
    add({U::小提示内容标签1, "小提示内容标签1", K::TransparentLabel, group, -1, {10, 140, 96, 20}, "按钮风格：", {},
         kSimSun, 9});
    add({U::按钮类型, "按钮类型", K::ComboBox, group, -1, {108, 141, 133, 20}, {},
         {"经典暗色系", "清爽夏日系", "纯·午夜黑（10积分）", "纯·空灵白（58积分）", "精简文字感（500积分）",
          "国庆欢庆系（88积分）", "秋景所感（限时免分）"},
         kSimSun, 9});
    add({U::状态栏选择, "状态栏选择", K::CheckBox, group, -1, {10, 199, 87, 24}, "隐藏状态栏", {}, kSimSun, 9});
    add({U::透明化选择, "透明化选择", K::CheckBox, group, -1, {104, 199, 80, 24}, "软件透明", {}, kSimSun, 9});
    add({U::自动保存, "自动保存", K::CheckBox, tabs, 0, {338, 91, 163, 24}, "自动备份保存", {}, kSimSun, 9, kChecked});
    add({U::大字体, "大字体", K::CheckBox, tabs, 0, {338, 124, 205, 24}, "大字体模式（快捷键：F2）", {}, kSimSun, 9});
    add({U::排版删除空行, "排版删除空行", K::CheckBox, tabs, 0, {338, 157, 205, 24}, "一键排版时删除空行", {}, kSimSun, 9});
    // How much room earlier versions may take.
    add({U::版本空间标签, "版本空间标签", K::TransparentLabel, tabs, 0, {338, 188, 100, 20}, "每篇历史版本：", {}, kSimSun, 9});
    add({U::版本空间, "版本空间", K::ComboBox, tabs, 0, {440, 189, 100, 20}, {},
         {"50 MB", "100 MB", "200 MB", "500 MB", "1 GB", "不限"}, kSimSun, 9});
    add({U::版本总空间标签, "版本总空间标签", K::TransparentLabel, tabs, 0, {338, 212, 100, 20}, "历史版本总共：", {}, kSimSun, 9});
    add({U::版本总空间, "版本总空间", K::ComboBox, tabs, 0, {440, 213, 100, 20}, {},
         {"500 MB", "1 GB", "2 GB", "5 GB", "10 GB", "不限"}, kSimSun, 9});
    add({U::放弃编辑, "放弃编辑", K::Button, tabs, 0, {336, 294, 133, 24}, "一键放弃编辑 F12", {}, kSimSun, 9, 0,
         "使用一键放弃文本可以清空当前编辑。"});
    add({U::超级链接框2, "超级链接框2", K::HyperlinkLabel, tabs, 0, {512, 93, 64, 20}, "保存到哪？", {}, kSimSun, 9});
    add({U::透明标签2, "透明标签2", K::TransparentLabel, tabs, 0, {336, 240, 96, 20}, "查找文本ctrl+F", {}, kSimSun, 9});
    add({U::透明标签3, "透明标签3", K::TransparentLabel, tabs, 0, {432, 240, 96, 20}, "替换文本ctrl+H", {}, kSimSun, 9});
    add({U::透明标签5, "透明标签5", K::TransparentLabel, tabs, 0, {336, 264, 96, 20}, "添加时间 F5", {}, kSimSun, 9});
    add({U::下次更新时间, "下次更新时间", K::TransparentLabel, tabs, 0, {16, 56, 507, 24}, "下次更新：敬请期待", {},
         kSimSun, 9});
    add({U::版本号标签提示, "版本号标签提示", K::TransparentLabel, tabs, 0, {16, 32, 53, 24}, "版本：", {}, kSimSun, 9});
    add({U::版本标签, "版本标签", K::TransparentLabel, tabs, 0, {69, 32, 507, 24}, {}, {}, kSimSun, 9});

    // Page 1: statistics.
    add({U::高级字数统计, "高级字数统计", K::EditBox, tabs, 1, {8, 37, 269, 275}, "开始书写之后会显示详细的字数统计", {},
         kYaHei, 10, kMultiLine | kVerticalScroll | kReadOnlyBox});
    add({U::图片框1, "图片框1", K::PictureBox, tabs, 1, {381, 56, 72, 72}});
    add({U::透明标签4, "透明标签4", K::TransparentLabel, tabs, 1, {280, 136, 292, 32}, "字数统计随着书写实时更新", {},
         kSimSun, 9, kCentred});
    add({U::数据参考标签, "数据参考标签", K::TransparentLabel, tabs, 1, {20, 309, 445, 24}, "数据仅供参考", {}, kSimSun, 9});
    add({U::书写速度, "书写速度", K::TransparentLabel, tabs, 1, {300, 180, 272, 100}, {}, {}, kSimSun, 9});

    // Page 2: application centre.
    const Unit web = U::网页功能分组框;
    add({web, "网页功能分组框", K::GroupBox, tabs, 2, {14, 96, 556, 232}, "网页功能", {}, kSimSun, 9});
    add({U::手写查字按钮, "手写查字按钮", K::Button, web, -1, {16, 32, 97, 24}, "手写查字", {}, kSimSun, 9});
    add({U::世界历史按钮, "世界历史按钮", K::Button, web, -1, {120, 32, 97, 24}, "世界历史", {}, kSimSun, 9});
    add({U::世界历史按钮1, "世界历史按钮1", K::Button, web, -1, {224, 32, 97, 24}, "小说素材", {}, kSimSun, 9});
    add({U::世界历史按钮2, "世界历史按钮2", K::Button, web, -1, {328, 32, 97, 24}, "小说素材2", {}, kSimSun, 9});
    add({U::透明标签14, "透明标签14", K::TransparentLabel, web, -1, {16, 200, 504, 24},
         "以上网址并没有任何广告赞助等，是作者认为这些工具可能很有用，推荐给大家\r\n应用中心正在建设，期待更新吧", {},
         kSimSun, 9});
    add({U::文件加密器按钮, "文件加密器按钮", K::Button, tabs, 2, {16, 48, 97, 24}, "打开文件加密器", {}, kSimSun, 9});
    add({U::加密器标签, "加密器标签", K::TransparentLabel, tabs, 2, {120, 48, 445, 24}, "保存为tlr文件即可加密，打开时输入密码",
         {}, kSimSun, 9});

    // Page 3: licence.
    add({U::编辑框2, "编辑框2", K::EditBox, tabs, 3, {0, 24, 584, 311}, {}, {}, kSimSun, 9,
         kMultiLine | kVerticalScroll | kReadOnlyBox});

    // Page 4: points.
    add({U::积分显示, "积分显示", K::TransparentLabel, tabs, 4, {8, 23, 280, 24}, "积分", {}, kSimSun, 9});
    add({U::称号显示, "称号显示", K::TransparentLabel, tabs, 4, {288, 26, 248, 24}, "称号", {}, kSimSun, 9});
    add({U::称号说明按钮, "称号说明按钮", K::Button, tabs, 4, {536, 27, 48, 24}, "说明", {}, kSimSun, 9});
    add({U::分组框1, "分组框1", K::GroupBox, tabs, 4, {1, 50, 592, 256}, "任务列表", {}, kSimSun, 9});
    add({U::超级列表框1, "超级列表框1", K::ListView, U::分组框1, -1, {1, 17, 585, 237}, {}, {}, kSimSun, 9});
    add({U::刷新任务按钮, "刷新任务按钮", K::Button, tabs, 4, {6, 308, 106, 24}, "刷新任务", {}, kSimSun, 9});
    add({U::加密器标签1, "加密器标签1", K::TransparentLabel, tabs, 4, {120, 308, 445, 24},
         "每天完成任务可以获得积分，星期六完成有更多积分", {}, kSimSun, 9});

    // Page 5: random names.
    const Unit names = U::高级选择夹2;
    add({names, "高级选择夹2", K::TabControl, tabs, 5, {4, 29, 576, 288}, {}, {"人物取名", "地点取名"}, kYaHei, 9});
    add({U::透明标签9, "透明标签9", K::TransparentLabel, names, 0, {44, 31, 488, 56},
         "小说人物快速取名，可能会出现一大波奇葩的名字，但我相信多随机几次一定会有你想要的\r\n"
         "无数个姓名库，只为充满想象力的你",
         {}, kSimSun, 9});
    add({U::透明标签10, "透明标签10", K::TransparentLabel, names, 0, {161, 88, 253, 24},
         "哇！一个超给力的名字！这个名字是：", {}, kSimSun, 9});
    add({U::编辑框4, "编辑框4", K::EditBox, names, 0, {176, 120, 224, 32}, "0积分开启本功能", {}, kYaHei, 14, kCentred});
    add({U::保存设置8, "保存设置8", K::Button, names, 0, {169, 176, 109, 24}, "太奇葩了，换一个", {}, kSimSun, 9});
    add({U::保存设置9, "保存设置9", K::Button, names, 0, {296, 176, 109, 24}, "就是TA了！", {}, kSimSun, 9});
    add({U::透明标签12, "透明标签12", K::TransparentLabel, names, 0, {143, 256, 289, 19},
         "如果需要特定的姓氏，可以取代生成的姓名中的姓。", {}, kSimSun, 9});
    add({U::透明标签15, "透明标签15", K::TransparentLabel, names, 1, {64, 32, 448, 16},
         "小说地点随机生成，这个名字怎么就起的这么奇葩呢？奇葩的名字给充满想象力的你", {}, kSimSun, 9});
    add({U::透明标签16, "透明标签16", K::TransparentLabel, names, 1, {187, 85, 201, 24},
         "哇！一个超给力的地名！这个地名是：", {}, kSimSun, 9});
    add({U::编辑框5, "编辑框5", K::EditBox, names, 1, {164, 126, 151, 32}, "0积分开启本功能", {}, kYaHei, 14, kCentred});
    add({U::组合框1, "组合框1", K::ComboBox, names, 1, {324, 133, 72, 20}, {},
         {"山", "海", "湖", "洞", "江", "河", "峰", "岭", "沟", "园", "口", "国", "省", "市",
          "区", "县", "乡", "村", "院", "小学", "中学", "大学", "学院", "次元", "界", "系", "星", "草原",
          "沙漠", "森林", "雨林", "书院", "道馆", "武馆", "苑", "饭店", "旅馆", "商场", "站", "哨卡", "基地", ""},
         kSimSun, 9});
    add({U::保存设置13, "保存设置13", K::Button, names, 1, {159, 173, 109, 24}, "太奇葩了，换一个", {}, kSimSun, 9});
    add({U::保存设置14, "保存设置14", K::Button, names, 1, {303, 173, 109, 24}, "就是TA了！", {}, kSimSun, 9});
    add({U::透明标签17, "透明标签17", K::TransparentLabel, names, 1, {31, 256, 549, 32},
         "为了照顾新人作者，Talery对于随机取名功能仅15积分开放，真是太棒了！~", {}, kSimSun, 9});

    // The table is indexed by unit: check it once.
    if (t.size() != kUnitCount - 1) throw std::logic_error("unit table incomplete");
    for (std::size_t i = 0; i < t.size(); ++i)
        if (index(t[i].unit) != i + 1) throw std::logic_error("unit table out of order");
    return t;
}

}  // namespace

const std::vector<UnitDesign>& unitTable() {
    static const std::vector<UnitDesign> table = buildTable();
    return table;
}

const UnitDesign& designOf(Unit unit) {
    if (unit == Unit::None || unit == Unit::Count) throw std::out_of_range("no such unit");
    return unitTable()[index(unit) - 1];
}

Unit unitByName(std::string_view utf8Name) {
    for (const UnitDesign& s : unitTable())
        if (s.name == utf8Name) return s.unit;
    return Unit::None;
}

std::string_view welcomeText() {
    static const std::string text = [] {
        const char* lines[] = {
            "", "", "————————————————", "将文件拖入本软件中可以快速打开", "                              ",
            "支持*.txt/*.tlr/*.wav文件", "————————————————", "", "", "", "临时文本：直接点击开始书写",
            "写小说：在标题中输入章节数及名称点击开始书写按钮", "播放录音：将wav文件拖入或点击打开按钮选择wav文件",
            "写日记：无需输入标题，直接点击写日记按钮", "记笔记：在标题中输入课时等信息点击开始书写按钮",
            "录音：点击录制声音按钮开始录音", "打开文本：拖拽文件放入软件内或者点击打开按钮", "", "", "", "",
            "Talery，你的原创写作助手"};
        std::string s;
        for (const char* line : lines) s += std::string(line) + "\r\n";
        return s;
    }();
    return text;
}

}  // namespace talery
