#include "ui/password_dialog.h"

namespace talery {

const std::vector<DialogUnitDesign>& passwordDialogUnits() {
    static const std::vector<DialogUnitDesign> units = {
        {"透明标签3", UnitKind::TransparentLabel, {16, 12, 400, 40},
         "tlr不支持找回密码，设置密码请谨慎。推荐不设置密码\r\n使用tlr文件之前请保证阅读了tlr文件的许可协议"},
        {"透明标签2", UnitKind::TransparentLabel, {16, 64, 400, 20}, "请输入Tlr文件密码"},
        {"编辑框1", UnitKind::EditBox, {16, 88, 300, 24}, ""},
        {"信息2", UnitKind::Button, {328, 88, 88, 24}, "确认"},
        {"透明标签1", UnitKind::TransparentLabel, {16, 124, 400, 40},
         "请输入文件密码，适用于打开和保存文件。\r\n打开文件时密码错误会产生乱码"},
    };
    return units;
}

}  // namespace talery
