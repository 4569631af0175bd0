#pragma once
// The Find and Replace windows as designed: caption, size and units.

#include "ui/find_windows.h"
#include "ui/unit.h"

#include <string_view>
#include <vector>

namespace talery {

struct FindUnitDesign {
    FindUnit unit;
    std::string_view name;          // UTF-8 form-design name within the window
    UnitKind kind;
    FindUnit parent;                // FindUnit::Window, or the group box holding it
    Rect rect;                      // relative to the parent
    std::string_view text;          // UTF-8 design text
    bool radio = false;             // a radio button (kind CheckBox)
    bool checked = false;           // selected at design time
};

struct FindWindowDesign {
    std::string_view caption;  // UTF-8
    Rect rect;                 // design position and outer size
    std::vector<FindUnitDesign> units;
};

const FindWindowDesign& findWindowDesign(FindWindowKind window);

}  // namespace talery
