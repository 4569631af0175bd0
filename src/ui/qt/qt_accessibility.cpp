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

    setUpKeyboard(window);
    if (QMenu* menu = window.menu()) menu->setAccessibleName(QStringLiteral("开始"));
    static MenuReader* const menus = new MenuReader;
    (void)menus;
    new WindowName(window.widget(), qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称)));
}

}  // namespace talery
