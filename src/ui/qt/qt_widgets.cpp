#include "ui/qt/qt_widgets.h"

#include "ui/qt/qt_window.h"
#include "ui/qt/qt_conversions.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace talery {

QStringList localFiles(const QMimeData* mime) {
    QStringList out;
    if (!mime || !mime->hasUrls()) return out;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) out << url.toLocalFile();
    return out;
}

int virtualKey(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return 13;
        case Qt::Key_Escape: return 27;
        case Qt::Key_Tab: return 9;
        case Qt::Key_Backspace: return 8;
        case Qt::Key_Delete: return 46;
        case Qt::Key_Space: return 32;
        case Qt::Key_Left: return 37;
        case Qt::Key_Up: return 38;
        case Qt::Key_Right: return 39;
        case Qt::Key_Down: return 40;
        default: return 0;
    }
}

int modifierBits(Qt::KeyboardModifiers m) {
    int bits = 0;
    if (m & Qt::ControlModifier) bits |= modifier::Ctrl;
    if (m & Qt::ShiftModifier) bits |= modifier::Shift;
    if (m & Qt::AltModifier) bits |= modifier::Alt;
    return bits;
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit pressed();
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

void ClickLabel::setPressable(Qt::FocusPolicy policy) {
    pressable_ = true;
    setFocusPolicy(policy);
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (pressable_ && plain &&
        (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit pressed();
        return;
    }
    QLabel::keyPressEvent(event);
}

LineEdit::LineEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const QString safe = gbkSafe(typed);
        if (safe != typed) {
            const int caret = cursorPosition();
            setText(safe);
            setCursorPosition(std::min(caret, static_cast<int>(safe.size())));
        }
        emit userEdited();
    });
}

void LineEdit::keyPressEvent(QKeyEvent* event) {
    const int vk = virtualKey(event->key());
    if (vk) emit keyDown(vk, modifierBits(event->modifiers()));
    QLineEdit::keyPressEvent(event);
}

void LineEdit::dragEnterEvent(QDragEnterEvent* event) {
    // Ignored, the drag goes on to the main window.
    if (!localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    for (auto& p : parts_) {
        p = new ClickLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setIndent(4);
        connect(p, &ClickLabel::pressed, this, &StatusBarWidget::pressed);
    }
}

void StatusBarWidget::setPartWidth(int i, int width) {
    if (i < 0 || i > 3) return;
    widths_[static_cast<std::size_t>(i)] = std::max(width, 0);
    layoutParts();
}

void StatusBarWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutParts();
}

int StatusBarWidget::neededWidth(int i) const {
    const ClickLabel* p = part(i);
    // The indent, the sunken frame on both sides and a pixel of air.
    return p->fontMetrics().horizontalAdvance(p->text()) + p->indent() + 2 * p->frameWidth() + 2;
}

void StatusBarWidget::textChanged(int i) {
    // The tips' part gives way to the others; its own text may be cut.
    if (i != 2 && neededWidth(i) > part(i)->width()) layoutParts();
}

void StatusBarWidget::layoutParts() {
    // The figures (the count, the writing time) and the last part keep their
    // design widths unless their text needs more; the tips' part takes what is left.
    const int first = std::max(widths_[0], neededWidth(0));
    const int second = std::max(widths_[1], neededWidth(1));
    const int last = std::max(width() - first - second - widths_[2], neededWidth(3));
    const int tips = std::max(width() - first - second - last, 0);
    const std::array<int, 4> w{first, second, tips, last};
    int x = 0;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        parts_[i]->setGeometry(x, 0, w[i], height());
        x += w[i];
    }
}

ColourPicker::ColourPicker(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, &ColourPicker::pick);
    setColour(0);
}

void ColourPicker::setColour(unsigned bgr) {
    colour_ = bgr & 0xFFFFFF;
    const QColor c(red(colour_), green(colour_), blue(colour_));
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #808080; }").arg(c.name()));
    setAccessibleDescription(c.name());  // the colour it shows, for who cannot see it
}

void ColourPicker::pick() {
    const QColor start(red(colour_), green(colour_), blue(colour_));
    QColorDialog dialog(start, window());
    dialog.setPalette(window()->palette());  // the dialog follows the window's theme
    if (dialog.exec() != QDialog::Accepted) return;
    const QColor chosenColour = dialog.selectedColor();
    if (!chosenColour.isValid()) return;
    setColour(colourFromQt(chosenColour));
    emit chosen();
}

TabControl::TabControl(QWidget* parent, const std::vector<QString>& captions) : QWidget(parent), bar_(new QTabBar(this)) {
    for (const QString& caption : captions) {
        bar_->addTab(caption);
        auto* page = new QWidget(this);
        page->setAutoFillBackground(false);
        pages_.push_back(page);
    }
    bar_->raise();
    connect(bar_, &QTabBar::currentChanged, this, [this](int index) {
        show(index);
        if (!programmatic_) emit pageChanged(index);
    });
    show(0);
}

void TabControl::setCurrent(int index) {
    programmatic_ = true;
    bar_->setCurrentIndex(index);
    programmatic_ = false;
    show(index);
}

void TabControl::show(int index) {
    for (std::size_t i = 0; i < pages_.size(); ++i) pages_[i]->setVisible(static_cast<int>(i) == index);
}

void TabControl::turnPage(bool forward) {
    if (bar_->count() == 0) return;
    bar_->setCurrentIndex((bar_->currentIndex() + (forward ? 1 : bar_->count() - 1)) % bar_->count());
    bar_->setFocus(Qt::TabFocusReason);
}

void TabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QWidget* page : pages_) page->setGeometry(0, 0, width(), height());
    bar_->setGeometry(0, 0, width(), bar_->sizeHint().height());
    bar_->raise();
}

MainWidget::MainWidget() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setAcceptDrops(true);
    setAutoFillBackground(true);
}

void MainWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (onResized) onResized();
}

void MainWidget::closeEvent(QCloseEvent* event) {
    if (!onCloseRequested || onCloseRequested()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (!localFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWidget::dropEvent(QDropEvent* event) {
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    if (onFilesDropped) onFilesDropped(files);
}

}  // namespace talery
