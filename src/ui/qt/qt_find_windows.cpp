#include "ui/qt/qt_find_windows.h"

#include "ui/find_design.h"
#include "ui/qt/qt_accessibility.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QScreen>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <stdexcept>

namespace talery {
namespace {

// The design sizes are outer sizes of the designer's windows; the client
// area leaves out its frame and caption.
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 29;

}  // namespace

QtFindWindows::QtFindWindows(QWidget* mainWindow, std::function<void(const UiEvent&)> raise)
    : main_(mainWindow), raise_(std::move(raise)) {}

QtFindWindows::~QtFindWindows() {
    for (Built& b : windows_) delete b.dialog.data();
}

QtFindWindows::Built& QtFindWindows::slot(FindWindowKind window) {
    if (window == FindWindowKind::None) throw std::out_of_range("no such window");
    return windows_[window == FindWindowKind::Find ? 0 : 1];
}

const QtFindWindows::Built& QtFindWindows::slot(FindWindowKind window) const {
    return const_cast<QtFindWindows*>(this)->slot(window);
}

QDialog* QtFindWindows::dialog(FindWindowKind window) const { return slot(window).dialog.data(); }

QWidget* QtFindWindows::unitWidget(FindWindowKind window, FindUnit unit) const {
    const Built& b = slot(window);
    if (!b.dialog) return nullptr;
    auto it = b.units.find(unit);
    return it == b.units.end() ? nullptr : it->second;
}

void QtFindWindows::build(FindWindowKind window) {
    const FindWindowDesign& design = findWindowDesign(window);
    Built& b = slot(window);
    auto event = [this, window](EventType type, FindUnit unit, int keyCode = 0) {
        raise_({.type = type, .key = keyCode, .findWindow = window, .findUnit = unit});
    };
    auto* d = new LogicClosedDialog(main_, [event] { event(EventType::Closed, FindUnit::Window); });
    d->setObjectName(utf8ToQt(design.caption));
    d->setWindowTitle(utf8ToQt(design.caption));
    d->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    d->setModal(false);
    d->setFixedSize(design.rect.width - kFrameWidth, design.rect.height - kFrameHeight);
    // At the main window's right, not over the start of the body where the
    // first match usually is; keepClear moves it off any match.
    d->move(main_->geometry().topLeft() +
            QPoint(std::max(design.rect.left, main_->width() - design.rect.width - design.rect.left), design.rect.top));
    d->setAutoFillBackground(true);
    ringFocus(d);
    b.dialog = d;
    b.units.clear();

    for (const FindUnitDesign& unit : design.units) {
        QWidget* parent = unit.parent == FindUnit::Window ? static_cast<QWidget*>(d) : b.units.at(unit.parent);
        const QString text = utf8ToQt(unit.text);
        const FindUnit u = unit.unit;
        QWidget* w = nullptr;
        switch (unit.kind) {
            case UnitKind::EditBox: {
                auto* e = new LineEdit(parent);
                QObject::connect(e, &LineEdit::userEdited, d, [event, u] { event(EventType::TextChanged, u); });
                QObject::connect(e, &LineEdit::keyDown, d, [event, u](int k, int) { event(EventType::KeyDown, u, k); });
                w = e;
                break;
            }
            case UnitKind::Button: {
                auto* p = new QPushButton(text, parent);
                // Enter belongs to the search box alone, never to a default button.
                p->setAutoDefault(false);
                QObject::connect(p, &QPushButton::clicked, d, [event, u] { event(EventType::Click, u); });
                w = p;
                break;
            }
            case UnitKind::CheckBox: {
                QAbstractButton* c = unit.radio ? static_cast<QAbstractButton*>(new QRadioButton(text, parent))
                                                : static_cast<QAbstractButton*>(new QCheckBox(text, parent));
                c->setChecked(unit.checked);
                QObject::connect(c, &QAbstractButton::clicked, d, [event, u] { event(EventType::Click, u); });
                w = c;
                break;
            }
            case UnitKind::GroupBox: w = new QGroupBox(text, parent); break;
            default: w = new QLabel(text, parent); break;
        }
        w->setObjectName(utf8ToQt(unit.name));
        w->setGeometry(unit.rect.left, unit.rect.top, unit.rect.width, unit.rect.height);
        b.units[u] = w;
    }
    // The captions' mnemonics lead to their boxes.
    for (auto [label, box] : {std::pair{FindUnit::标签1, FindUnit::编辑框1}, std::pair{FindUnit::标签2, FindUnit::编辑框2}}) {
        auto l = b.units.find(label);
        auto e = b.units.find(box);
        if (l != b.units.end() && e != b.units.end()) static_cast<QLabel*>(l->second)->setBuddy(e->second);
    }
}

void QtFindWindows::open(FindWindowKind window, const FindWindowLook& look) {
    if (!dialog(window)) build(window);
    QDialog* d = dialog(window);
    QPalette pal = d->palette();
    pal.setColor(QPalette::Window, qcolour(look.background));
    pal.setColor(QPalette::WindowText, qcolour(look.text));
    d->setPalette(pal);
    d->show();
    keepClear(d);
    d->raise();
    d->activateWindow();
}

void QtFindWindows::keepClearOfMatch() {
    for (Built& b : windows_)
        if (b.dialog && b.dialog->isVisible()) keepClear(b.dialog);
}

void QtFindWindows::keepClear(QDialog* d) {
    const QRect match = matchArea_ ? matchArea_() : QRect();
    if (match.isEmpty() || !d->frameGeometry().intersects(match)) return;
    // Below the match when it fits on the screen, else above it.
    const QScreen* screen = main_->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    constexpr int kGap = 12;
    const QRect frame = d->frameGeometry();
    QPoint to(frame.left(), match.bottom() + kGap);
    if (!room.isEmpty() && to.y() + frame.height() > room.bottom()) to.setY(match.top() - kGap - frame.height());
    if (!room.isEmpty()) {
        to.setY(std::max(to.y(), room.top()));
        to.setX(std::clamp(to.x(), room.left(), std::max(room.left(), room.right() - frame.width())));
    }
    d->move(d->pos() + (to - frame.topLeft()));
}

void QtFindWindows::hide(FindWindowKind window) {
    if (QDialog* d = dialog(window)) d->hide();
}

void QtFindWindows::destroy(FindWindowKind window) {
    Built& b = slot(window);
    if (!b.dialog) return;
    // The request may come from one of the window's own buttons: let it go
    // once that signal has returned.
    QDialog* d = b.dialog.data();
    b.dialog = nullptr;
    b.units.clear();
    d->hide();
    d->deleteLater();
}

bool QtFindWindows::shown(FindWindowKind window) const {
    QDialog* d = dialog(window);
    return d && d->isVisible();
}

Text QtFindWindows::text(FindWindowKind window, FindUnit unit) const {
    QWidget* w = unitWidget(window, unit);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return fromQt(e->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return fromQt(b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return fromQt(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) return fromQt(g->title());
    return {};
}

void QtFindWindows::setText(FindWindowKind window, FindUnit unit, const Text& text) {
    QWidget* w = unitWidget(window, unit);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(toQt(text));
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(toQt(text));
    else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(toQt(text));
}

void QtFindWindows::selectAllText(FindWindowKind window, FindUnit unit) {
    if (auto* e = qobject_cast<QLineEdit*>(unitWidget(window, unit))) {
        e->selectAll();
        e->setFocus(Qt::OtherFocusReason);
    }
}

bool QtFindWindows::checked(FindWindowKind window, FindUnit unit) const {
    auto* b = qobject_cast<QAbstractButton*>(unitWidget(window, unit));
    return b && b->isChecked();
}

bool QtFindWindows::enabled(FindWindowKind window, FindUnit unit) const {
    QWidget* w = unitWidget(window, unit);
    return w && w->isEnabled();
}

void QtFindWindows::setEnabled(FindWindowKind window, FindUnit unit, bool on) {
    if (QWidget* w = unitWidget(window, unit)) w->setEnabled(on);
}

}  // namespace talery
