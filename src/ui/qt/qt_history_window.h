#pragma once
// The history window in Qt: a non-modal window above the main window with
// the rows on the left and the marked text on the right. A long text goes
// into the preview a slice at a time between events, so the first screen
// shows at once and the main window keeps taking keys.

#include "ui/history_window.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace talery {

struct UiEvent;

class QtHistoryWindow : public HistoryWindow {
public:
    QtHistoryWindow(QWidget* mainWindow, std::function<void(const UiEvent&)> raise);
    ~QtHistoryWindow() override;

    QDialog* dialog() const { return dialog_.data(); }
    QTreeWidget* list() const { return list_; }
    QPlainTextEdit* preview() const { return preview_; }
    QPushButton* button(HistoryUnit unit) const;
    // Whether the whole text is in the preview (tests and the benchmark).
    bool previewComplete() const;

    void open(const Text& caption, const FindWindowLook& look) override;
    void close() override;
    bool shown() const override;
    void setRows(const std::vector<HistoryRow>& rows) override;
    void setRow(int index, const HistoryRow& row) override;
    int currentRow() const override;
    void setCurrentRow(int index) override;
    void showText(std::shared_ptr<const MarkedText> text) override;
    void showNote(const Text& note) override;
    void setProgress(double fraction) override;
    void setEnabled(HistoryUnit unit, bool on) override;
    bool enabled(HistoryUnit unit) const override;
    void setText(HistoryUnit unit, const Text& text) override;

private:
    void build();
    // Puts the next lines of the shown text into the preview; true when more are left.
    bool fillSome(std::size_t lines);

    QWidget* main_;
    std::function<void(const UiEvent&)> raise_;
    QPointer<QDialog> dialog_;
    QTreeWidget* list_ = nullptr;
    QPlainTextEdit* preview_ = nullptr;
    QLabel* legend_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* bringBack_ = nullptr;
    QPushButton* close_ = nullptr;
    QTimer* filler_ = nullptr;
    std::vector<QTreeWidgetItem*> items_;
    bool filling_ = false;  // rows set by the program raise no event
    std::shared_ptr<const MarkedText> text_;
    std::size_t nextLine_ = 0;
};

}  // namespace talery
