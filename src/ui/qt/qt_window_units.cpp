// The Qt window: the properties of its units, their pictures, the status
// bar, the timers and the lists.
#include "ui/qt/qt_window.h"

#include "audio/qt/qt_audio.h"
#include "ui/qt/qt_accessibility.h"
#include "ui/qt/qt_body_offsets.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPainter>
#include <QProgressDialog>
#include <QTimer>

#include <limits>

namespace talery {
namespace {

// A picture of the resources at the given device pixel ratio: the drawing
// made for twice the size where the screen is that dense.
QPixmap loadPicture(const QString& name, qreal dpr) {
    const bool dense = dpr > 1.0;
    QPixmap pm(QStringLiteral(":/images/%1%2.png").arg(name, dense ? QStringLiteral("@2x") : QString()));
    if (pm.isNull()) pm.load(QStringLiteral(":/images/%1.png").arg(name));
    else if (dense) pm.setDevicePixelRatio(2.0);
    return pm;
}

// A picture that covers `size` whole, cut evenly where its proportions differ.
QPixmap coverPicture(const QString& name, QSize size, qreal dpr) {
    const QPixmap source = loadPicture(name, dpr);
    if (source.isNull() || size.isEmpty()) return source;
    const QSize device = size * dpr;
    const QPixmap scaled = source.scaled(device, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPixmap out = scaled.copy((scaled.width() - device.width()) / 2, (scaled.height() - device.height()) / 2,
                              device.width(), device.height());
    out.setDevicePixelRatio(dpr);
    return out;
}

QPixmap drawPicture(Picture picture, QSize size, qreal dpr) {
    switch (picture) {
        case Picture::MenuGlyph: return loadPicture(QStringLiteral("menu"), dpr);
        case Picture::TopImage1: return coverPicture(QStringLiteral("top1"), size, dpr);
        case Picture::TopImage2: return coverPicture(QStringLiteral("top2"), size, dpr);
        // The record button's pictures are the recorder's own images.
        case Picture::RecordIdle:
        case Picture::RecordActive: return recordPicture(picture == Picture::RecordActive, size, dpr);
        default: break;
    }
    QPixmap pm(size.isEmpty() ? QSize(24, 24) : size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(pm.rect()).adjusted(2, 2, -2, -2);
    switch (picture) {
        case Picture::Statistics: {
            p.setPen(Qt::NoPen);
            const QColor colours[] = {QColor(0, 96, 192), QColor(0, 136, 255), QColor(255, 136, 0)};
            for (int i = 0; i < 3; ++i) {
                const qreal h = r.height() * (0.4 + 0.25 * i);
                p.setBrush(colours[i]);
                p.drawRect(QRectF(r.left() + i * r.width() / 3 + 2, r.bottom() - h, r.width() / 3 - 4, h));
            }
            break;
        }
        default: break;
    }
    return pm;
}

}  // namespace

Text QtWindow::text(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* a = menuAction(unit)) return fromQt(a->text());
    if (!w) return slots_[index(unit)].text;
    // The body, a whole novel maybe, is read without a copy of it as one string.
    if (unit == Unit::编辑框1) return bodyText(0, std::numeric_limits<std::size_t>::max());
    if (auto* e = qobject_cast<TextEdit*>(w)) return fromQt(e->content());
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return fromQt(e->toPlainText());
    if (auto* e = qobject_cast<QLineEdit*>(w)) return fromQt(e->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return fromQt(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return fromQt(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) return fromQt(g->title());
    if (auto* c = qobject_cast<QComboBox*>(w)) return fromQt(c->currentText());
    return slots_[index(unit)].text;
}

void QtWindow::setText(Unit unit, const Text& text) {
    QWidget* w = unitWidget(unit);
    const QString s = toQt(text);
    if (auto* a = menuAction(unit)) {
        a->setText(s);
        return;
    }
    if (!w) {
        slots_[index(unit)].text = text;
        return;
    }
    if (auto* e = qobject_cast<TextEdit*>(w)) {
        e->setContent(s);
    } else if (auto* e2 = qobject_cast<QLineEdit*>(w)) {
        e2->setText(s);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(s);
        captionChanged(l);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(s);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(s);
    } else {
        slots_[index(unit)].text = text;
    }
}

void QtWindow::takeText(Unit unit, Text&& text) {
    auto* e = qobject_cast<TextEdit*>(unitWidget(unit));
    if (!e) {
        setText(unit, text);
        return;
    }
    // The body's offsets are read ahead once its text is in, never while it goes in.
    const bool body = e == unitWidget(Unit::编辑框1);
    if (!progress_) {
        const QString s = toQt(text);
        Text().swap(text);
        e->setContent(s);
        if (body) keepGbkOffsetsAhead(*e->document());
        return;
    }
    // Long work shows progress: the window keeps painting while the text is
    // converted and goes in a block at a time, and the bar moves on through
    // the rest of its way. Blocks of 512 KB keep the window painting every
    // few hundredths of a second; the first also takes the old text away and
    // is laid out at once, and a small one keeps that step as short.
    {
        ConversionAhead blocks(text, ConversionAhead::GiveBack{}, std::size_t(1) << 16, std::size_t(1) << 19);
        const int from = progress_->value();
        e->setContent([&blocks] { return blocks.next(); },
                      [&] {
                          if (progress_)
                              progress_->setValue(from + static_cast<int>((progress_->maximum() - from) * 0.9 *
                                                                          blocks.taken()));
                          paintDuringWork();
                      });
    }
    Text().swap(text);
    if (body) keepGbkOffsetsAhead(*e->document());
}

bool QtWindow::enabled(Unit unit) const {
    if (auto* a = menuAction(unit)) return a->isEnabled();
    if (QWidget* w = unitWidget(unit)) return w->isEnabled();
    return slots_[index(unit)].enabled;
}

void QtWindow::setEnabled(Unit unit, bool on) {
    if (auto* a = menuAction(unit)) {
        a->setEnabled(on);
    } else if (QWidget* w = unitWidget(unit)) {
        w->setEnabled(on);
    } else {
        slots_[index(unit)].enabled = on;
    }
}

bool QtWindow::visible(Unit unit) const {
    if (auto* a = menuAction(unit)) return a->isVisible();
    if (QWidget* w = unitWidget(unit)) return !w->isHidden();
    return slots_[index(unit)].visible;
}

void QtWindow::setVisible(Unit unit, bool on) {
    if (auto* a = menuAction(unit)) {
        a->setVisible(on);
    } else if (QWidget* w = unitWidget(unit)) {
        w->setVisible(on);
        // The top image stays beneath everything; a shown panel comes on top.
        if (on && unit == Unit::背景) w->lower();
        else if (on) w->raise();
        if (unit == Unit::背景) updateHalo();
        if (unit == Unit::编辑框1 || unit == Unit::状态条1) fitBodyAboveBar();
    } else {
        slots_[index(unit)].visible = on;
    }
}

bool QtWindow::checked(Unit unit) const {
    auto* c = qobject_cast<QCheckBox*>(unitWidget(unit));
    return c && c->isChecked();
}

void QtWindow::setChecked(Unit unit, bool on) {
    if (auto* c = qobject_cast<QCheckBox*>(unitWidget(unit))) c->setChecked(on);
}

int QtWindow::selection(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->current();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->currentRow();
    return -1;
}

void QtWindow::setSelection(Unit unit, int i) {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(i);
    if (auto* t = qobject_cast<TabControl*>(w)) t->setCurrent(i);
    if (auto* l = qobject_cast<QListWidget*>(w)) l->setCurrentRow(i);
}

Text QtWindow::itemText(Unit unit, int i) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return i >= 0 && i < c->count() ? fromQt(c->itemText(i)) : Text();
    if (auto* t = qobject_cast<TabControl*>(w)) return i >= 0 && i < t->pageCount() ? fromQt(t->bar()->tabText(i)) : Text();
    if (auto* l = qobject_cast<QListWidget*>(w)) return i >= 0 && i < l->count() ? fromQt(l->item(i)->text()) : Text();
    return {};
}

int QtWindow::itemCount(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->count();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->pageCount();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->count();
    return 0;
}

Colour QtWindow::textColour(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (!w) return slots_[index(unit)].textColour;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) return colourFromQt(w->palette().color(QPalette::Text));
    if (qobject_cast<QPushButton*>(w)) return slots_[index(unit)].textColour;
    return colourFromQt(w->palette().color(QPalette::WindowText));
}

void QtWindow::setTextColour(Unit unit, Colour colour) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].textColour = colour;
    if (unit == Unit::标题栏) applyThemePalette();
    if (unit == Unit::标题栏 || unit == Unit::章节名称提示 || unit == Unit::最小化按钮1 || unit == Unit::关闭按钮) updateHalo();
    if (!w) return;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
        setPaletteColour(w, QPalette::Text, colour);
    } else {
        setPaletteColour(w, QPalette::WindowText, colour);
        setPaletteColour(w, QPalette::ButtonText, colour);
    }
}

Colour QtWindow::backgroundColour(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<ColourPicker*>(w)) return c->colour();
    if (w && (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)))
        return colourFromQt(w->palette().color(QPalette::Base));
    return slots_[index(unit)].background;
}

void QtWindow::setBackgroundColour(Unit unit, Colour colour) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].background = colour;
    if (!w) return;
    if (auto* c = qobject_cast<ColourPicker*>(w)) {
        c->setColour(colour);
    } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
        setPaletteColour(w, QPalette::Base, colour);
    } else {
        w->setAutoFillBackground(true);
        setPaletteColour(w, QPalette::Window, colour);
    }
}

int QtWindow::fontSize(Unit unit) const {
    QWidget* w = unitWidget(unit);
    return w ? w->font().pointSize() : 0;
}

void QtWindow::setFontSize(Unit unit, int points) {
    if (QWidget* w = unitWidget(unit); w && points > 0) {
        QFont f = w->font();
        f.setPointSize(points);
        w->setFont(f);
    }
}

Rect QtWindow::geometry(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (!w) return {};
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void QtWindow::setGeometry(Unit unit, const Rect& r) {
    QWidget* w = unitWidget(unit);
    if (!w) return;
    const QSize before = w->size();
    w->setGeometry(r.left, r.top, r.width, r.height);
    // A picture that covers its unit is cut anew for the new size.
    if (w->size() != before && slots_[index(unit)].picture != Picture::None) setPicture(unit, slots_[index(unit)].picture);
    if (unit == Unit::编辑框1 || unit == Unit::状态条1) fitBodyAboveBar();
}

void QtWindow::setAlignment(Unit unit, Align align) {
    QWidget* w = unitWidget(unit);
    if (auto* e = qobject_cast<TextEdit*>(w)) e->setCentred(align == Align::Centre);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setAlignment(align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft);
    if (auto* l = qobject_cast<QLabel*>(w)) l->setAlignment(align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
}

Align QtWindow::alignment(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* e = qobject_cast<TextEdit*>(w)) return e->centred() ? Align::Centre : Align::Left;
    if (auto* e = qobject_cast<QLineEdit*>(w)) return (e->alignment() & Qt::AlignHCenter) ? Align::Centre : Align::Left;
    if (auto* l = qobject_cast<QLabel*>(w)) return (l->alignment() & Qt::AlignHCenter) ? Align::Centre : Align::Left;
    return Align::Left;
}

void QtWindow::setFocus(Unit unit) {
    if (QWidget* w = unitWidget(unit)) w->setFocus(Qt::OtherFocusReason);
}

Unit QtWindow::focus() const {
    QWidget* f = QApplication::focusWidget();
    for (std::size_t i = 1; i < slots_.size(); ++i)
        if (f && slots_[i].widget == f) return static_cast<Unit>(i);
    return Unit::None;
}

void QtWindow::setButtonColours(Unit unit, const ColourPair& a, const ColourPair& b, const ColourPair& c) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].textColour = a.text;
    if (!w) return;
    // Pair 1 is the resting look, pair 2 the hovered one, pair 3 the pressed one.
    w->setStyleSheet(QStringLiteral("QPushButton { color: %1; background-color: %2; border: none; }"
                                    "QPushButton:hover { color: %3; background-color: %4; }"
                                    "QPushButton:pressed { color: %5; background-color: %6; }")
                         .arg(qcolour(a.text).name(), qcolour(a.face).name(), qcolour(b.text).name(),
                              qcolour(b.face).name(), qcolour(c.text).name(), qcolour(c.face).name()));
}

void QtWindow::setPicture(Unit unit, Picture picture) {
    slots_[index(unit)].picture = picture;
    if (const QString name = accessibleNameFor(unit, picture); !name.isEmpty() && unitWidget(unit))
        unitWidget(unit)->setAccessibleName(name);
    if (auto* l = qobject_cast<QLabel*>(unitWidget(unit))) l->setPixmap(drawPicture(picture, l->size(), l->devicePixelRatioF()));
}

Text QtWindow::statusText(int part) const {
    auto* s = qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1));
    return part >= 0 && part < 4 ? fromQt(s->part(part)->text()) : Text();
}

void QtWindow::setStatusText(int part, const Text& text) {
    auto* s = qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1));
    if (part < 0 || part >= 4) return;
    s->part(part)->setText(toQt(text));
    s->textChanged(part);
}

void QtWindow::setStatusNote(int part, const Text& note) {
    setStatusText(part, note);
    announce(widget(), toQt(note));
}

void QtWindow::setStatusPartWidth(int part, int width) {
    qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1))->setPartWidth(part, width);
}

int QtWindow::timerInterval(Unit unit) const {
    QTimer* t = timer(unit);
    return t && t->isActive() ? t->interval() : 0;
}

void QtWindow::setTimerInterval(Unit unit, int milliseconds) {
    QTimer* t = timer(unit);
    if (!t) return;
    if (milliseconds <= 0) {
        t->stop();
    } else {
        t->start(milliseconds);
    }
}

void QtWindow::clearList(Unit list) {
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list))) l->clear();
}

void QtWindow::insertListItem(Unit list, int position, const Text& caption) {
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list))) l->insertItem(std::clamp(position, 0, l->count()), toQt(caption));
}

std::vector<Text> QtWindow::listItems(Unit list) const {
    std::vector<Text> out;
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list)))
        for (int i = 0; i < l->count(); ++i) out.push_back(fromQt(l->item(i)->text()));
    return out;
}

}  // namespace talery
