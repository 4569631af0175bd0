#pragma once
// The password dialog for encrypted documents, as data: its caption and units.

#include "ui/unit.h"

#include <string_view>
#include <vector>

namespace talery {

struct DialogUnitDesign {
    std::string_view name;  // form-design name within the dialog
    UnitKind kind;
    Rect rect;
    std::string_view text;  // UTF-8, CR LF between lines
};

constexpr std::string_view kPasswordDialogCaption = "tlr密码输入";
constexpr Rect kPasswordDialogSize{0, 0, 432, 196};
constexpr std::string_view kPasswordEdit = "编辑框1";
constexpr std::string_view kPasswordConfirm = "信息2";

const std::vector<DialogUnitDesign>& passwordDialogUnits();

}  // namespace talery
