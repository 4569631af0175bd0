#include "app/theme.h"

#include "app/layout.h"
#include "ui/unit_table.h"

namespace talery {
namespace {

ButtonStyle uniform(Colour titleBackground, Colour titleText, ColourPair pair) {
    return {titleBackground, titleText, {pair, pair, pair}};
}

// A style's texts where they read on their faces (white on pink does not).
ButtonStyle readable(ButtonStyle style) {
    style.titleText = readableOn(style.titleBackground, style.titleText);
    for (ColourPair& pair : style.pairs) pair.text = readableOn(pair.face, pair.text);
    return style;
}

}  // namespace

std::optional<ButtonStyle> buttonStyle(int selection, Colour bodyText, Colour bodyBackground) {
    const auto style = designedButtonStyle(selection, bodyText, bodyBackground);
    if (!style) return std::nullopt;
    return readable(*style);
}

std::optional<ButtonStyle> designedButtonStyle(int selection, Colour bodyText, Colour bodyBackground) {
    switch (selection) {
        case 0: return ButtonStyle{0xECECEC, 0, {{{kWhite, 0xC06000}, {kWhite, 0xFF8800}, {kWhite, 0xC06000}}}};
        case 1: return ButtonStyle{0xFFFF00, 0, {{{kWhite, 0xFFA8FF}, {kWhite, 0xC080FF}, {kWhite, 0xFFA8FF}}}};
        case 2: return uniform(0, kWhite, {kWhite, 0});
        case 3: return uniform(kWhite, 0, {0, kWhite});
        case 4: return uniform(bodyBackground, bodyText, {bodyText, bodyBackground});
        case 5: return uniform(0x0000FF, kWhite, {kWhite, 0x0080FF});
        case 6: return uniform(kWhite, 0, {kWhite, 0x0060C0});
        default: return std::nullopt;
    }
}

std::optional<ItemPrice> buttonStylePrice(int selection) {
    switch (selection) {
        case 1: return ItemPrice{0, 0xFFFF00};
        case 2: return ItemPrice{10, std::nullopt};
        case 3: return ItemPrice{58, std::nullopt};
        case 4: return ItemPrice{500, std::nullopt};
        case 5: return ItemPrice{88, 0x0000FF};
        case 6: return ItemPrice{0, 0x00D8D8};
        default: return std::nullopt;
    }
}

std::optional<ItemPrice> topImagePrice(int selection) {
    switch (selection) {
        case 1: return ItemPrice{180, kBlack};
        case 2: return ItemPrice{0, kBlack};
        default: return std::nullopt;
    }
}

Theme::Theme(Window& window, const SettingsStore& settings, std::function<std::int32_t()> points,
             std::function<void()> showTip, PhaseSource phase)
    : w_(window), settings_(settings), points_(std::move(points)), showTip_(std::move(showTip)), phase_(std::move(phase)) {}

void Theme::message(const Text& text) { w_.messageBox(text, programCaption(), Buttons::OK); }

void Theme::applyBackgroundColour() {
    const Colour colour = w_.backgroundColour(Unit::颜色);
    w_.setWindowBackground(colour);
    w_.setBackgroundColour(Unit::编辑框1, colour);
    fitTextColours();
    applyButtonStyle();
}

Colour topStripBackground(const Window& window) {
    if (!window.visible(Unit::背景)) return window.windowBackground();
    return window.selection(Unit::顶图类型) == 2 ? kTopImage2Lightest : kTopImage1Lightest;
}

void Theme::fitTextColours() {
    const int selection = w_.selection(Unit::文本颜色);
    if (selection != 0 && selection != 1) return;
    // Diary mode has colours of its own.
    if (phase_() == Phase::Diary) return;
    const Colour chosen = selection == 0 ? kWhite : kBlack;
    w_.setTextColour(Unit::编辑框1, readableOn(w_.backgroundColour(Unit::编辑框1), chosen));
    const Colour strip = readableOn(topStripBackground(w_), chosen);
    for (Unit u : {Unit::章节名称提示, Unit::最小化按钮1, Unit::关闭按钮, Unit::标题栏}) w_.setTextColour(u, strip);
}

void Theme::applyButtonStyle() {
    const auto style = buttonStyle(w_.selection(Unit::按钮类型), w_.textColour(Unit::编辑框1),
                                   w_.backgroundColour(Unit::编辑框1));
    if (!style) return;
    w_.setBackgroundColour(Unit::章节名称, style->titleBackground);
    w_.setTextColour(Unit::章节名称, style->titleText);
    w_.setButtonColours(Unit::开始书写按钮, style->pairs[0], style->pairs[1], style->pairs[2]);
    if (w_.selection(Unit::按钮类型) == 5) settings_.program().write(softwareSection(), gbk(u8"新手4"), gbk(u8"真"));
}

void Theme::applyTopImage() {
    switch (w_.selection(Unit::顶图类型)) {
        case 0: w_.setVisible(Unit::背景, false); break;
        case 1:
            w_.setPicture(Unit::背景, Picture::TopImage1);
            w_.setVisible(Unit::背景, true);
            break;
        case 2:
            w_.setPicture(Unit::背景, Picture::TopImage2);
            w_.setVisible(Unit::背景, true);
            break;
        default: break;
    }
}

void Theme::applyTextColour() {
    const int selection = w_.selection(Unit::文本颜色);
    if (selection != 0 && selection != 1) return;
    if (points_() < 0) {
        pointsRefusal(Unit::文本颜色, 0);
        return;
    }
    fitTextColours();
}

void Theme::setWindowAlpha(int alpha) { w_.setWindowAlpha(alpha); }

void Theme::saveSettings() {
    showTip_();
    applyTopImage();
    applyTextColour();
    w_.setVisible(Unit::关于, false);
    const IniFile file = settings_.program();
    file.writeInt(textSection(), gbk(u8"背景颜色"), w_.backgroundColour(Unit::颜色));
    file.writeBool(softwareSection(), gbk(u8"自动保存"), w_.checked(Unit::自动保存));
    file.writeBool(textSection(), gbk(u8"大字体模式"), w_.checked(Unit::大字体));
    file.writeInt(softwareSection(), gbk(u8"按钮类型"), w_.selection(Unit::按钮类型));
    file.writeInt(softwareSection(), gbk(u8"小提示类型"), w_.selection(Unit::提示类型));
    file.writeInt(softwareSection(), gbk(u8"顶图类型"), w_.selection(Unit::顶图类型));
    file.writeInt(textSection(), gbk(u8"文本颜色"), w_.selection(Unit::文本颜色));
    applyButtonStyle();
    w_.setVisible(Unit::标题栏, true);
    w_.setVisible(Unit::章节名称提示, true);
}

ThemeColours Theme::colours() const { return themeColoursOf(w_); }

ThemeColours themeColoursOf(const Window& window) {
    // The title strip's colour may be chosen for a top image: windows of the
    // program have the plain background.
    const Colour background = window.windowBackground();
    return {background, readableOn(background, window.textColour(Unit::标题栏))};
}

bool Theme::pointsRefusal(Unit list, int price) {
    if (points_() >= price) return false;
    message(gbk(u8"失败！本功能需要") + decimal(price) + gbk(u8"积分"));
    w_.setSelection(list, 0);
    return true;
}

bool Theme::askRecommendedBackground() {
    return w_.messageBox(gbk(u8"是否使用推荐背景颜色？"), programCaption(), Buttons::YesNo) == Answer::Yes;
}

void Theme::buttonStyleChosen(int selection) {
    const auto price = buttonStylePrice(selection);
    if (!price || pointsRefusal(Unit::按钮类型, price->points)) return;
    if (price->recommended && askRecommendedBackground()) {
        w_.setBackgroundColour(Unit::颜色, *price->recommended);
        applyBackgroundColour();
    }
}

void Theme::topImageChosen(int selection) {
    const auto price = topImagePrice(selection);
    if (!price || pointsRefusal(Unit::顶图类型, price->points)) return;
    if (askRecommendedBackground()) {
        w_.setBackgroundColour(Unit::颜色, *price->recommended);
        // White text on the black background, shown at once so that the
        // body is never black on black until the panel is confirmed.
        w_.setSelection(Unit::文本颜色, 0);
        applyTextColour();
        applyBackgroundColour();
    }
}

void Theme::statusBarToggled() {
    const bool hide = w_.checked(Unit::状态栏选择);
    w_.setVisible(Unit::状态条1, !hide);
    settings_.program().write(softwareSection(), gbk(u8"状态栏"), hide ? gbk(u8"隐藏") : gbk(u8"显示"));
    layoutMainWindow(w_, settings_.program());
}

void Theme::transparencyToggled() {
    const IniFile file = settings_.program();
    if (w_.checked(Unit::透明化选择)) {
        setWindowAlpha(kAlphaTransparent);
        file.write(softwareSection(), gbk(u8"新手3"), gbk(u8"真"));
        file.write(softwareSection(), gbk(u8"透明化"), gbk(u8"真"));
    } else {
        setWindowAlpha(kAlphaOpaque);
        file.write(softwareSection(), gbk(u8"透明化"), gbk(u8"假"));
    }
    layoutMainWindow(w_, settings_.program());
}

void Theme::largeFontToggled() {
    if (w_.checked(Unit::大字体)) {
        w_.setFontSize(Unit::编辑框1, kLargeBodyFontSize);
        settings_.program().write(softwareSection(), gbk(u8"新手2"), gbk(u8"真"));
        message(gbk(u8"已经切换到大字体模式。"));
    } else {
        w_.setFontSize(Unit::编辑框1, kBodyFontSize);
        message(gbk(u8"关闭成功"));
    }
}

void Theme::autoSaveToggled() {
    message(w_.checked(Unit::自动保存) ? gbk(u8"使用自动备份保存后文本会逐字自动保存到软件所在目录。") : gbk(u8"关闭成功"));
}

}  // namespace talery
