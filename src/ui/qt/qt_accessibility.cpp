#include "ui/qt/qt_accessibility.h"

#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"
#include "ui/unit_table.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace talery {
namespace {

using U = Unit;

// Units the window shows no text for, or a text that does not say what they
// are. Every other unit is read by the text it shows or by its caption.
struct GivenName {
    Unit unit;
    std::string_view name;
};
const GivenName kGivenNames[] = {
    {U::背景, "顶图"}, {U::最小化按钮1, "最小化"}, {U::关闭按钮, "关闭"},
    {U::左上调节器, "调整窗口大小"}, {U::上调节器, "调整窗口大小"}, {U::右上调节器, "调整窗口大小"},
    {U::右调节器, "调整窗口大小"}, {U::右下调节器, "调整窗口大小"}, {U::下调节器, "调整窗口大小"},
    {U::左下调节器, "调整窗口大小"}, {U::左侧调节器, "调整窗口大小"},
    {U::录音按钮1, "菜单"}, {U::编辑框1, "正文"}, {U::状态条1, "写作状态"},
    {U::关于, "信息面板"}, {U::高级选择夹1, "信息面板"}, {U::高级选择夹2, "随机取名"},
    {U::高级字数统计, "字数统计"}, {U::书写速度, "书写速度"}, {U::图片框1, "字数统计图"}, {U::编辑框2, "许可协议"}, {U::超级列表框1, "任务列表"},
    {U::编辑框4, "人物名字"}, {U::编辑框5, "地点名字"}, {U::组合框1, "地点类型"},
};

// Captions beside a box: the box is named by the caption (without its colon)
// and linked to it, so a screen reader also tells which caption it has.
const std::pair<Unit, Unit> kCaptions[] = {
    {U::章节名称提示, U::章节名称},     {U::软件主题颜色标签1, U::顶图类型}, {U::软件主题颜色标签, U::颜色},
    {U::文本颜色标签, U::文本颜色},     {U::小提示内容标签, U::提示类型},   {U::小提示内容标签1, U::按钮类型},
    {U::版本空间标签, U::版本空间},     {U::版本总空间标签, U::版本总空间},
};

// Glyphs and captions that act as buttons when clicked; the link opens a page.
const Unit kPressable[] = {U::录音按钮,  U::录音按钮1, U::最小化按钮1, U::关闭按钮, U::透明标签1,
                           U::透明标签2, U::透明标签3, U::透明标签5,   U::超级链接框2};
constexpr const char* kLinkProperty = "talery-link";
// The window's notification of status notes: no pixels, only a name that appears.
const QString kAnnouncer = QStringLiteral("播报");

QString withoutColon(QString caption) {
    while (caption.endsWith(QChar(0xFF1A)) || caption.endsWith(QLatin1Char(':'))) caption.chop(1);
    return caption.trimmed();
}

// A label: text or picture, or a glyph or caption that acts as a button (or
// a link), read by its name and pressed by the accessibility action as by a
// click. Its role is asked each time: it may be made pressable after the
// toolkit first asked about it.
class LabelAccessible : public QAccessibleWidget {
public:
    explicit LabelAccessible(ClickLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QAccessible::Role role() const override {
        if (label()->pressable()) return label()->property(kLinkProperty).toBool() ? QAccessible::Link : QAccessible::Button;
        return label()->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return label()->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        if (!label()->pressable()) return QAccessibleWidget::actionNames();
        return QStringList{pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && label()->pressable()) label()->press();
        else QAccessibleWidget::doAction(action);
    }

private:
    ClickLabel* label() const { return static_cast<ClickLabel*>(widget()); }
};

// A closed combo box read by its current choice. Screen readers take the
// value of a closed one from its text, or from the selected item of its list,
// which this toolkit does not offer through the bus; so the box offers its
// current choice as its (read-only) text and no list.
class ComboAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("activated(int)"));
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        // The name is the choice, as the toolkit's own box has it; the caption comes by the label link.
        if (t == QAccessible::Name || t == QAccessible::Value) return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // The choice as a read-only text.
    QString text(int start, int end) const override { return box()->currentText().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(box()->currentText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
    if (auto* label = qobject_cast<ClickLabel*>(object)) return new LabelAccessible(label);
    if (auto* box = qobject_cast<QComboBox*>(object); box && !box->isEditable()) return new ComboAccessible(box);
    // Screen readers have a key that reads the status bar: the live count and the writing timer.
    if (auto* bar = qobject_cast<StatusBarWidget*>(object)) return new QAccessibleWidget(bar, QAccessible::StatusBar);
    // The frameless main window is still a window, read by its caption as it takes the focus.
    if (auto* main = qobject_cast<MainWidget*>(object)) return new QAccessibleWidget(main, QAccessible::Window);
    if (auto* w = qobject_cast<QWidget*>(object); w && w->objectName() == kAnnouncer)
        return new QAccessibleWidget(w, QAccessible::Notification);
    return nullptr;
}

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

// Menus read as a screen reader user expects: the arrows stop on entries that
// cannot be chosen now, which are then spoken as unavailable, so a menu sounds
// the same in and out of a session; one opened by a key opens on its first
// entry, so that the focus is seen to go into it.
class MenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == QStyle::SH_Menu_AllowActiveAndDisabled) return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

void openOnFirstEntry(QMenu* menu) {
    // Once shown: showing clears the menu's choice.
    QTimer::singleShot(0, menu, [menu] {
        if (!menu->isVisible() || menu->activeAction()) return;
        for (QAction* entry : menu->actions())
            if (entry->isVisible() && !entry->isSeparator()) {
                menu->setActiveAction(entry);
                return;
            }
    });
}

class MenuReader : public QObject {
public:
    MenuReader() : QObject(qApp), style_(new MenuStyle) {
        style_->setParent(this);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        // A window hands the keyboard to its own menu and takes it back: the
        // toolkit tells screen readers each time that the window was activated,
        // and they read the whole window again over the menu. The window stays
        // active all along, so the window-level focus change is dropped; the
        // units' focus moves as ever.
        if (event->type() == QEvent::ApplicationDeactivate) lentToMenu_ = nullptr;  // the menu went with the program
        if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && object->isWindowType() &&
            static_cast<QWindow*>(object)->type() != Qt::Popup) {
            auto* window = static_cast<QWindow*>(object);
            if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) {
                lentToMenu_ = window;
                return true;
            }
            if (event->type() == QEvent::FocusIn && lentToMenu_ == window) {
                lentToMenu_ = nullptr;
                return true;
            }
            lentToMenu_ = nullptr;
        }
        if (event->type() == QEvent::ContextMenu) {
            keyed_ = static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
        } else if (event->type() == QEvent::Polish) {
            if (auto* menu = qobject_cast<QMenu*>(object); menu && menu->style() != style_) menu->setStyle(style_);
        } else if (event->type() == QEvent::Show) {
            if (auto* menu = qobject_cast<QMenu*>(object)) {
                // A text field's own menu says what it is.
                QWidget* owner = menu->parentWidget();
                if (menu->accessibleName().isEmpty() && (qobject_cast<QLineEdit*>(owner) || qobject_cast<QPlainTextEdit*>(owner)))
                    menu->setAccessibleName(QStringLiteral("编辑"));
                if (std::exchange(keyed_, false)) openOnFirstEntry(menu);
            }
        }
        return false;
    }

private:
    QProxyStyle* style_;
    bool keyed_ = false;  // the last context menu was asked for by a key
    QPointer<QWindow> lentToMenu_;  // the window whose keyboard a menu of its own has
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

// The main window is read by a short name, Talery and the document's title,
// as it comes back after every dialog: not the long caption of its title
// strip, which stays readable there. A screen reader speaks a new name of the
// active window at once, so the name follows the title while the window is
// inactive (a dialog or another program in front), never at each key typed
// into the title.
class WindowName : public QObject {
public:
    WindowName(QWidget* main, QLineEdit* title) : QObject(main), main_(main), title_(title) {
        rename();
        main->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowDeactivate) rename();
        return false;
    }

private:
    void rename() {
        const QString document = title_ ? title_->text().trimmed() : QString();
        main_->setAccessibleName(document.isEmpty() ? QStringLiteral("Talery") : QStringLiteral("Talery - ") + document);
    }
    QWidget* main_;
    QPointer<QLineEdit> title_;
};

// Speaks the live count and the writing timer of the status bar.
void speakStatus(QWidget* main, const StatusBarWidget* bar) {
    QStringList parts;
    for (int i = 0; i < 2; ++i)
        if (const QString text = bar->part(i)->text().trimmed(); !text.isEmpty()) parts << text;
    announce(main, parts.join(QStringLiteral("，")));
}

}  // namespace

void installAccessibleRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

void captionChanged(QLabel* caption) {
    if (QWidget* box = caption->buddy()) box->setAccessibleName(withoutColon(caption->text()));
}

void announce(QWidget* window, const QString& note) {
    auto* announcer = window->findChild<QWidget*>(kAnnouncer, Qt::FindDirectChildrenOnly);
    if (!announcer) {
        announcer = new QWidget(window);
        announcer->setObjectName(kAnnouncer);
        announcer->setAttribute(Qt::WA_TransparentForMouseEvents);
        announcer->setGeometry(0, 0, 1, 1);
    }
    // A notification is spoken as it appears: hidden and shown again for each note.
    announcer->hide();
    announcer->setAccessibleName(note);
    if (window->isVisible()) announcer->show();
}

QString accessibleNameFor(Unit unit, Picture picture) {
    if (unit != Unit::录音按钮) return {};
    return picture == Picture::RecordActive ? QStringLiteral("停止录音") : QStringLiteral("录音");
}

void setUpAccessibility(QtWindow& window) {
    for (Unit u : kPressable) {
        auto* label = qobject_cast<ClickLabel*>(window.unitWidget(u));
        if (!label) continue;
        if (u == Unit::超级链接框2) label->setProperty(kLinkProperty, true);
        // Reached by Tab, never by a click, so a click on the record button leaves the caret in the body.
        label->setPressable(Qt::TabFocus);
    }
    for (const GivenName& given : kGivenNames)
        if (QWidget* w = window.unitWidget(given.unit)) w->setAccessibleName(utf8ToQt(given.name));
    if (QWidget* record = window.unitWidget(Unit::录音按钮))
        record->setAccessibleName(accessibleNameFor(Unit::录音按钮, Picture::RecordIdle));
    for (auto [caption, box] : kCaptions) {
        auto* label = qobject_cast<QLabel*>(window.unitWidget(caption));
        QWidget* w = window.unitWidget(box);
        if (!label || !w) continue;
        label->setBuddy(w);
        captionChanged(label);
    }
    // The tab controls: their tabs and pages read as the control and its captions.
    for (Unit u : {Unit::高级选择夹1, Unit::高级选择夹2}) {
        auto* tabs = qobject_cast<TabControl*>(window.unitWidget(u));
        if (!tabs) continue;
        tabs->bar()->setAccessibleName(tabs->accessibleName());
        for (int i = 0; i < tabs->pageCount(); ++i) tabs->page(i)->setAccessibleName(tabs->bar()->tabText(i));
    }
    if (auto* bar = qobject_cast<StatusBarWidget*>(window.unitWidget(Unit::状态条1))) {
        // The parts read as what they show; the empty ones still say what they are for.
        const UnitDesign& design = designOf(Unit::状态条1);
        for (int i = 0; i < 4 && i < static_cast<int>(design.items.size()); ++i)
            bar->part(i)->setAccessibleDescription(utf8ToQt(design.items[static_cast<std::size_t>(i)]));
    }

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
    if (QMenu* menu = window.menu()) {
        new MenuKeepsAlt(menu);
        menu->setAccessibleName(QStringLiteral("开始"));
    }
    static MenuReader* const menus = new MenuReader;
    (void)menus;
    new WindowName(main, qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称)));
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
