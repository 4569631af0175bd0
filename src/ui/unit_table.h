#pragma once
// The main window as designed: every unit with its kind, parent, design
// rectangle, design text, list items and font. Written once; the window
// implementations build themselves from it.

#include "core/colour.h"
#include "ui/unit.h"

#include <string_view>
#include <vector>

namespace talery {

enum UnitFlag : unsigned {
    kHidden = 1u << 0,          // not visible at start
    kMultiLine = 1u << 1,       // edit box with several lines
    kVerticalScroll = 1u << 2,  // edit box with a vertical scroll bar
    kCentred = 1u << 3,         // text centred
    kReadOnlyBox = 1u << 4,       // edit box the user cannot type into
    kDisabled = 1u << 5,        // not enabled at start
    kSeparatorBefore = 1u << 6, // menu entry preceded by a separator
    kChecked = 1u << 7,         // check box checked at start
    kHandCursor = 1u << 8,      // shows the hand pointer
    kInvisibleUnit = 1u << 9,   // a component without a window (timer, dialog, ...)
};

struct UnitDesign {
    Unit unit;
    std::string_view name;       // UTF-8 form-design name
    UnitKind kind;
    Unit parent = Unit::None;
    int page = -1;               // page of the parent tab control, -1 otherwise
    Rect rect{};
    std::string_view text{};     // UTF-8 design text (caption, label, edit content)
    std::vector<std::string_view> items{};  // list items, tab pages, status parts, dialog filters
    std::string_view font{};     // font family named in the design
    int fontSize = 0;            // points; 0 for the default
    unsigned flags = 0;
    std::string_view tooltip{};
    int value = 0;               // timer interval in ms
    std::string_view extra{};    // file dialogs: default extension
};

const std::vector<UnitDesign>& unitTable();
const UnitDesign& designOf(Unit unit);
Unit unitByName(std::string_view utf8Name);  // Unit::None when unknown

// The main window itself.
constexpr Rect kMainWindowDesign{50, 50, 1119, 838};
constexpr std::string_view kMainWindowCaption = "Talery5—你的原创写作助手 v5.6 2015-十月版";
constexpr std::string_view kTrayTip = "Talery—你的原创写作助手";
// The body's font size in points: as designed, and with 大字体 ticked.
constexpr int kBodyFontSize = 16;
constexpr int kLargeBodyFontSize = 25;
// 时钟1: ms between two tips in the status bar.
constexpr int kTipInterval = 7500;

// The design-time look: a black window with white text, the title field and
// the start button in the classic style.
constexpr Colour kDesignBackground = 0x000000;
constexpr Colour kDesignText = 0xFFFFFF;
constexpr Colour kDesignTitleFieldBackground = 0xECECEC;
constexpr Colour kDesignTitleFieldText = 0x000000;

// The body's text at start (UTF-8, CR LF line breaks).
std::string_view welcomeText();

}  // namespace talery
