#pragma once
// The Find and Replace windows in Qt: small non-modal dialogs above the main
// window, built from their design; their units' signals become events.

#include "ui/find_windows.h"

#include <QPointer>
#include <QRect>

#include <array>
#include <functional>
#include <map>

class QDialog;
class QWidget;

namespace talery {

struct UiEvent;

class QtFindWindows : public FindWindows {
public:
    QtFindWindows(QWidget* mainWindow, std::function<void(const UiEvent&)> raise);
    ~QtFindWindows() override;

    QDialog* dialog(FindWindowKind window) const;
    QWidget* unitWidget(FindWindowKind window, FindUnit unit) const;

    void open(FindWindowKind window, const FindWindowLook& look) override;
    void hide(FindWindowKind window) override;
    void destroy(FindWindowKind window) override;
    bool exists(FindWindowKind window) const override { return dialog(window) != nullptr; }
    bool shown(FindWindowKind window) const override;
    Text text(FindWindowKind window, FindUnit unit) const override;
    void setText(FindWindowKind window, FindUnit unit, const Text& text) override;
    void selectAllText(FindWindowKind window, FindUnit unit) override;
    bool checked(FindWindowKind window, FindUnit unit) const override;
    bool enabled(FindWindowKind window, FindUnit unit) const override;
    void setEnabled(FindWindowKind window, FindUnit unit, bool on) override;

    // Where the body's match is on the screen (global coordinates; empty
    // when there is none): the windows keep off it.
    void setMatchArea(std::function<QRect()> area) { matchArea_ = std::move(area); }
    // Moves a shown window that covers the match beside it.
    void keepClearOfMatch();

private:
    struct Built {
        QPointer<QDialog> dialog;
        std::map<FindUnit, QWidget*> units;
    };
    Built& slot(FindWindowKind window);
    const Built& slot(FindWindowKind window) const;
    void build(FindWindowKind window);

    QWidget* main_;
    std::function<void(const UiEvent&)> raise_;
    std::array<Built, 2> windows_;
    std::function<QRect()> matchArea_;
    void keepClear(QDialog* d);
};

}  // namespace talery
