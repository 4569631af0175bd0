#pragma once
// The few window operations the writing session needs, named as the session
// thinks of them.

#include "ui/window.h"

namespace talery {

class SessionView {
public:
    explicit SessionView(Window& window) : w_(window) {}

    Text title() const { return w_.text(Unit::章节名称); }
    void setTitle(const Text& text) { w_.setText(Unit::章节名称, text); }
    bool titleEnabled() const { return w_.enabled(Unit::章节名称); }
    void setTitleEnabled(bool on) { w_.setEnabled(Unit::章节名称, on); }
    void setTitleCaption(const Text& text) { w_.setText(Unit::章节名称提示, text); }

    Text body() const { return w_.text(Unit::编辑框1); }
    void setBody(const Text& text) { w_.setText(Unit::编辑框1, text); }
    void setBody(Text&& text) { w_.takeText(Unit::编辑框1, std::move(text)); }
    bool bodyEnabled() const { return w_.enabled(Unit::编辑框1); }
    void setBodyEnabled(bool on) { w_.setEnabled(Unit::编辑框1, on); }
    void alignBodyLeft() { w_.setAlignment(Unit::编辑框1, Align::Left); }
    void caretToEnd() {
        w_.setBodySelection({w_.text(Unit::编辑框1).size(), 0});
    }
    void focusBody() { w_.setFocus(Unit::编辑框1); }

    void setStartCaption(const Text& text) { w_.setText(Unit::开始书写按钮, text); }
    void setMenuEntryEnabled(Unit entry, bool on) { w_.setEnabled(entry, on); }

    Answer message(const Text& text, Buttons buttons, const Text& caption);

    Window& window() { return w_; }
    const Window& window() const { return w_; }

private:
    Window& w_;
};

}  // namespace talery
