#include "ui/qt/qt_accessibility.h"

#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"
#include "ui/unit_table.h"

#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMenu>
#include <QShortcut>

#include <algorithm>
#include <utility>
#include <vector>

// The keys that reach every unit a writer needs: the focus order, the panel's
// own round of Tab, and the keys that open the menu, turn the panel's pages,
// close the panel and speak the status.

namespace talery {
namespace {

// The panel takes the focus when it opens and gives it back when it closes,
// so that a keyboard user lands in it and not behind it; while it is open,
// Tab and Shift+Tab go round its own units, never into the window behind it.
class PanelFocus : public QObject {
public:
    PanelFocus(QWidget* panel, QWidget* pages, QWidget* body, QWidget* title)
        : QObject(panel), panel_(panel), pages_(pages), body_(body), title_(title) {
        panel->installEventFilter(this);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == panel_ && event->type() == QEvent::Show && panel_->window()->isActiveWindow()) {
            pages_->setFocus(Qt::OtherFocusReason);
        } else if (object == panel_ && event->type() == QEvent::Hide && panel_->isAncestorOf(QApplication::focusWidget())) {
            (body_->isEnabled() ? body_ : title_)->setFocus(Qt::OtherFocusReason);
        } else if (event->type() == QEvent::KeyPress && panel_->isVisible() && object == QApplication::focusWidget()) {
            return wrapAround(static_cast<QWidget*>(object), static_cast<QKeyEvent*>(event));
        }
        return false;
    }

private:
    static bool takesTab(const QWidget* w) {
        return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus);
    }
    static QWidget* step(QWidget* from, bool forward) {
        for (QWidget* w = from;;) {
            w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
            if (w == from) return nullptr;
            if (takesTab(w)) return w;
        }
    }

    bool wrapAround(QWidget* focus, QKeyEvent* key) {
        if ((key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) || (key->modifiers() & Qt::ControlModifier) ||
            !panel_->isAncestorOf(focus))
            return false;
        const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
        QWidget* next = step(focus, forward);
        if (!next || panel_->isAncestorOf(next)) return false;
        // Past the last unit: the first (the tabs); before the first: the last.
        QWidget* wrapTo = pages_;
        if (!forward)
            for (QWidget* w = step(pages_, true); w && w != pages_ && panel_->isAncestorOf(w); w = step(w, true)) wrapTo = w;
        wrapTo->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }

    QWidget* panel_;
    QWidget* pages_;
    QWidget* body_;
    QWidget* title_;
};

// The menu 开始 stays open on a lone Alt. With a screen reader listening, the
// toolkit's accessibility bridge hands every key to the reader and back, so
// the Alt of Alt+F can arrive after the F has opened the menu; Qt's menus
// close on Alt. Esc still closes it.
class MenuKeepsAlt : public QObject {
public:
    explicit MenuKeepsAlt(QMenu* menu) : QObject(menu) {
        menu->installEventFilter(this);
        // The toolkit shows a menu to screen readers outside the window's tree, so
        // they never say which menu it is: its name is told once its first
        // entry has been read, as a note that does not cut that entry short.
        connect(menu, &QMenu::aboutToShow, this, [this] { told_ = false; });
        connect(menu, &QMenu::hovered, this, [this, menu] {
            if (std::exchange(told_, true) || !menu->parentWidget()) return;
            announce(menu->parentWidget()->window(), menu->accessibleName() + QStringLiteral("菜单"));
        });
    }

    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt;
    }

private:
    bool told_ = true;
};

// A drop-down list claims Esc before the panel's shortcut sees it, so that Esc
// closes the list and not the panel round it.
class ListKeepsEsc : public QObject {
public:
    explicit ListKeepsEsc(QWidget* list) : QObject(list) { list->installEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
            return false;
        event->accept();
        return true;
    }
};

// The focus goes through those of `units` that take it by Tab, in this order.
void chainFocus(const std::vector<QWidget*>& units) {
    QWidget* previous = nullptr;
    for (QWidget* w : units) {
        if (!w || !(w->focusPolicy() & Qt::TabFocus)) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

// The unit's widget as the focus moves through it: a tab control by its tabs.
QWidget* focusTarget(QtWindow& window, Unit unit) {
    QWidget* w = window.unitWidget(unit);
    if (auto* tabs = qobject_cast<TabControl*>(w)) return tabs->bar();
    return w;
}

bool insidePanel(const UnitDesign& design) {
    for (Unit u = design.parent; u != Unit::None; u = designOf(u).parent)
        if (u == Unit::关于) return true;
    return false;
}

// Speaks the live count and the writing timer of the status bar.
void speakStatus(QWidget* main, const StatusBarWidget* bar) {
    QStringList parts;
    for (int i = 0; i < 2; ++i)
        if (const QString text = bar->part(i)->text().trimmed(); !text.isEmpty()) parts << text;
    announce(main, parts.join(QStringLiteral("，")));
}

}  // namespace

void setUpKeyboard(QtWindow& window) {
    // Focus order: title, start button, body, record button, then the glyphs of the title row.
    chainFocus({window.unitWidget(Unit::章节名称), window.unitWidget(Unit::开始书写按钮), window.unitWidget(Unit::编辑框1),
                window.unitWidget(Unit::录音按钮), window.unitWidget(Unit::录音按钮1),
                window.unitWidget(Unit::最小化按钮1), window.unitWidget(Unit::关闭按钮)});
    // The panel: its tabs, the units of the pages, then its own buttons, 确定 first.
    std::vector<QWidget*> panel{focusTarget(window, Unit::高级选择夹1)};
    std::vector<QWidget*> panelButtons;
    for (const UnitDesign& design : unitTable()) {
        if (!insidePanel(design) || design.unit == Unit::高级选择夹1) continue;
        auto& into = design.parent == Unit::关于 ? panelButtons : panel;
        into.push_back(focusTarget(window, design.unit));
    }
    std::reverse(panelButtons.begin(), panelButtons.end());  // 确定, 官方博客, 联系作者, 取消
    panel.insert(panel.end(), panelButtons.begin(), panelButtons.end());
    chainFocus(panel);

    QWidget* main = window.widget();
    ringFocus(main);
    QWidget* about = window.unitWidget(Unit::关于);
    new PanelFocus(about, focusTarget(window, Unit::高级选择夹1), window.unitWidget(Unit::编辑框1),
                   window.unitWidget(Unit::章节名称));
    // Esc closes the panel as its 取消 does.
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), about);
    close->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(close, &QShortcut::activated, about, [&window] {
        if (auto* cancel = qobject_cast<ClickLabel*>(window.unitWidget(Unit::透明标签1))) cancel->press();
    });
    // An open drop-down list takes Esc for itself and closes alone.
    for (QComboBox* combo : about->findChildren<QComboBox*>()) new ListKeepsEsc(combo->view());
    // Ctrl+Tab and Ctrl+Shift+Tab turn the panel's pages from anywhere in it,
    // as in any tabbed dialog (a combo box would take them as typed text).
    if (auto* pages = qobject_cast<TabControl*>(window.unitWidget(Unit::高级选择夹1))) {
        for (bool forward : {true, false}) {
            auto* turn = new QShortcut(about);
            // Backwards, X11 offers the keys as Ctrl+Shift+Tab; resent by a screen reader's bridge, as Backtab.
            if (forward) turn->setKey(QKeySequence(Qt::CTRL | Qt::Key_Tab));
            else turn->setKeys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)});
            turn->setContext(Qt::WidgetWithChildrenShortcut);
            QObject::connect(turn, &QShortcut::activated, pages, [pages, forward] { pages->turnPage(forward); });
        }
    }
    if (QMenu* menu = window.menu()) new MenuKeepsAlt(menu);
    // Ctrl+Shift+I speaks the count and the writing timer, wherever the focus is.
    if (auto* bar = qobject_cast<StatusBarWidget*>(window.unitWidget(Unit::状态条1))) {
        auto* status = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), main);
        status->setContext(Qt::WindowShortcut);
        QObject::connect(status, &QShortcut::activated, main, [main, bar] { speakStatus(main, bar); });
    }
    // Alt+F and the Menu key open the menu 开始 as the menu glyph does, under the glyph. In
    // the title and the body, X11 makes the Menu key their own edit menu first, as everywhere.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::ALT | Qt::Key_F)}) {
        auto* open = new QShortcut(keys, main);
        open->setContext(Qt::WindowShortcut);
        QObject::connect(open, &QShortcut::activated, main, [&window] {
            auto* glyph = qobject_cast<ClickLabel*>(window.unitWidget(Unit::录音按钮1));
            if (!glyph || !glyph->isVisible()) return;
            glyph->setFocus(Qt::ShortcutFocusReason);
            glyph->press();
        });
    }
}

}  // namespace talery
