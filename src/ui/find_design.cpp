#include "ui/find_design.h"

#include <stdexcept>

namespace talery {

const FindWindowDesign& findWindowDesign(FindWindowKind window) {
    using U = FindUnit;
    using K = UnitKind;
    static const FindWindowDesign find{
        "查找",
        {50, 50, 346, 126},
        {
            {U::标签1, "标签1", K::TransparentLabel, U::Window, {8, 16, 72, 16}, "查找内容(&N):"},
            {U::编辑框1, "编辑框1", K::EditBox, U::Window, {86, 14, 162, 20}, ""},
            {U::按钮1, "按钮1", K::Button, U::Window, {262, 13, 74, 24}, "查找下一个"},
            {U::按钮2, "按钮2", K::Button, U::Window, {262, 50, 74, 24}, "取消"},
            {U::选择框1, "选择框1", K::CheckBox, U::Window, {8, 63, 98, 24}, "区分大小写(&C)"},
            {U::分组框1, "分组框1", K::GroupBox, U::Window, {107, 46, 133, 42}, "方向"},
            {U::单选框1, "单选框1", K::CheckBox, U::分组框1, {4, 18, 64, 20}, "向上(&U)", true},
            {U::单选框2, "单选框2", K::CheckBox, U::分组框1, {69, 18, 62, 20}, "向下(&D)", true, true},
        }};
    static const FindWindowDesign replace{
        "替换",
        {50, 50, 387, 176},
        {
            {U::标签1, "标签1", K::TransparentLabel, U::Window, {12, 7, 79, 24}, "查找内容(&N):"},
            {U::编辑框1, "编辑框1", K::EditBox, U::Window, {95, 8, 169, 20}, ""},
            {U::标签2, "标签2", K::TransparentLabel, U::Window, {12, 32, 80, 24}, "替换为(&P):"},
            {U::编辑框2, "编辑框2", K::EditBox, U::Window, {95, 35, 169, 20}, ""},
            {U::选择框1, "选择框1", K::CheckBox, U::Window, {12, 90, 112, 24}, "区分大小写(&C)"},
            {U::按钮1, "按钮1", K::Button, U::Window, {281, 10, 87, 22}, "查找下一个(&F)"},
            {U::按钮2, "按钮2", K::Button, U::Window, {281, 40, 87, 22}, "替换(&R)"},
            {U::按钮3, "按钮3", K::Button, U::Window, {281, 70, 87, 22}, "全部替换(&A)"},
            {U::按钮4, "按钮4", K::Button, U::Window, {281, 100, 87, 22}, "取消"},
        }};
    switch (window) {
        case FindWindowKind::Find: return find;
        case FindWindowKind::Replace: return replace;
        case FindWindowKind::None: break;
    }
    throw std::out_of_range("no such window");
}

}  // namespace talery
