#pragma once
// The Find and Replace windows as the logic sees them: two small non-modal
// windows beside the main window, their units addressed by their form-design
// names. Their events reach the logic as UiEvents naming the window and unit.

#include "core/colour.h"
#include "core/text.h"

#include <cstdint>

namespace talery {

enum class FindWindowKind : std::uint8_t { None, Find, Replace };

// The units of both windows; each window has a subset (see ui/find_design.h).
#ifndef Q_MOC_RUN
enum class FindUnit : std::uint8_t {
    Window,  // the window itself (its close box)
    标签1, 标签2, 编辑框1, 编辑框2, 按钮1, 按钮2, 按钮3, 按钮4, 选择框1, 分组框1, 单选框1, 单选框2,
};
#else
enum class FindUnit : std::uint8_t;
#endif

// The colours the windows take from the main window's theme.
struct FindWindowLook {
    Colour background = 0;
    Colour text = kWhite;
    friend bool operator==(const FindWindowLook&, const FindWindowLook&) = default;
};

class FindWindows {
public:
    virtual ~FindWindows() = default;

    // Creates the window from its design when it does not exist yet, applies
    // the look, shows it above the main window and activates it.
    virtual void open(FindWindowKind window, const FindWindowLook& look) = 0;
    virtual void hide(FindWindowKind window) = 0;       // keeps the window and its units
    virtual void destroy(FindWindowKind window) = 0;    // the next open creates it anew
    virtual bool exists(FindWindowKind window) const = 0;
    virtual bool shown(FindWindowKind window) const = 0;

    // Units of an existing window. Setting a text never raises TextChanged.
    virtual Text text(FindWindowKind window, FindUnit unit) const = 0;
    virtual void setText(FindWindowKind window, FindUnit unit, const Text& text) = 0;
    // Selects the whole text of an edit box and gives it the focus.
    virtual void selectAllText(FindWindowKind window, FindUnit unit) = 0;
    virtual bool checked(FindWindowKind window, FindUnit unit) const = 0;
    virtual bool enabled(FindWindowKind window, FindUnit unit) const = 0;
    virtual void setEnabled(FindWindowKind window, FindUnit unit, bool on) = 0;
};

}  // namespace talery
