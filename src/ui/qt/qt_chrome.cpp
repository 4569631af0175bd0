#include "ui/qt/qt_chrome.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace talery {

ChromeDrag::ChromeDrag(QWidget* window) : QObject(window), window_(window) {}

void ChromeDrag::watch(QWidget* unit) { unit->installEventFilter(this); }

void ChromeDrag::requestMove() { mode_ = Mode::PendingMove; }

void ChromeDrag::requestResize(Qt::Edges edges) {
    QWindow* handle = window_->windowHandle();
    if (handle && handle->startSystemResize(edges)) {
        mode_ = Mode::None;
        return;
    }
    mode_ = Mode::Resize;
    edges_ = edges;
}

void ChromeDrag::follow(QPoint global) {
    const QPoint d = global - pressGlobal_;
    if (mode_ == Mode::Move) {
        window_->move(startGeometry_.topLeft() + d);
        return;
    }
    QRect g = startGeometry_;
    const QSize min = window_->minimumSize();
    if (edges_ & Qt::LeftEdge) g.setLeft(std::min(g.left() + d.x(), g.right() + 1 - min.width()));
    if (edges_ & Qt::RightEdge) g.setRight(std::max(g.right() + d.x(), g.left() - 1 + min.width()));
    if (edges_ & Qt::TopEdge) g.setTop(std::min(g.top() + d.y(), g.bottom() + 1 - min.height()));
    if (edges_ & Qt::BottomEdge) g.setBottom(std::max(g.bottom() + d.y(), g.top() - 1 + min.height()));
    window_->setGeometry(g);
}

bool ChromeDrag::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton) {
                // Recorded before the unit reports the press, which may ask for a move or resize.
                mode_ = Mode::None;
                pressGlobal_ = e->globalPosition().toPoint();
                startGeometry_ = window_->geometry();
            }
            break;
        }
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (!(e->buttons() & Qt::LeftButton)) break;
            const QPoint global = e->globalPosition().toPoint();
            if (mode_ == Mode::PendingMove) {
                if ((global - pressGlobal_).manhattanLength() < QApplication::startDragDistance()) return true;
                QWindow* handle = window_->windowHandle();
                mode_ = handle && handle->startSystemMove() ? Mode::None : Mode::Move;
            }
            if (draggingByHand()) {
                follow(global);
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) mode_ = Mode::None;
            break;
        default: break;
    }
    Q_UNUSED(watched);
    return false;
}

}  // namespace talery
