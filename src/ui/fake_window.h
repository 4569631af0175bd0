#pragma once
// An in-memory window for tests of the logic. It starts in the design state of
// the unit table, records every message and dialog, and answers questions from
// a script; a question without a scripted answer fails the test.

#include "ui/fake_find_windows.h"
#include "ui/fake_history_window.h"
#include "ui/window.h"

#include <array>
#include <functional>
#include <mutex>
#include <deque>
#include <string>

namespace talery {

class FakeWindow : public Window {
public:
    FakeWindow();

    // --- Script and record ---------------------------------------------
    std::deque<Answer> answers;                       // for questions (OK-only boxes answer themselves)
    std::deque<std::optional<Path>> dialogResults;    // for open and save dialogs
    std::deque<std::optional<Text>> passwordResults;  // for the password dialog
    std::deque<std::optional<WritingGoal>> goalResults;  // for the locked room's goal dialog
    std::vector<WritingGoal> goalDialogs;                // what each goal dialog offered
    std::vector<MessageRecord> messages;
    std::function<void(const MessageRecord&)> whileMessageShown;  // runs before the box is answered
    std::vector<FileDialogRequest> openDialogs;
    std::vector<FileDialogRequest> saveDialogs;
    std::vector<PasswordDialogLook> passwordDialogs;
    std::vector<std::string> openedUrls;
    bool urlHandlerStarts = true;  // whether openUrl finds a browser or mail client
    std::vector<Unit> poppedMenus;
    Text clipboard;
    bool closed = false;
    bool trayShown = false;
    Text trayTip;
    int alpha = 255;
    bool alwaysOnTop = false;
    int moveLoops = 0;
    std::vector<int> resizeLoops;
    int bodyChanges = 0;  // TextChanged events raised for the body

    // Texts of the recorded messages in UTF-8, for readable assertions.
    std::vector<std::string> messageTexts() const;
    std::string lastMessage() const;

    // --- The user's actions -------------------------------------------
    void click(Unit unit);
    void mouseDown(Unit unit);
    void doubleClick(Unit unit);
    void pressKey(Unit unit, int keyCode, int modifiers = 0);
    void trigger(Unit menuEntry);
    void tick(Unit timer);
    void choose(Unit list, int index);
    void turnPage(Unit tabs, int page);
    void chooseColour(Unit picker, Colour colour);
    void dropFile(const Path& path);
    // One drop of several files: one event per path, in order, numbered from 0.
    void dropFiles(const std::vector<Path>& paths);
    void trayEvent(int type);
    // Another program changed `path` on disk: raises FileChanged when it is watched.
    void fileChangedOnDisk(const Path& path);
    // Types UTF-8 text at the end of an edit box, as a keyboard or input method
    // would: characters GBK cannot hold arrive as "?".
    void typeText(Unit unit, std::string_view utf8);
    void typeText(Unit unit, std::u8string_view utf8) {
        typeText(unit, std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    }
    bool userCloses();

    // --- Window ---------------------------------------------------------
    void setEventSink(EventSink* sink) override { sink_ = sink; }
    Text text(Unit unit) const override;
    void setText(Unit unit, const Text& text) override;
    bool enabled(Unit unit) const override { return state(unit).enabled; }
    void setEnabled(Unit unit, bool on) override { state(unit).enabled = on; }
    bool visible(Unit unit) const override { return state(unit).visible; }
    void setVisible(Unit unit, bool on) override { state(unit).visible = on; }
    bool checked(Unit unit) const override { return state(unit).checked; }
    void setChecked(Unit unit, bool on) override { state(unit).checked = on; }
    int selection(Unit unit) const override { return state(unit).selection; }
    void setSelection(Unit unit, int index) override { state(unit).selection = index; }
    Text itemText(Unit unit, int index) const override;
    int itemCount(Unit unit) const override { return static_cast<int>(state(unit).items.size()); }
    Colour textColour(Unit unit) const override { return state(unit).textColour; }
    void setTextColour(Unit unit, Colour colour) override { state(unit).textColour = colour; }
    Colour backgroundColour(Unit unit) const override { return state(unit).background; }
    void setBackgroundColour(Unit unit, Colour colour) override { state(unit).background = colour; }
    int fontSize(Unit unit) const override { return state(unit).fontSize; }
    void setFontSize(Unit unit, int points) override { state(unit).fontSize = points; }
    Rect geometry(Unit unit) const override { return state(unit).rect; }
    void setGeometry(Unit unit, const Rect& rect) override { state(unit).rect = rect; }
    void setAlignment(Unit unit, Align align) override { state(unit).align = align; }
    Align alignment(Unit unit) const override { return state(unit).align; }
    void setFocus(Unit unit) override { focus_ = unit; }
    Unit focus() const override { return focus_; }
    void setButtonColours(Unit unit, const ColourPair& a, const ColourPair& b, const ColourPair& c) override;
    std::array<ColourPair, 3> buttonColours(Unit unit) const { return state(unit).pairs; }
    void setPicture(Unit unit, Picture picture) override { state(unit).picture = picture; }
    Picture picture(Unit unit) const { return state(unit).picture; }

    TextSelection bodySelection() const override { return bodySelection_; }
    void setBodySelection(TextSelection selection) override;
    void replaceBodyRange(TextSelection range, const Text& text) override;
    Text bodyText(std::size_t position, std::size_t count) const override;
    std::size_t bodyLength() const override { return countBodyCharacters(state(Unit::编辑框1).text); }

    Text statusText(int part) const override;
    void setStatusText(int part, const Text& text) override;
    void setStatusPartWidth(int part, int width) override;
    int statusPartWidth(int part) const;
    void setStatusNote(int part, const Text& note) override;
    const std::vector<Text>& announced() const { return announced_; }  // the notes spoken, in order

    int timerInterval(Unit timer) const override { return state(timer).interval; }
    void setTimerInterval(Unit timer, int milliseconds) override { state(timer).interval = milliseconds; }

    void clearList(Unit list) override { state(list).items.clear(); }
    void insertListItem(Unit list, int position, const Text& caption) override;
    std::vector<Text> listItems(Unit list) const override { return state(list).items; }

    Rect windowGeometry() const override { return window_; }
    void setWindowSize(int width, int height) override;
    WindowState windowState() const override { return windowState_; }
    void setWindowState(WindowState s) override { windowState_ = s; }
    void setAlwaysOnTop(bool on) override {
        alwaysOnTop = on;
        if (on) ++broughtToTop;  // application shell: how often the window was put above all others
    }
    bool fullScreen() const override { return fullScreen_; }
    void setFullScreen(bool on) override;
    void setWindowAlpha(int a) override { alpha = a; }
    Colour windowBackground() const override { return windowBackground_; }
    void setWindowBackground(Colour colour) override { windowBackground_ = colour; }
    void startSystemMove() override { ++moveLoops; }
    void startSystemResize(int side) override { resizeLoops.push_back(side); }
    void requestClose() override;
    void popupMenu(Unit menu) override { poppedMenus.push_back(menu); }
    void showTrayIcon(const Text& tip) override {
        trayShown = true;
        trayTip = tip;
    }
    void removeTrayIcon() override { trayShown = false; }

    // Application shell.
    bool windowShown = true;
    int broughtToTop = 0;
    Rect screen{0, 0, 1920, 1040};
    bool hasTray = true;
    std::optional<Text> user = Text("writer");  // nothing: the name cannot be read
    bool windowVisible() const override { return windowShown; }
    void setWindowVisible(bool on) override { windowShown = on; }
    void setWindowPosition(int left, int top) override {
        window_.left = left;
        window_.top = top;
    }
    Rect screenArea() const override { return screen; }
    std::optional<std::vector<Rect>> screens;  // several screens; unset: `screen` alone
    std::vector<Rect> screenAreas() const override { return screens ? *screens : Window::screenAreas(); }
    bool trayAvailable() const override { return hasTray; }
    Text userName() const override { return user.value_or(Text()); }

    Answer messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon) override;
    std::optional<Path> openFileDialog(const FileDialogRequest& request) override;
    std::optional<Path> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<Text> askPassword(const PasswordDialogLook& look) override;
    std::optional<WritingGoal> askWritingGoal(const WritingGoal& offered, const PasswordDialogLook& look) override;
    void showProgress(const Text& text, double fraction) override {
        progress.push_back({text, fraction, state(Unit::编辑框1).text.size()});
        if (whileProgressShown) whileProgressShown(progress.back());
    }
    void endProgress() override { ++progressEnds; }
    void paintDuringWork() const override { ++paintsDuringWork; }
    mutable int paintsDuringWork = 0;
    // Posted tasks wait for runPosted, which stands for the event loop.
    void post(std::function<void()> task) override;
    int runPosted();  // how many ran
    struct ProgressStep {
        Text text;
        double fraction = 0;
        std::size_t bodyBytes = 0;  // the body's, as the step was shown
    };
    std::vector<ProgressStep> progress;
    // Runs as each step shows, as what the window handles while it paints.
    std::function<void(const ProgressStep&)> whileProgressShown;
    int progressEnds = 0;

    Text clipboardText() const override { return clipboard; }
    void setClipboardText(const Text& text) override { clipboard = text; }
    bool openUrl(const std::string& url) override {
        openedUrls.push_back(url);
        return urlHandlerStarts;
    }

    Path watchedFile;  // the file watched on disk, empty when none
    void watchFile(const Path& path) override { watchedFile = path; }

    // Find and Replace windows.
    FakeFindWindows& findWindows() override { return findWindows_; }
    std::vector<TextSelection> bodyEdits;  // ranges replaced by replaceBodyRange

    // The history window.
    FakeHistoryWindow& historyWindow() override { return historyWindow_; }
    // Ctrl+Z in the body: the text before the last replaceBodyRange.
    void undoBodyEdit();

private:
    struct UnitState {
        Text text;
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        int selection = -1;
        std::vector<Text> items;
        Colour textColour = 0;
        Colour background = 0xFFFFFF;
        int fontSize = 9;
        Rect rect{};
        Align align = Align::Left;
        std::array<ColourPair, 3> pairs{};
        Picture picture = Picture::None;
        int interval = 0;
    };

    UnitState& state(Unit unit);
    const UnitState& state(Unit unit) const;
    void raise(const UiEvent& event);
    // Text statistics: raises the body's TextChanged with the span that
    // differs between `before` and the body now.
    void raiseBodyChange(const Text& before);

    std::vector<UnitState> units_;
    std::array<Text, 4> status_{};
    std::array<int, 4> statusWidths_{};
    std::vector<Text> announced_;
    TextSelection bodySelection_{};
    struct SliceEnd {
        int changes = -1;  // bodyChanges when it was read
        std::size_t position = 0, byte = 0;
    };
    mutable SliceEnd sliceEnd_;
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    Rect window_{};
    bool fullScreen_ = false;
    Rect beforeFullScreen_{};
    WindowState windowState_ = WindowState::Normal;
    Colour windowBackground_ = 0;
    Unit focus_ = Unit::None;
    EventSink* sink_ = nullptr;
    FakeFindWindows findWindows_{[this](const UiEvent& e) { raise(e); }};
    FakeHistoryWindow historyWindow_{[this](const UiEvent& e) { raise(e); }};
    std::vector<Text> undoTexts_;  // the body before each replaceBodyRange
};

}  // namespace talery
