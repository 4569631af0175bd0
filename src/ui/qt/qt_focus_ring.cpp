// The focus ring: which unit has the keyboard focus, visibly in every theme.

#include "ui/qt/qt_accessibility.h"

#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QTabBar>
#include <QTimer>

#include <algorithm>
#include <array>

namespace talery {
namespace {

constexpr int kRingWidth = 3;

// One side of the focus ring: a strip that paints its part of the ring's lines,
// every pixel of itself, so that nothing beneath it is painted for nothing.
class RingSide : public QWidget {
public:
    explicit RingSide(QWidget* window) : QWidget(window) {
        setObjectName(QStringLiteral("焦点框"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }
    // `ring` and `side` in the window's coordinates.
    void cover(const QRect& ring, const QRect& side) {
        ring_ = ring;
        setGeometry(side);
        raise();
        show();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QColor text = parentWidget()->palette().color(QPalette::Active, QPalette::WindowText);
        const Colour c = colourFromQt(text);
        const QColor other = contrastRatio(c, kBlack) >= contrastRatio(c, kWhite) ? Qt::black : Qt::white;
        QPainter p(this);
        p.translate(-pos());
        for (int line = 0; line < kRingWidth; ++line) {
            p.setPen(line % 2 ? other : text);
            p.drawRect(ring_.adjusted(line, line, -1 - line, -1 - line));
        }
    }

private:
    QRect ring_;
};

// A ring round the unit of the window that has the keyboard focus, whatever
// the style draws or not, just inside its edge: a line in the window's text
// colour, which reads on the theme's background, one in the other of black
// and white, and the first again, so that over any frame and face or picture
// one of them stands out. Shown once a key (Tab, a shortcut) moves the focus;
// a press of the mouse leaves it off until a key moves the focus again, so a
// writer who points and types sees the caret alone, not a frame round the page.
class FocusRing : public QObject {
public:
    explicit FocusRing(QWidget* window) : QObject(window), window_(window) {
        for (RingSide*& side : sides_) side = new RingSide(window);
        window->installEventFilter(this);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        switch (event->type()) {
            case QEvent::FocusIn:
                if (auto* w = qobject_cast<QWidget*>(object); w && w->hasFocus()) follow(w, static_cast<QFocusEvent*>(event)->reason());
                break;
            case QEvent::MouseButtonPress:
                if (auto* w = qobject_cast<QWidget*>(object); w && w->window() == window_) {
                    keyed_ = false;
                    if (shown_) {
                        shown_ = false;
                        place();
                    }
                }
                break;
            case QEvent::KeyPress:
                // A key that moves the focus; the focus a disabled unit hands on
                // also comes "by Tab", without one.
                if (auto* key = static_cast<QKeyEvent*>(event);
                    key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::AltModifier))
                    keyed_ = true;
                break;
            case QEvent::FocusOut:
                if (object == target_) place();
                break;
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
                if (object == target_) place();
                // The window lays its units out as it takes its new size: after that.
                if (object == window_) QMetaObject::invokeMethod(this, &FocusRing::place, Qt::QueuedConnection);
                break;
            default: break;
        }
        return false;
    }

private:
    void follow(QWidget* w, Qt::FocusReason reason) {
        if (w->window() != window_) return;
        if (keyed_ && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason))
            shown_ = true;
        disconnect(turned_);
        target_ = w;
        // Tabs are ringed one by one: the current tab, which the focus is on.
        if (auto* tabs = qobject_cast<QTabBar*>(w)) turned_ = connect(tabs, &QTabBar::currentChanged, this, [this] { place(); });
        place();
    }

    void place() {
        if (!shown_ || !target_ || !target_->hasFocus() || !target_->isVisible()) {
            for (RingSide* side : sides_) side->hide();
            return;
        }
        QRect ringed = target_->rect();
        if (auto* tabs = qobject_cast<QTabBar*>(target_.data()); tabs && tabs->currentIndex() >= 0)
            ringed = tabs->tabRect(tabs->currentIndex());
        const int w = kRingWidth;
        // A glyph (× and _ of the title strip) is ringed round what it shows, not inside its
        // edge, where the lines would cover half of it.
        if (auto* label = qobject_cast<QLabel*>(target_.data());
            label && label->pixmap().isNull() && label->text().size() == 1) {
            const QRect glyph = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                                    label->fontMetrics().boundingRect(label->text()).size(),
                                                    label->contentsRect());
            ringed = glyph.adjusted(-w - 1, -w - 1, w + 1, w + 1);
        }
        const QRect r = ringed.translated(target_->mapTo(window_, QPoint()));
        sides_[0]->cover(r, QRect(r.left(), r.top(), r.width(), w));
        sides_[1]->cover(r, QRect(r.left(), r.bottom() - w + 1, r.width(), w));
        sides_[2]->cover(r, QRect(r.left(), r.top() + w, w, r.height() - 2 * w));
        sides_[3]->cover(r, QRect(r.right() - w + 1, r.top() + w, w, r.height() - 2 * w));
    }

    QWidget* window_;
    std::array<RingSide*, 4> sides_{};
    QPointer<QWidget> target_;
    QMetaObject::Connection turned_;
    bool shown_ = false;
    bool keyed_ = false;  // since the last press of the mouse, a key that moves the focus came
};

}  // namespace

void ringFocus(QWidget* window) { new FocusRing(window); }

}  // namespace talery
