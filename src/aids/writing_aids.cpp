#include "aids/writing_aids.h"

#include "aids/chapter_layout.h"
#include "aids/time_insert.h"
#include "ui/unit_table.h"

namespace talery {

WritingAids::WritingAids(Window& window, const Clock& clock, const SettingsStore& settings, SharedRandom& random,
                         Sources sources)
    : w_(window), clock_(clock), settings_(settings), random_(random), sources_(std::move(sources)),
      find_(window, sources_.phase, sources_.programText) {
    // F2 sets the check box from code (no message, unlike ticking it) and the body's size.
    bigFont_ = [this](bool on) {
        w_.setChecked(Unit::大字体, on);
        w_.setFontSize(Unit::编辑框1, on ? kLargeBodyFontSize : kBodyFontSize);
    };
}

bool WritingAids::handle(const UiEvent& e) {
    if (e.findWindow != FindWindowKind::None) {
        find_.handle(e);
        return true;
    }
    switch (e.type) {
        case EventType::KeyDown: return e.unit == Unit::编辑框1 && bodyKey(e);
        case EventType::MouseDown:
            if (e.unit == units::openFind) openWindow(FindWindowKind::Find);
            else if (e.unit == units::openReplace) openWindow(FindWindowKind::Replace);
            else if (e.unit == units::insertTime) insertCurrentTime();
            else return false;
            return true;
        case EventType::Click:
            if (e.unit == units::newPersonName) newName(units::personName);
            else if (e.unit == units::newPlaceName) newName(units::placeName);
            else if (e.unit == units::copyPersonName) copyName(units::personName);
            else if (e.unit == units::copyPlaceName) copyName(units::placeName);
            else return false;
            return true;
        case EventType::Triggered:
            if (e.unit != Unit::一键排版) return false;
            layOutBodyWhileWriting();
            return true;
        default: return false;
    }
}

void WritingAids::bodyChanged(const BodyChange& change) {
    find_.bodyChanged();
    absorbTypedIndent(change);
    // Only Enter's own change: any edit after it leaves the new line alone.
    if (enterPending_ && change.added > 0) lineBreakAt_ = change.position + change.added - 1;
    else lineBreakAt_.reset();
    enterPending_ = false;
}

void WritingAids::tick() { timer_.tick(writing(), w_); }

bool WritingAids::whileWriting(const char8_t* refusal) {
    if (writing()) return true;
    w_.messageBox(gbk(refusal), programCaption(), Buttons::OK);
    return false;
}

void WritingAids::layOutBodyWhileWriting() {
    if (whileWriting(u8"开始书写后再使用吧。")) layOutBody(w_, settings_, find_.body(), sources_.programText);
}

bool WritingAids::bodyKey(const UiEvent& e) {
    if (e.modifiers == modifier::Ctrl) {
        switch (e.key) {
            case key::A:
                w_.setBodySelection({0, find_.body().size()});
                w_.setFocus(Unit::编辑框1);
                return true;
            case key::F: find_.open(FindWindowKind::Find); return true;
            case key::H: find_.open(FindWindowKind::Replace); return true;
            default: break;
        }
    }
    if (e.modifiers == (modifier::Ctrl | modifier::Shift) && e.key == key::L) {
        layOutBodyWhileWriting();
        return true;
    }
    if (e.modifiers == 0 && e.key == key::Enter) {
        // The line break is not in yet; the new line takes its indent once it is.
        enterPending_ = true;
        lineBreakAt_.reset();
        w_.post([this] {
            enterPending_ = false;
            carried_.reset();
            if (lineBreakAt_ && writing()) carried_ = carryIndent(w_, *lineBreakAt_);
            lineBreakAt_.reset();
        });
        return false;
    }
    switch (e.key) {
        case key::F1: w_.messageBox(gbk(u8"添加时间按钮更改快捷键为F5"), programCaption(), Buttons::OK); return true;
        case key::F2: toggleBigFont(); return true;
        case key::F5: insertCurrentTime(); return true;
        default: return false;
    }
}

void WritingAids::absorbTypedIndent(const BodyChange& change) {
    if (!carried_ || absorbing_) return;
    static const Text fullWidthSpace = gbk(u8"\u3000");
    CarriedIndent& indent = *carried_;
    const TextSelection caret = w_.bodySelection();
    bool retyped = change.removed == 0 && change.added > 0 && change.position == indent.end &&
                   change.added <= indent.characters && caret.length == 0;
    Text typed;
    if (retyped) typed = w_.bodyText(change.position, change.added);
    for (std::size_t i = 0; retyped && i < typed.size(); i += fullWidthSpace.size())
        retyped = typed.compare(i, fullWidthSpace.size(), fullWidthSpace) == 0;
    // Anything else the writer does ends it: from then on every space typed is meant.
    if (!retyped || caret.start < typed.size()) {
        carried_.reset();
        return;
    }
    indent.characters -= change.added;
    if (indent.characters == 0) carried_.reset();
    // Taken out once the key's own change has gone through.
    const TextSelection again{caret.start - typed.size(), typed.size()};
    w_.post([this, again, change, typed] {
        const TextSelection now = w_.bodySelection();
        if (now.length != 0 || now.start != again.start + again.length || w_.bodyText(change.position, change.added) != typed)
            return;
        absorbing_ = true;
        w_.replaceBodyRange(again, {});
        absorbing_ = false;
    });
}

void WritingAids::openWindow(FindWindowKind window) {
    if (whileWriting(u8"开始书写后再使用吧。")) find_.open(window);
}

void WritingAids::insertCurrentTime() {
    if (whileWriting(u8"这是一键添加当前时间按钮。请开始书写之后使用本按钮")) talery::insertCurrentTime(w_, clock_);
}

void WritingAids::toggleBigFont() {
    if (w_.checked(Unit::大字体)) {
        bigFont_(false);
        return;
    }
    bigFont_(true);
    settings_.program().writeBool(gbk(u8"软件设置"), gbk(u8"新手2"), true);
}

Text WritingAids::selectedPlaceWord() const {
    // No item selected, or the empty last item: no place word.
    return w_.itemText(Unit::组合框1, w_.selection(Unit::组合框1));
}

void WritingAids::fillNamesIfAllowed() {
    if (!namesAllowed()) return;
    w_.setText(units::personName, randomPersonName(random_));
    w_.setText(units::placeName, randomPlaceName(random_, selectedPlaceWord()));
}

void WritingAids::newName(Unit box) {
    if (!namesAllowed()) {
        w_.messageBox(gbk(u8"您需要达到15积分才可以随机更换哦。"), programCaption(), Buttons::OK);
        return;
    }
    w_.setText(box, box == units::personName ? randomPersonName(random_)
                                          : randomPlaceName(random_, selectedPlaceWord()));
}

void WritingAids::copyName(Unit box) {
    w_.setClipboardText(w_.text(box));
    w_.messageBox(gbk(u8"复制成功"), programCaption(), Buttons::OK);
}

}  // namespace talery
