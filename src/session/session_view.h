#pragma once
// The few window operations the writing session needs, named as the session
// thinks of them.

#include "ui/window.h"

#include <algorithm>
#include <optional>

namespace talery {

// The body read a slice at a time by work on the whole of a long document,
// so that it is never whole in memory besides the window's own copy: slices
// of whole characters, in order; an empty body gives one empty slice.
class BodySlices {
public:
    explicit BodySlices(const Window& window) : w_(window), length_(window.bodyLength()) {}
    std::optional<Text> next() {
        if (started_ && position_ >= length_) return std::nullopt;
        started_ = true;
        Text slice = w_.bodyText(position_, kSlice);
        position_ += kSlice;
        return slice;
    }
    double done() const {
        return length_ == 0 ? 1.0 : std::min(1.0, static_cast<double>(position_) / static_cast<double>(length_));
    }

private:
    static constexpr std::size_t kSlice = std::size_t(1) << 20;
    const Window& w_;
    std::size_t length_;
    std::size_t position_ = 0;
    bool started_ = false;
};

class SessionView {
public:
    explicit SessionView(Window& window) : w_(window) {}

    Text title() const { return w_.text(Unit::章节名称); }
    void setTitle(const Text& text) { w_.setText(Unit::章节名称, text); }
    void setTitleEnabled(bool on) { w_.setEnabled(Unit::章节名称, on); }
    void setTitleCaption(const Text& text) { w_.setText(Unit::章节名称提示, text); }

    void setBody(const Text& text) { w_.setText(Unit::编辑框1, text); }
    void setBody(Text&& text) { w_.takeText(Unit::编辑框1, std::move(text)); }
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
