#pragma once
// What the logic asks of the window layer. The logic never sees a toolkit:
// it reads and writes unit properties here, addressed by unit, and receives
// the user's actions as events through EventSink. Texts are GBK bytes.

#include "core/colour.h"
#include "core/files.h"
#include "core/text.h"
#include "ui/find_windows.h"
#include "ui/body_change.h"
#include "ui/history_window.h"
#include "ui/unit.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace talery {

enum class Answer { OK, Cancel, Yes, No };
// YesNoStay: 是 and 否 with 否 the default, for a question whose 是 cannot be taken back.
enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, YesNoStay };
enum class Icon { None, Information, Warning, Question };

enum class Align { Left, Centre };

enum class WindowState { Normal = 0, Minimised = 2, Maximised = 3 };

// Key codes are the Windows virtual-key numbers, as the Windows program knew
// them; the Qt layer turns its own keys into these.
namespace key {
constexpr int Enter = 13;
constexpr int F1 = 112, F2 = 113, F5 = 116, F12 = 123;
constexpr int A = 65, F = 70, H = 72, L = 76, S = 83;
}  // namespace key
namespace modifier {
constexpr int Ctrl = 1, Shift = 2, Alt = 4;
}

enum class EventType {
    Click,            // button or check box clicked by the user
    MouseDown,        // left button went down on a label or picture
    DoubleClick,      // left double click on a label
    KeyDown,          // key pressed in an edit box (key, modifiers)
    TextChanged,      // content of an edit box changed
    SelectionChanged, // the user picked a list item (index)
    PageChanged,      // the user turned a tab control to a page (index)
    ColourChosen,     // the user chose a colour in a colour picker
    Triggered,        // menu entry chosen
    Tick,             // timer fired
    Resized,          // main window size changed
    Tray,             // tray icon event (index: 1 left up, 2 double click, 3 right up)
    FileDropped,      // a file was dropped on the window (path; index: its position in the drop, from 0)
    FileChanged,      // the watched file, or its folder, changed on disk (path: the watched file)
    // Find and Replace windows.
    Closed,           // the user closed a window with its close box or Escape
};

struct UiEvent {
    Unit unit = Unit::None;
    EventType type = EventType::Click;
    int key = 0;
    int modifiers = 0;
    int index = 0;
    Path path{};
    // Find and Replace windows: the window and its unit (`unit` is None then).
    FindWindowKind findWindow = FindWindowKind::None;
    FindUnit findUnit = FindUnit::Window;
    // Text statistics: what a TextChanged of the body touched.
    BodyChange change{};
    // The history window: its unit (`unit` is None then).
    HistoryUnit historyUnit = HistoryUnit::None;
};

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void handle(const UiEvent& event) = 0;
    // The user or the program asked to close the main window; false keeps it open.
    virtual bool closeRequested() = 0;
};

// Selection of the body in bytes of its GBK text.
struct TextSelection {
    std::size_t start = 0;
    std::size_t length = 0;
    friend bool operator==(const TextSelection&, const TextSelection&) = default;
};

// One of the three looks of the start button: text and face colour.
struct ColourPair {
    Colour text = kWhite;
    Colour face = 0;
    friend bool operator==(const ColourPair&, const ColourPair&) = default;
};

enum class Picture { None, MenuGlyph, RecordIdle, RecordActive, TopImage1, TopImage2, Statistics };

struct FileDialogRequest {
    Unit dialog = Unit::None;  // which dialog unit: its filters and default extension apply
    Path initialFolder;
    Path initialName;          // UTF-8 file name offered, may be empty
};

// How the password dialog looks: it takes the main window's background and the
// title strip's text colour.
struct PasswordDialogLook {
    Colour background = 0;
    Colour labelText = kWhite;
};

// The goal of the locked room: characters added, or minutes of writing.
enum class GoalUnit { Characters, Minutes };
struct WritingGoal {
    GoalUnit unit = GoalUnit::Characters;
    int amount = 0;
    friend bool operator==(const WritingGoal&, const WritingGoal&) = default;
};

// The caption of almost every message box the program shows.
inline const Text& programCaption() {
    static const Text caption = gbk(u8"Talery");
    return caption;
}

struct MessageRecord {
    Text text;
    Text caption;
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
};

class Window {
public:
    virtual ~Window() = default;

    virtual void setEventSink(EventSink* sink) = 0;

    // Unit properties.
    virtual Text text(Unit unit) const = 0;
    virtual void setText(Unit unit, const Text& text) = 0;
    // The same, handing the text over: the window may drop it as soon as it
    // holds its own copy, so a whole novel is not held twice.
    virtual void takeText(Unit unit, Text&& text) { setText(unit, text); }
    virtual bool enabled(Unit unit) const = 0;
    virtual void setEnabled(Unit unit, bool on) = 0;
    virtual bool visible(Unit unit) const = 0;
    virtual void setVisible(Unit unit, bool on) = 0;
    virtual bool checked(Unit unit) const = 0;
    virtual void setChecked(Unit unit, bool on) = 0;
    virtual int selection(Unit unit) const = 0;          // list: current item, -1 none; tab control: page
    virtual void setSelection(Unit unit, int index) = 0; // never raises SelectionChanged / PageChanged
    virtual Text itemText(Unit unit, int index) const = 0;
    virtual int itemCount(Unit unit) const = 0;
    virtual Colour textColour(Unit unit) const = 0;
    virtual void setTextColour(Unit unit, Colour colour) = 0;
    virtual Colour backgroundColour(Unit unit) const = 0;  // colour picker: its chosen colour
    virtual void setBackgroundColour(Unit unit, Colour colour) = 0;
    virtual int fontSize(Unit unit) const = 0;
    virtual void setFontSize(Unit unit, int points) = 0;
    virtual Rect geometry(Unit unit) const = 0;
    virtual void setGeometry(Unit unit, const Rect& rect) = 0;
    virtual void setAlignment(Unit unit, Align align) = 0;
    virtual Align alignment(Unit unit) const = 0;
    virtual void setFocus(Unit unit) = 0;
    virtual Unit focus() const = 0;
    virtual void setButtonColours(Unit unit, const ColourPair& pair1, const ColourPair& pair2,
                                  const ColourPair& pair3) = 0;
    virtual void setPicture(Unit unit, Picture picture) = 0;

    // The body box.
    virtual TextSelection bodySelection() const = 0;
    virtual void setBodySelection(TextSelection selection) = 0;
    // Find, replace and time insertion: the bytes of `range` become `text` in
    // one edit that reports just that span as changed; the caret ends behind it.
    virtual void replaceBodyRange(TextSelection range, const Text& text) = 0;
    // Text statistics: body characters [position, position + count) as GBK,
    // cut short at the end of the body (positions as in BodyChange).
    virtual Text bodyText(std::size_t position, std::size_t count) const = 0;
    // Characters in the body (positions as in BodyChange).
    virtual std::size_t bodyLength() const = 0;

    // Status bar parts (0..3).
    virtual Text statusText(int part) const = 0;
    virtual void setStatusText(int part, const Text& text) = 0;
    virtual void setStatusPartWidth(int part, int width) = 0;
    // A note in a status part that screen readers also speak, without
    // interrupting (a mode entered, a save done); the tips are not notes.
    virtual void setStatusNote(int part, const Text& note) = 0;

    // Timers: an interval of 0 stops the timer.
    virtual int timerInterval(Unit timer) const = 0;
    virtual void setTimerInterval(Unit timer, int milliseconds) = 0;

    // List view.
    virtual void clearList(Unit list) = 0;
    virtual void insertListItem(Unit list, int position, const Text& caption) = 0;  // past the end appends
    virtual std::vector<Text> listItems(Unit list) const = 0;

    // The main window.
    virtual Rect windowGeometry() const = 0;
    virtual void setWindowSize(int width, int height) = 0;  // raises Resized
    virtual WindowState windowState() const = 0;
    virtual void setWindowState(WindowState state) = 0;
    virtual void setAlwaysOnTop(bool on) = 0;
    // Full screen over the desktop's panels; leaving it gives back the state before.
    virtual bool fullScreen() const = 0;
    virtual void setFullScreen(bool on) = 0;
    virtual void setWindowAlpha(int alpha) = 0;             // 255 opaque
    virtual Colour windowBackground() const = 0;
    virtual void setWindowBackground(Colour colour) = 0;
    virtual void startSystemMove() = 0;
    virtual void startSystemResize(int side) = 0;           // 1 left ... 8 bottom-right
    virtual void requestClose() = 0;                        // goes through EventSink::closeRequested
    virtual void popupMenu(Unit menu) = 0;
    virtual void showTrayIcon(const Text& tip) = 0;
    virtual void removeTrayIcon() = 0;

    // Application shell: the main window's own visibility and place, the
    // desktop it lives on, and the notification area.
    virtual bool windowVisible() const = 0;
    virtual void setWindowVisible(bool on) = 0;
    virtual void setWindowPosition(int left, int top) = 0;
    virtual Rect screenArea() const = 0;                    // the desktop's usable area; empty when unknown
    // The usable area of every screen, the primary one first; none when unknown.
    virtual std::vector<Rect> screenAreas() const {
        const Rect area = screenArea();
        if (area.width <= 0 || area.height <= 0) return {};
        return {area};
    }
    virtual bool trayAvailable() const = 0;                 // whether the desktop has a notification area

    // Modal interaction.
    virtual Answer messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon = Icon::None) = 0;
    virtual std::optional<Path> openFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<Path> saveFileDialog(const FileDialogRequest& request) = 0;
    // The password dialog: the confirmed text, or nothing when it was closed otherwise.
    virtual std::optional<Text> askPassword(const PasswordDialogLook& look) = 0;
    // The locked room's goal dialog, filled in with `offered`: the confirmed
    // goal, or nothing when it was closed otherwise.
    virtual std::optional<WritingGoal> askWritingGoal(const WritingGoal& offered, const PasswordDialogLook& look) = 0;
    // Long work on a large document: `text` with the share done (0..1). The
    // window repaints meanwhile but takes no input until endProgress, so
    // nothing can change the session halfway.
    virtual void showProgress(const Text& text, double fraction) = 0;
    virtual void endProgress() = 0;
    // Between two steps of long work: while progress is shown, the window
    // repaints (and still takes no input); otherwise nothing happens.
    virtual void paintDuringWork() const = 0;

    // Runs `task` on the window's thread once it is back in its event loop;
    // may be called from any thread.
    virtual void post(std::function<void()> task) = 0;

    // Watches one file on disk (and its folder, so that a file deleted and
    // written anew is still seen): changes by anyone raise FileChanged, the
    // program's own saves too. An empty path stops watching.
    virtual void watchFile(const Path& path) = 0;

    // Platform services.
    virtual Text clipboardText() const = 0;
    virtual void setClipboardText(const Text& text) = 0;
    // The desktop's handler; never waits for it. False when none could be started.
    virtual bool openUrl(const std::string& url) = 0;
    // The logged-on user's name in GBK, empty when it cannot be read.
    virtual Text userName() const = 0;

    // Find and Replace windows.
    virtual FindWindows& findWindows() = 0;

    // The history window.
    virtual HistoryWindow& historyWindow() = 0;
};

}  // namespace talery
