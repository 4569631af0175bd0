#pragma once
// The frameless main window's move and resize: by the desktop where it
// offers them, else by hand, following the mouse until the button is released.

#include <QObject>
#include <QPoint>
#include <QRect>

class QWidget;

namespace talery {

class ChromeDrag : public QObject {
    Q_OBJECT
public:
    explicit ChromeDrag(QWidget* window);
    // Follows presses on this unit (the title strip or a resize handle).
    void watch(QWidget* unit);
    // The title strip was pressed: the move starts once the mouse leaves the
    // press point, so that a double click without moving still arrives.
    void requestMove();
    // A handle was pressed: the resize starts at once.
    void requestResize(Qt::Edges edges);
    bool draggingByHand() const { return mode_ == Mode::Move || mode_ == Mode::Resize; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Mode { None, PendingMove, Move, Resize };
    void follow(QPoint global);

    QWidget* window_;
    Mode mode_ = Mode::None;
    Qt::Edges edges_;
    QPoint pressGlobal_;
    QRect startGeometry_;
};

}  // namespace talery
