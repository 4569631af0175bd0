#pragma once
// The Qt 6 Widgets implementation of the window layer. It builds the main
// window from the unit table with absolute geometry and turns the widgets'
// signals into events for the logic.

#include "ui/qt/qt_find_windows.h"
#include "ui/qt/qt_history_window.h"
#include "ui/window.h"

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QWidget;
class QAction;
class QMenu;
class QTimer;
class QSystemTrayIcon;
class QProgressDialog;
class QFileSystemWatcher;

namespace talery {

class MainWidget;
class ChromeDrag;

// Qt strings to and from GBK; CR LF in the logic's text is a line break here.
QString toQt(std::string_view gbkText);
Text fromQt(const QString& text);
QString utf8ToQt(std::string_view utf8);
// A typed or pasted string with every character GBK cannot hold as "?".
QString gbkSafe(const QString& text);

class QtWindow : public QObject, public Window {
    Q_OBJECT
public:
    QtWindow();
    ~QtWindow() override;

    QWidget* widget() const;            // the main window
    QWidget* unitWidget(Unit unit) const;  // nullptr for units without a window
    QAction* menuAction(Unit unit) const;
    QMenu* menu() const;
    QTimer* timer(Unit unit) const;

    void setEventSink(EventSink* sink) override { sink_ = sink; }
    void raise(const UiEvent& event);
    bool askClose();
    void deliverDrop(const QStringList& files);

    Text text(Unit unit) const override;
    void setText(Unit unit, const Text& text) override;
    void takeText(Unit unit, Text&& text) override;
    bool enabled(Unit unit) const override;
    void setEnabled(Unit unit, bool on) override;
    bool visible(Unit unit) const override;
    void setVisible(Unit unit, bool on) override;
    bool checked(Unit unit) const override;
    void setChecked(Unit unit, bool on) override;
    int selection(Unit unit) const override;
    void setSelection(Unit unit, int index) override;
    Text itemText(Unit unit, int index) const override;
    int itemCount(Unit unit) const override;
    Colour textColour(Unit unit) const override;
    void setTextColour(Unit unit, Colour colour) override;
    Colour backgroundColour(Unit unit) const override;
    void setBackgroundColour(Unit unit, Colour colour) override;
    int fontSize(Unit unit) const override;
    void setFontSize(Unit unit, int points) override;
    Rect geometry(Unit unit) const override;
    void setGeometry(Unit unit, const Rect& rect) override;
    void setAlignment(Unit unit, Align align) override;
    Align alignment(Unit unit) const override;
    void setFocus(Unit unit) override;
    Unit focus() const override;
    void setButtonColours(Unit unit, const ColourPair& a, const ColourPair& b, const ColourPair& c) override;
    void setPicture(Unit unit, Picture picture) override;

    TextSelection bodySelection() const override;
    void setBodySelection(TextSelection selection) override;
    void replaceBodyRange(TextSelection range, const Text& text) override;
    std::size_t bodyLength() const override;
    Text bodyText(std::size_t position, std::size_t count) const override;

    Text statusText(int part) const override;
    void setStatusText(int part, const Text& text) override;
    void setStatusPartWidth(int part, int width) override;
    void setStatusNote(int part, const Text& note) override;

    int timerInterval(Unit timer) const override;
    void setTimerInterval(Unit timer, int milliseconds) override;

    void clearList(Unit list) override;
    void insertListItem(Unit list, int position, const Text& caption) override;
    std::vector<Text> listItems(Unit list) const override;

    Rect windowGeometry() const override;
    void setWindowSize(int width, int height) override;
    WindowState windowState() const override;
    void setWindowState(WindowState state) override;
    void setAlwaysOnTop(bool on) override;
    bool fullScreen() const override;
    void setFullScreen(bool on) override;
    void setWindowAlpha(int alpha) override;
    Colour windowBackground() const override;
    void setWindowBackground(Colour colour) override;
    void startSystemMove() override;
    void startSystemResize(int side) override;
    void requestClose() override;
    void popupMenu(Unit menu) override;
    void showTrayIcon(const Text& tip) override;
    void removeTrayIcon() override;

    // Application shell.
    bool windowVisible() const override;
    void setWindowVisible(bool on) override;
    void setWindowPosition(int left, int top) override;
    Rect screenArea() const override;
    std::vector<Rect> screenAreas() const override;
    bool trayAvailable() const override;
    Text userName() const override;
    bool alwaysOnTop() const;
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The theme's colours for windows of the program (dialogs, menus, tool
    // windows): set it on a new window so that it follows the theme.
    QPalette themePalette() const;

    Answer messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon) override;
    std::optional<Path> openFileDialog(const FileDialogRequest& request) override;
    std::optional<Path> saveFileDialog(const FileDialogRequest& request) override;
    std::optional<Text> askPassword(const PasswordDialogLook& look) override;
    std::optional<WritingGoal> askWritingGoal(const WritingGoal& offered, const PasswordDialogLook& look) override;
    void showProgress(const Text& text, double fraction) override;
    void endProgress() override;
    void post(std::function<void()> task) override;
    void paintDuringWork() const override;

    Text clipboardText() const override;
    void setClipboardText(const Text& text) override;
    bool openUrl(const std::string& url) override;
    void watchFile(const Path& path) override;

    // Find and Replace windows.
    QtFindWindows& findWindows() override { return *findWindows_; }
    // The history window.
    QtHistoryWindow& historyWindow() override { return *historyWindow_; }

private:
    struct Slot {
        QPointer<QWidget> widget;
        QAction* action = nullptr;
        QTimer* timer = nullptr;
        // Properties of units without a window of their own.
        bool enabled = true;
        bool visible = false;
        Text text;
        Colour textColour = 0;
        Colour background = 0;
        Picture picture = Picture::None;
    };

    void build();
    QWidget* createUnit(const struct UnitDesign& design, QWidget* parent);
    QWidget* parentFor(const struct UnitDesign& design) const;
    std::optional<Path> runFileDialog(const FileDialogRequest& request, bool save);

    std::unique_ptr<MainWidget> main_;
    std::vector<Slot> slots_;
    QMenu* menu_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    // The document on disk: the file and its folder.
    QFileSystemWatcher* watcher_ = nullptr;
    Path watched_;
    EventSink* sink_ = nullptr;
    Colour windowBackground_ = 0;

    // Application shell: the frameless window's move and resize, and the
    // theme's colours carried over to dialogs, menus and scroll bars.
    void applyThemePalette();
    void themed(QWidget* dialog) const;
    void updateHalo();
    void fitBodyAboveBar();
    ChromeDrag* chrome_ = nullptr;
    bool resizing_ = false;
    bool fullScreen_ = false;
    bool wasMaximised_ = false;
    QRect beforeFullScreen_;  // the frame to come back to: without a window manager nobody else keeps it
    // Find and Replace windows, above the main window.
    // The body's selection on the screen, for the Find windows to keep off.
    QRect bodySelectionArea() const;
    std::unique_ptr<QtFindWindows> findWindows_;
    std::unique_ptr<QtHistoryWindow> historyWindow_;
    // Opening or saving a large document.
    QPointer<QProgressDialog> progress_;
};

}  // namespace talery
