#pragma once
// Widgets of the Qt window layer that report what the logic listens to.

#include <QCloseEvent>
#include <QMimeData>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

#include "ui/qt/qt_text_edit.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace talery {

// Virtual-key code and modifier bits of a key event, as the logic numbers them.
int virtualKey(int qtKey);
int modifierBits(Qt::KeyboardModifiers modifiers);

// The local files a drag or a paste carries; empty when it carries none.
QStringList localFiles(const QMimeData* mime);

// A label that reports the left button going down and double clicks. A
// pressable one (a glyph or caption that acts as a button) is also pressed
// by Space or Enter when it has the focus.
// A window the logic closes: the close box and Escape only tell it, and
// it hides the window or lets it go.
class LogicClosedDialog : public QDialog {
public:
    LogicClosedDialog(QWidget* parent, std::function<void()> onClose) : QDialog(parent), onClose_(std::move(onClose)) {}
    void reject() override { onClose_(); }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        onClose_();
    }

private:
    std::function<void()> onClose_;
};

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setPressable(Qt::FocusPolicy policy);
    bool pressable() const { return pressable_; }
    void press() { emit pressed(); }
signals:
    void pressed();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool pressable_ = false;
};

// Single-line edit box. What the user types or pastes that GBK cannot hold
// becomes "?" at once, so what is shown is what is saved.
class LineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit LineEdit(QWidget* parent);
signals:
    void keyDown(int key, int modifiers);
    void userEdited();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Dragged files are for the window to open, not path text to insert.
    void dragEnterEvent(QDragEnterEvent* event) override;
};

class StatusBarWidget : public QWidget {
    Q_OBJECT
public:
    explicit StatusBarWidget(QWidget* parent);
    ClickLabel* part(int i) const { return parts_[static_cast<std::size_t>(i)]; }
    void setPartWidth(int i, int width);
    // After a part's text changed: a figure that has outgrown its part widens it.
    void textChanged(int i);
    // The width a part needs to show its whole text.
    int neededWidth(int i) const;
signals:
    void pressed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutParts();
    std::array<ClickLabel*, 4> parts_{};
    std::array<int, 4> widths_{110, 170, 759, 80};
};

class ColourPicker : public QPushButton {
    Q_OBJECT
public:
    explicit ColourPicker(QWidget* parent);
    unsigned colour() const { return colour_; }
    void setColour(unsigned bgr);
signals:
    void chosen();

private:
    void pick();
    unsigned colour_ = 0;
};

// A tab control whose pages lie over its whole rectangle, so that units on a
// page are placed relative to the control, as designed.
class TabControl : public QWidget {
    Q_OBJECT
public:
    TabControl(QWidget* parent, const std::vector<QString>& captions);
    QWidget* page(int i) const { return pages_.at(static_cast<std::size_t>(i)); }
    int pageCount() const { return static_cast<int>(pages_.size()); }
    int current() const { return bar_->currentIndex(); }
    void setCurrent(int index);  // from the program: no pageChanged
    void turnPage(bool forward);  // as the user does it, the tabs taking the focus
    QTabBar* bar() const { return bar_; }
signals:
    void pageChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void show(int index);
    QTabBar* bar_;
    std::vector<QWidget*> pages_;
    bool programmatic_ = false;
};

// The frameless main window.
class MainWidget : public QWidget {
    Q_OBJECT
public:
    MainWidget();
    std::function<void()> onResized;
    std::function<bool()> onCloseRequested;
    std::function<void(const QStringList&)> onFilesDropped;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace talery
