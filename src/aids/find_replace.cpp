#include "aids/find_replace.h"

namespace talery {
namespace {

constexpr FindWindowKind kFind = FindWindowKind::Find;
constexpr FindWindowKind kReplace = FindWindowKind::Replace;

}  // namespace

const Text& FindReplace::body() {
    if (!bodyKnown_) {
        body_ = w_.text(Unit::编辑框1);
        bodyKnown_ = true;
    }
    return body_;
}

void FindReplace::bodyChanged() {
    if (!editing_) bodyKnown_ = false;
}

void FindReplace::open(FindWindowKind window) {
    FindWindows& f = w_.findWindows();
    const bool refill = !f.exists(window) || !f.shown(window);
    f.open(window, {w_.windowBackground(), w_.textColour(Unit::标题栏)});
    if (refill) f.setText(window, FindUnit::编辑框1, state_.lastSearchText);
    f.selectAllText(window, FindUnit::编辑框1);
    updateButtons(window);
}

void FindReplace::handle(const UiEvent& e) {
    const FindWindowKind window = e.findWindow;
    if (!w_.findWindows().exists(window)) return;
    const FindUnit u = e.findUnit;
    switch (e.type) {
        case EventType::TextChanged:
            if (u == FindUnit::编辑框1) updateButtons(window);
            break;
        case EventType::KeyDown:
            if (u == FindUnit::编辑框1 && e.key == key::Enter) findNext(window);
            break;
        case EventType::Click:
            if (u == FindUnit::按钮1) findNext(window);
            else if (window == kFind && u == FindUnit::按钮2) cancelFind();
            else if (window == kReplace && u == FindUnit::按钮2) replace();
            else if (window == kReplace && u == FindUnit::按钮3) replaceAll();
            else if (window == kReplace && u == FindUnit::按钮4) w_.findWindows().destroy(kReplace);
            break;
        case EventType::Closed:
            if (window == kFind) cancelFind();
            else w_.findWindows().destroy(kReplace);
            break;
        default: break;
    }
}

void FindReplace::updateButtons(FindWindowKind window) {
    FindWindows& f = w_.findWindows();
    const bool any = !f.text(window, FindUnit::编辑框1).empty();
    f.setEnabled(window, FindUnit::按钮1, any);
    if (window == kReplace) {
        f.setEnabled(window, FindUnit::按钮2, any);
        f.setEnabled(window, FindUnit::按钮3, any);
    }
}

void FindReplace::cancelFind() {
    // What was typed since the last search is dropped; the window stays for the next opening.
    FindWindows& f = w_.findWindows();
    f.setText(kFind, FindUnit::编辑框1, state_.lastSearchText);
    updateButtons(kFind);
    f.hide(kFind);
}

void FindReplace::findNext(FindWindowKind window) {
    FindWindows& f = w_.findWindows();
    if (!f.exists(window)) return;
    const Text needle = f.text(window, FindUnit::编辑框1);
    // Enter in an empty box: there is nothing to look for.
    if (needle.empty()) return;
    state_.lastSearchText = needle;
    bool matchCase = f.checked(window, FindUnit::选择框1);
    bool up = false;
    if (window == kReplace) {
        state_.replaceMatchCase = matchCase;
    } else {
        up = f.checked(window, FindUnit::单选框1);
    }
    w_.setFocus(Unit::编辑框1);
    const Text& text = body();
    const std::size_t size = text.size();
    const TextSelection selection = w_.bodySelection();
    const std::size_t at = up ? findPreviousMatch(text, needle, selection.start, matchCase)
                              : findNextMatch(text, needle, selection.start + selection.length, matchCase);
    if (at != kNoMatch) {
        w_.setBodySelection({at, needle.size()});
        return;
    }
    w_.messageBox(gbk(u8"找不到 “") + needle + gbk(u8"”"), gbk(u8"记事本"), Buttons::OK, Icon::Information);
    w_.setFocus(Unit::编辑框1);
    w_.setBodySelection({up ? 0 : size, 0});
}

bool FindReplace::bodyEditable() {
    // The session may have ended while the window stayed open; the body then
    // shows the farewell text, which is no one's to edit.
    if (sessionRunning(phase_())) return true;
    w_.messageBox(gbk(u8"开始书写后再使用吧。"), programCaption(), Buttons::OK);
    return false;
}

void FindReplace::replace() {
    if (!w_.findWindows().exists(kReplace) || !bodyEditable()) return;
    const TextSelection selection = w_.bodySelection();
    if (selection.length == 0) {
        findNext(kReplace);
        return;
    }
    const Text replacement = w_.findWindows().text(kReplace, FindUnit::编辑框2);
    editBody(selection, replacement, replacement.find_first_of("\r\n") == Text::npos);
}

void FindReplace::replaceAll() {
    FindWindows& f = w_.findWindows();
    if (!f.exists(kReplace) || !bodyEditable()) return;
    const Text needle = f.text(kReplace, FindUnit::编辑框1);
    if (needle.empty()) return;
    const Text replacement = f.text(kReplace, FindUnit::编辑框2);
    ReplaceAllEdit edit = replaceAllMatches(body(), needle, replacement, state_.replaceMatchCase);
    if (edit.count == 0) return;
    const auto text = std::make_shared<const Text>(std::move(edit.replacement));
    {
        const ProgramTextNotice notice(programText_, body(), edit.start, edit.length, text);
        editBody({edit.start, edit.length}, *text, replacement.find_first_of("\r\n") == Text::npos);
    }
    // Many matches may be far from view: the writer learns how many changed.
    w_.messageBox(gbk(u8"已全部替换，共替换了") + decimal(static_cast<long long>(edit.count)) + gbk(u8"处。"), gbk(u8"记事本"),
                  Buttons::OK, Icon::Information);
}

void FindReplace::editBody(TextSelection range, const Text& bytes, bool plain) {
    // One edit of just the changed span: the window reports that span, the
    // caret ends behind it and the edit can be undone as one step. The known
    // bytes follow the same edit unless line breaks in the inserted text could
    // come back from the window in another form.
    const bool keep = bodyKnown_ && plain;
    editing_ = true;
    w_.replaceBodyRange(range, bytes);
    editing_ = false;
    if (keep) {
        body_.replace(range.start, range.length, bytes);
    } else {
        bodyKnown_ = false;
    }
}

}  // namespace talery
