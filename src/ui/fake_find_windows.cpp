#include "ui/fake_find_windows.h"

#include "ui/find_design.h"
#include "ui/window.h"

#include <stdexcept>

namespace talery {

FakeFindWindows::WindowState& FakeFindWindows::at(FindWindowKind window) {
    if (window == FindWindowKind::None) throw std::out_of_range("no such window");
    return windows_[window == FindWindowKind::Find ? 0 : 1];
}

const FakeFindWindows::WindowState& FakeFindWindows::at(FindWindowKind window) const {
    return const_cast<FakeFindWindows*>(this)->at(window);
}

FakeFindWindows::UnitState& FakeFindWindows::unitOf(FindWindowKind window, FindUnit unit) {
    WindowState& w = at(window);
    if (!w.exists) throw std::logic_error("the window does not exist");
    auto it = w.units.find(unit);
    if (it == w.units.end()) throw std::out_of_range("the window has no such unit");
    return it->second;
}

const FakeFindWindows::UnitState& FakeFindWindows::unitOf(FindWindowKind window, FindUnit unit) const {
    return const_cast<FakeFindWindows*>(this)->unitOf(window, unit);
}

void FakeFindWindows::open(FindWindowKind window, const FindWindowLook& look) {
    WindowState& w = at(window);
    if (!w.exists) {
        w.exists = true;
        ++w.creations;
        w.units.clear();
        for (const FindUnitDesign& design : findWindowDesign(window).units)
            w.units[design.unit] = {gbk(design.text), true, design.checked, design.kind == UnitKind::CheckBox, design.radio,
                                    false};
    }
    w.look = look;
    w.shown = true;
}

void FakeFindWindows::destroy(FindWindowKind window) {
    WindowState& w = at(window);
    w.exists = false;
    w.shown = false;
    w.units.clear();
}

void FakeFindWindows::setText(FindWindowKind window, FindUnit unit, const Text& text) {
    UnitState& u = unitOf(window, unit);
    u.text = text;
    u.allSelected = false;
}

void FakeFindWindows::selectAllText(FindWindowKind window, FindUnit unit) {
    unitOf(window, unit).allSelected = true;
    at(window).focus = unit;
}

bool FakeFindWindows::allSelected(FindWindowKind window, FindUnit unit) const { return unitOf(window, unit).allSelected; }

void FakeFindWindows::raise(FindWindowKind window, FindUnit unit, EventType type, int keyCode) {
    if (raise_)
        raise_({.type = type, .key = keyCode, .findWindow = window, .findUnit = unit});
}

void FakeFindWindows::typeText(FindWindowKind window, FindUnit unit, std::u8string_view utf8) {
    if (!shown(window)) throw std::logic_error("typing into a window that is not shown");
    UnitState& u = unitOf(window, unit);
    const Text typed = utf8ToGbkLossy(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    u.text = u.allSelected ? typed : u.text + typed;
    u.allSelected = false;
    at(window).focus = unit;
    raise(window, unit, EventType::TextChanged);
}

void FakeFindWindows::click(FindWindowKind window, FindUnit unit) {
    if (!shown(window)) throw std::logic_error("clicking into a window that is not shown");
    WindowState& w = at(window);
    UnitState& u = unitOf(window, unit);
    if (!u.enabled) return;
    if (u.radio) {
        for (auto& [other, state] : w.units)
            if (state.radio) state.checked = other == unit;
    } else if (u.checkBox) {
        u.checked = !u.checked;
    }
    raise(window, unit, EventType::Click);
}

void FakeFindWindows::pressKey(FindWindowKind window, FindUnit unit, int keyCode) {
    if (!shown(window)) throw std::logic_error("typing into a window that is not shown");
    raise(window, unit, EventType::KeyDown, keyCode);
}

void FakeFindWindows::closeBox(FindWindowKind window) {
    if (!shown(window)) throw std::logic_error("closing a window that is not shown");
    raise(window, FindUnit::Window, EventType::Closed);
}

}  // namespace talery
