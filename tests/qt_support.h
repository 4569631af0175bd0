#pragma once
// The program on a shown real window, for the Qt tests.

#include "app/application.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>

namespace talery::test {

// The program on a shown real window, on a fixed day, in a fresh program
// folder that a test may fill before start().
struct ShownProgram {
    explicit ShownProgram(LocalDateTime now = {2026, 12, 8, 9, 30, 0}) : clock(now) {}
    bool start() {
        app = std::make_unique<Application>(window, clock, SettingsStore(dir.path()));
        app->start();
        window.widget()->show();
        return QTest::qWaitForWindowExposed(window.widget());
    }
    TempDir dir;
    QtWindow window;
    FixedClock clock;
    std::unique_ptr<Application> app;
};

// Sends text as a keyboard or input method delivers it, which keyClicks cannot do for Chinese.
inline void typeText(QWidget* target, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

// Types a title and presses Enter, as a writer starts a session; the body to write in.
inline QPlainTextEdit* beginSession(QtWindow& window, const QString& title) {
    auto* titleBox = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
    typeText(titleBox, title);
    QTest::keyClick(titleBox, Qt::Key_Return);
    return qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
}

// Answers modal windows in order as they appear, noting their texts (or titles).
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalScript(std::initializer_list<Step> steps) : steps_(steps) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_ || steps_.empty()) return;
            last_ = modal;
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen << (box ? box->text() : modal->windowTitle());
            Step step = steps_.front();
            steps_.pop_front();
            step(modal);
        });
        timer_.start(20);
    }
    bool done() const { return steps_.empty(); }
    QStringList seen;

private:
    std::deque<Step> steps_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

// A message box's button; any other window is closed and fails the test.
inline ModalScript::Step press(QMessageBox::StandardButton which) {
    return [which](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->button(which)->click();
            return;
        }
        w->close();
        QFAIL("a window where a message box was expected");
    };
}

}  // namespace talery::test
