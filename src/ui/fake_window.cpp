#include "ui/fake_window.h"

#include "ui/unit_table.h"

#include <stdexcept>
#include <utility>

namespace talery {

FakeWindow::FakeWindow() : units_(kUnitCount) {
    for (const UnitDesign& design : unitTable()) {
        UnitState& s = units_[index(design.unit)];
        s.rect = design.rect;
        s.visible = !(design.flags & (kHidden | kInvisibleUnit));
        s.enabled = !(design.flags & kDisabled);
        s.checked = design.flags & kChecked;
        s.align = (design.flags & kCentred) ? Align::Centre : Align::Left;
        s.fontSize = design.fontSize ? design.fontSize : 9;
        s.interval = design.value;
        s.textColour = kDesignText;
        s.background = kDesignBackground;
        if (design.kind == UnitKind::TabControl) {
            s.selection = 0;
        } else if (design.kind == UnitKind::ComboBox) {
            s.selection = 0;
        }
        if (design.kind == UnitKind::ComboBox || design.kind == UnitKind::TabControl) {
            for (auto item : design.items) s.items.push_back(gbk(item));
        }
        if (design.kind == UnitKind::StatusBar) {
            for (std::size_t i = 0; i < design.items.size() && i < status_.size(); ++i) status_[i] = gbk(design.items[i]);
        }
        s.text = gbk(design.text);
    }
    units_[index(Unit::编辑框1)].text = gbk(welcomeText());
    units_[index(Unit::章节名称)].background = kDesignTitleFieldBackground;
    units_[index(Unit::章节名称)].textColour = kDesignTitleFieldText;
    window_ = kMainWindowDesign;
}

FakeWindow::UnitState& FakeWindow::state(Unit unit) {
    if (unit == Unit::None || unit == Unit::Count) throw std::out_of_range("no such unit");
    return units_[index(unit)];
}

const FakeWindow::UnitState& FakeWindow::state(Unit unit) const {
    if (unit == Unit::None || unit == Unit::Count) throw std::out_of_range("no such unit");
    return units_[index(unit)];
}

void FakeWindow::raise(const UiEvent& event) {
    if (sink_) sink_->handle(event);
}

std::vector<std::string> FakeWindow::messageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(gbkToUtf8Lossy(m.text));
    return out;
}

std::string FakeWindow::lastMessage() const { return messages.empty() ? std::string() : gbkToUtf8Lossy(messages.back().text); }

void FakeWindow::click(Unit unit) {
    if (!enabled(unit)) return;
    if (designOf(unit).kind == UnitKind::CheckBox) setChecked(unit, !checked(unit));
    raise({.unit = unit, .type = EventType::Click});
}

void FakeWindow::mouseDown(Unit unit) {
    if (enabled(unit)) raise({.unit = unit, .type = EventType::MouseDown});
}

void FakeWindow::doubleClick(Unit unit) {
    if (enabled(unit)) raise({.unit = unit, .type = EventType::DoubleClick});
}

void FakeWindow::pressKey(Unit unit, int keyCode, int modifiers) {
    // A disabled box has no focus and gets no keys.
    if (enabled(unit)) raise({.unit = unit, .type = EventType::KeyDown, .key = keyCode, .modifiers = modifiers});
}

void FakeWindow::trigger(Unit menuEntry) {
    if (enabled(menuEntry)) raise({.unit = menuEntry, .type = EventType::Triggered});
}

void FakeWindow::tick(Unit timer) {
    if (timerInterval(timer) > 0) raise({.unit = timer, .type = EventType::Tick});
}

void FakeWindow::choose(Unit list, int index) {
    if (!enabled(list)) return;
    setSelection(list, index);
    raise({.unit = list, .type = EventType::SelectionChanged, .index = index});
}

void FakeWindow::turnPage(Unit tabs, int page) {
    setSelection(tabs, page);
    raise({.unit = tabs, .type = EventType::PageChanged, .index = page});
}

void FakeWindow::chooseColour(Unit picker, Colour colour) {
    if (!enabled(picker)) return;
    setBackgroundColour(picker, colour);
    raise({.unit = picker, .type = EventType::ColourChosen});
}

void FakeWindow::dropFile(const Path& path) { raise({.type = EventType::FileDropped, .path = path}); }

void FakeWindow::dropFiles(const std::vector<Path>& paths) {
    for (std::size_t i = 0; i < paths.size(); ++i)
        raise({.type = EventType::FileDropped, .index = static_cast<int>(i), .path = paths[i]});
}

void FakeWindow::trayEvent(int type) { raise({.type = EventType::Tray, .index = type}); }

void FakeWindow::fileChangedOnDisk(const Path& path) {
    if (!watchedFile.empty() && path == watchedFile) raise({.type = EventType::FileChanged, .path = path});
}

void FakeWindow::typeText(Unit unit, std::string_view utf8) {
    if (!enabled(unit)) throw std::logic_error("typing into a disabled box");
    UnitState& s = state(unit);
    const Text typed = utf8ToGbkLossy(utf8);
    if (unit == Unit::编辑框1) {
        // Typing replaces the selection and leaves the caret behind the text.
        const std::size_t start = std::min(bodySelection_.start, s.text.size());
        const std::size_t length = std::min(bodySelection_.length, s.text.size() - start);
        const Text before = s.text;
        s.text.replace(start, length, typed);
        bodySelection_ = {start + typed.size(), 0};
        ++bodyChanges;
        raiseBodyChange(before);
        return;
    }
    s.text += typed;
    raise({.unit = unit, .type = EventType::TextChanged});
}

bool FakeWindow::userCloses() {
    requestClose();
    return closed;
}

Text FakeWindow::text(Unit unit) const { return state(unit).text; }

void FakeWindow::setText(Unit unit, const Text& text) {
    const Text before = std::exchange(state(unit).text, text);
    if (unit == Unit::编辑框1) {
        // As an edit control does: the caret goes to the start, and the
        // change notification runs for the program's changes too, reporting
        // the whole text as replaced.
        bodySelection_ = {0, 0};
        undoTexts_.clear();  // a new text has no edits to undo
        ++bodyChanges;
        raise({.unit = unit,
               .type = EventType::TextChanged,
               .change = {0, countBodyCharacters(before), countBodyCharacters(text)}});
    }
}

namespace {

// Byte offsets where the body's characters start, and the end.
std::vector<std::size_t> characterStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); i += bodyCharLength(text, i)) starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

}  // namespace

void FakeWindow::raiseBodyChange(const Text& before) {
    const Text& after = state(Unit::编辑框1).text;
    const auto a = characterStarts(before), b = characterStarts(after);
    const std::size_t na = a.size() - 1, nb = b.size() - 1;
    auto same = [&](std::size_t i, std::size_t j) {
        return std::string_view(before).substr(a[i], a[i + 1] - a[i]) ==
               std::string_view(after).substr(b[j], b[j + 1] - b[j]);
    };
    std::size_t prefix = 0;
    while (prefix < na && prefix < nb && same(prefix, prefix)) ++prefix;
    std::size_t suffix = 0;
    while (suffix < na - prefix && suffix < nb - prefix && same(na - 1 - suffix, nb - 1 - suffix)) ++suffix;
    raise({.unit = Unit::编辑框1,
           .type = EventType::TextChanged,
           .change = {prefix, na - prefix - suffix, nb - prefix - suffix}});
}

Text FakeWindow::bodyText(std::size_t position, std::size_t count) const {
    const Text& body = state(Unit::编辑框1).text;
    // Whole-body work reads slice after slice: each starts where the last
    // ended, so the body is not walked from its start every time.
    std::size_t from = 0, at = 0;
    if (sliceEnd_.changes == bodyChanges && sliceEnd_.position <= position) {
        from = sliceEnd_.position;
        at = sliceEnd_.byte;
    }
    for (; from < position && at < body.size(); ++from) at += bodyCharLength(body, at);
    std::size_t end = at, n = 0;
    for (; n < count && end < body.size(); ++n) end += bodyCharLength(body, end);
    sliceEnd_ = {bodyChanges, position + n, end};
    return body.substr(at, end - at);
}

void FakeWindow::post(std::function<void()> task) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

int FakeWindow::runPosted() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(postedMutex_);
        tasks.swap(posted_);
    }
    for (auto& task : tasks) task();
    return static_cast<int>(tasks.size());
}

Text FakeWindow::itemText(Unit unit, int index) const {
    const auto& items = state(unit).items;
    if (index < 0 || index >= static_cast<int>(items.size())) return {};
    return items[static_cast<std::size_t>(index)];
}

void FakeWindow::setButtonColours(Unit unit, const ColourPair& a, const ColourPair& b, const ColourPair& c) {
    state(unit).pairs = {a, b, c};
}

void FakeWindow::setBodySelection(TextSelection selection) {
    const std::size_t size = text(Unit::编辑框1).size();
    selection.start = std::min(selection.start, size);
    selection.length = std::min(selection.length, size - selection.start);
    bodySelection_ = selection;
}

void FakeWindow::replaceBodyRange(TextSelection range, const Text& text) {
    Text& body = state(Unit::编辑框1).text;
    if (range.start > body.size() || range.length > body.size() - range.start)
        throw std::out_of_range("body range outside the body");
    const Text before = body;
    undoTexts_.push_back(before);
    body.replace(range.start, range.length, text);
    bodySelection_ = {range.start + text.size(), 0};
    bodyEdits.push_back(range);
    ++bodyChanges;
    raiseBodyChange(before);
}

void FakeWindow::undoBodyEdit() {
    if (undoTexts_.empty()) return;
    Text& body = state(Unit::编辑框1).text;
    const Text before = body;
    body = std::move(undoTexts_.back());
    undoTexts_.pop_back();
    ++bodyChanges;
    raiseBodyChange(before);
}

Text FakeWindow::statusText(int part) const {
    return part >= 0 && part < 4 ? status_[static_cast<std::size_t>(part)] : Text();
}

void FakeWindow::setStatusNote(int part, const Text& note) {
    setStatusText(part, note);
    announced_.push_back(note);
}

void FakeWindow::setStatusText(int part, const Text& text) {
    if (part >= 0 && part < 4) status_[static_cast<std::size_t>(part)] = text;
}

void FakeWindow::setStatusPartWidth(int part, int width) {
    if (part >= 0 && part < 4) statusWidths_[static_cast<std::size_t>(part)] = width;
}

int FakeWindow::statusPartWidth(int part) const {
    return part >= 0 && part < 4 ? statusWidths_[static_cast<std::size_t>(part)] : 0;
}

void FakeWindow::insertListItem(Unit list, int position, const Text& caption) {
    auto& items = state(list).items;
    const auto pos = static_cast<std::size_t>(std::max(position, 0));
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(std::min(pos, items.size())), caption);
}

void FakeWindow::setWindowSize(int width, int height) {
    window_.width = width;
    window_.height = height;
    raise({.type = EventType::Resized});
}

void FakeWindow::setFullScreen(bool on) {
    if (on == fullScreen_) return;
    fullScreen_ = on;
    if (on) beforeFullScreen_ = window_;
    const Rect to = on ? screen : beforeFullScreen_;
    window_.left = to.left;
    window_.top = to.top;
    setWindowSize(to.width, to.height);
}

void FakeWindow::requestClose() {
    if (!sink_ || sink_->closeRequested()) closed = true;
}

Answer FakeWindow::messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon) {
    messages.push_back({text, caption, buttons, icon});
    // What else happens while the box is open.
    if (whileMessageShown) whileMessageShown(messages.back());
    if (answers.empty()) {
        if (buttons == Buttons::OK) return Answer::OK;
        throw std::logic_error("unanswered question: " + gbkToUtf8Lossy(text));
    }
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<Path> FakeWindow::openFileDialog(const FileDialogRequest& request) {
    openDialogs.push_back(request);
    if (dialogResults.empty()) throw std::logic_error("unexpected open dialog");
    auto r = dialogResults.front();
    dialogResults.pop_front();
    return r;
}

std::optional<Path> FakeWindow::saveFileDialog(const FileDialogRequest& request) {
    saveDialogs.push_back(request);
    if (dialogResults.empty()) throw std::logic_error("unexpected save dialog");
    auto r = dialogResults.front();
    dialogResults.pop_front();
    return r;
}

std::optional<Text> FakeWindow::askPassword(const PasswordDialogLook& look) {
    passwordDialogs.push_back(look);
    if (passwordResults.empty()) throw std::logic_error("unexpected password dialog");
    auto r = passwordResults.front();
    passwordResults.pop_front();
    return r;
}

std::optional<WritingGoal> FakeWindow::askWritingGoal(const WritingGoal& offered, const PasswordDialogLook&) {
    goalDialogs.push_back(offered);
    if (goalResults.empty()) throw std::logic_error("unexpected goal dialog");
    auto r = goalResults.front();
    goalResults.pop_front();
    return r;
}

}  // namespace talery
