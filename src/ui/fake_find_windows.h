#pragma once
// The Find and Replace windows in memory, for tests: built from their design
// and driven by the test as the user would drive them.

#include "ui/find_windows.h"

#include <array>
#include <functional>
#include <map>
#include <string_view>

namespace talery {

struct UiEvent;
enum class EventType;

class FakeFindWindows : public FindWindows {
public:
    explicit FakeFindWindows(std::function<void(const UiEvent&)> raise) : raise_(std::move(raise)) {}

    // --- The user's actions -------------------------------------------
    // Typing replaces the box's text when all of it is selected, else appends.
    void typeText(FindWindowKind window, FindUnit unit, std::u8string_view utf8);
    void click(FindWindowKind window, FindUnit unit);
    void pressKey(FindWindowKind window, FindUnit unit, int keyCode);
    void closeBox(FindWindowKind window);

    // --- Record -----------------------------------------------------------
    int creations(FindWindowKind window) const { return at(window).creations; }
    FindWindowLook look(FindWindowKind window) const { return at(window).look; }
    FindUnit focus(FindWindowKind window) const { return at(window).focus; }
    bool allSelected(FindWindowKind window, FindUnit unit) const;

    // --- FindWindows ------------------------------------------------------
    void open(FindWindowKind window, const FindWindowLook& look) override;
    void hide(FindWindowKind window) override { at(window).shown = false; }
    void destroy(FindWindowKind window) override;
    bool exists(FindWindowKind window) const override { return at(window).exists; }
    bool shown(FindWindowKind window) const override { return at(window).exists && at(window).shown; }
    Text text(FindWindowKind window, FindUnit unit) const override { return unitOf(window, unit).text; }
    void setText(FindWindowKind window, FindUnit unit, const Text& text) override;
    void selectAllText(FindWindowKind window, FindUnit unit) override;
    bool checked(FindWindowKind window, FindUnit unit) const override { return unitOf(window, unit).checked; }
    bool enabled(FindWindowKind window, FindUnit unit) const override { return unitOf(window, unit).enabled; }
    void setEnabled(FindWindowKind window, FindUnit unit, bool on) override { unitOf(window, unit).enabled = on; }

private:
    struct UnitState {
        Text text;
        bool enabled = true;
        bool checked = false;
        bool checkBox = false;
        bool radio = false;
        bool allSelected = false;
    };
    struct WindowState {
        bool exists = false;
        bool shown = false;
        int creations = 0;
        FindWindowLook look;
        FindUnit focus = FindUnit::Window;
        std::map<FindUnit, UnitState> units;
    };

    WindowState& at(FindWindowKind window);
    const WindowState& at(FindWindowKind window) const;
    UnitState& unitOf(FindWindowKind window, FindUnit unit);
    const UnitState& unitOf(FindWindowKind window, FindUnit unit) const;
    void raise(FindWindowKind window, FindUnit unit, EventType type, int keyCode = 0);

    std::function<void(const UiEvent&)> raise_;
    std::array<WindowState, 2> windows_{};
};

}  // namespace talery
