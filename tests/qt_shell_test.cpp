// The application shell on the real main window, offscreen: moving and
// resizing the frameless window by hand, the title strip's double click,
// pointers, always-on-top, the theme reaching dialogs, the panel's pages,
// and a start, resize, close and second start on one folder.

#include "app/application.h"
#include "test_support.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

using namespace talery;

namespace {

// A mouse event at a point of the screen; the unit may move under the mouse meanwhile.
void sendAt(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButtons held) {
    const QPoint local = target->mapFromGlobal(global);
    QMouseEvent e(type, QPointF(local), QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

void send(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButtons held) {
    sendAt(target, type, target->mapToGlobal(local), held);
}

// A press at `from` and a drag by `by` with the left button held, as a hand does it.
void drag(QWidget* unit, QPoint from, QPoint by) {
    const QPoint start = unit->mapToGlobal(from);
    sendAt(unit, QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendAt(unit, QEvent::MouseMove, start + QPoint(1, 0), Qt::LeftButton);  // below the drag distance
    sendAt(unit, QEvent::MouseMove, start + by, Qt::LeftButton);
    sendAt(unit, QEvent::MouseButtonRelease, start + by, Qt::NoButton);
}

// Saves a picture of the window when TALERY_SCREENSHOTS names a folder.
void keepPicture(QWidget* window, const char* name) {
    const QByteArray folder = qgetenv("TALERY_SCREENSHOTS");
    if (!folder.isEmpty()) window->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
}

// The program started on a folder and shown, as main() does it.
struct Started {
    explicit Started(const std::string& folder) : app(window, clock, SettingsStore(folder)) {
        app.start();
        window.widget()->show();
        exposed = QTest::qWaitForWindowExposed(window.widget());
    }
    QtWindow window;
    FixedClock clock{{2026, 12, 8, 9, 30, 0}};
    Application app;
    bool exposed = false;
};

}  // namespace

class QtShellTest : public QObject {
    Q_OBJECT

private slots:
    void chromeMovesResizesAndMaximisesByHand() {
        test::TempDir dir;
        Started run(dir.path());
        QVERIFY(run.exposed);
        QtWindow& window = run.window;
        QWidget* main = window.widget();

        const QPoint start = main->pos();
        drag(window.unitWidget(Unit::标题栏), {100, 10}, {50, 30});
        QCOMPARE(main->pos(), start + QPoint(50, 30));

        const QSize size = main->size();
        QWidget* corner = window.unitWidget(Unit::右下调节器);
        drag(corner, {4, 4}, {40, 30});
        QCOMPARE(main->size(), size + QSize(40, 30));
        QCOMPARE(main->pos(), start + QPoint(50, 30));
        // The layout followed: the handle sits in the new corner, the size is recorded.
        QCOMPARE(corner->geometry().topLeft(), QPoint(main->width() - 8, main->height() - 8));
        QCOMPARE(IniFile(dir.file("setting.ini")).read(gbk(u8"软件设置"), gbk(u8"宽度")), decimal(size.width() + 40));
        drag(window.unitWidget(Unit::左侧调节器), {2, 100}, {5000, 0});  // never below the smallest window
        QCOMPARE(main->width(), main->minimumWidth());

        // A press without moving starts nothing, so the double click arrives.
        QWidget* strip = window.unitWidget(Unit::标题栏);
        send(strip, QEvent::MouseButtonPress, {100, 10}, Qt::LeftButton);
        send(strip, QEvent::MouseButtonRelease, {100, 10}, Qt::NoButton);
        send(strip, QEvent::MouseButtonDblClick, {100, 10}, Qt::LeftButton);
        QVERIFY(main->windowState() & Qt::WindowMaximized);
        send(strip, QEvent::MouseButtonDblClick, {100, 10}, Qt::LeftButton);
        QVERIFY(!(main->windowState() & Qt::WindowMaximized));
    }

    void pointersTopmostAndTray() {
        QtWindow window;
        const std::pair<Unit, Qt::CursorShape> sizing[] = {
            {Unit::左上调节器, Qt::SizeFDiagCursor}, {Unit::右下调节器, Qt::SizeFDiagCursor},
            {Unit::右上调节器, Qt::SizeBDiagCursor}, {Unit::左下调节器, Qt::SizeBDiagCursor},
            {Unit::上调节器, Qt::SizeVerCursor},     {Unit::下调节器, Qt::SizeVerCursor},
            {Unit::左侧调节器, Qt::SizeHorCursor},   {Unit::右调节器, Qt::SizeHorCursor}};
        for (auto [unit, shape] : sizing) QCOMPARE(window.unitWidget(unit)->cursor().shape(), shape);
        for (Unit u : {Unit::最小化按钮1, Unit::关闭按钮, Unit::录音按钮1, Unit::开始书写按钮})
            QCOMPARE(window.unitWidget(u)->cursor().shape(), Qt::PointingHandCursor);
        for (Unit u : {Unit::透明标签1, Unit::透明标签2, Unit::超级链接框2, Unit::标题栏})
            QVERIFY(window.unitWidget(u)->cursor().shape() != Qt::PointingHandCursor);

        window.widget()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.widget()));
        window.setAlwaysOnTop(true);
        QVERIFY(window.alwaysOnTop());
        window.setAlwaysOnTop(false);
        QVERIFY(!window.alwaysOnTop());
        QVERIFY(window.widget()->isVisible());

        // Offscreen there is no notification area: no icon, and the program runs on.
        QCOMPARE(window.trayAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
        if (!window.trayAvailable()) {
            window.showTrayIcon(gbk(u8"Talery"));
            QVERIFY(!window.trayIcon());
        }
        QVERIFY(!window.userName().empty() || qgetenv("USER").isEmpty());
    }

    void themeReachesDialogsAndTheScrollBar() {
        test::TempDir dir;
        Started run(dir.path());
        QVERIFY(run.exposed);
        QtWindow& window = run.window;
        window.setBackgroundColour(Unit::颜色, 0x203040);
        run.app.applyBackgroundColour();

        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        QCOMPARE(body->verticalScrollBar()->palette().color(QPalette::Window), QColor(0x40, 0x30, 0x20));

        QPalette seen;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = box->palette();
            keepPicture(box, "dialog.png");
            box->accept();
        });
        window.raise({.unit = Unit::超级链接框2, .type = EventType::MouseDown});
        QCOMPARE(seen.color(QPalette::Window), QColor(0x40, 0x30, 0x20));
        QCOMPARE(seen.color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(window.menu()->palette().color(QPalette::Window), QColor(0x40, 0x30, 0x20));
    }

    void panelPagesAndALightTheme() {
        test::TempDir dir;
        IniFile settings(dir.file("setting.ini"));
        // A light style with the first top image, earned with enough points.
        settings.write(gbk(u8"文本设置"), gbk(u8"背景颜色"), decimal(0xF4F1EA));
        settings.write(gbk(u8"文本设置"), gbk(u8"文本颜色"), "1");
        settings.write(gbk(u8"软件设置"), gbk(u8"按钮类型"), "3");
        settings.write(gbk(u8"软件设置"), gbk(u8"顶图类型"), "1");
        Started run(dir.path());
        QVERIFY(run.exposed);
        QtWindow& window = run.window;
        QWidget* main = window.widget();
        QVERIFY(window.unitWidget(Unit::背景)->isVisible());
        QVERIFY(!qobject_cast<QLabel*>(window.unitWidget(Unit::背景))->pixmap().isNull());
        QCOMPARE(qobject_cast<QLabel*>(window.unitWidget(Unit::背景))->pixmap().deviceIndependentSize().toSize(),
                 window.unitWidget(Unit::背景)->size());
        keepPicture(main, "light.png");

        window.menuAction(Unit::设置)->trigger();
        auto* tabs = qobject_cast<TabControl*>(window.unitWidget(Unit::高级选择夹1));
        QVERIFY(window.unitWidget(Unit::关于)->isVisible());
        QCOMPARE(tabs->current(), 0);
        for (int page = 0; page < tabs->pageCount(); ++page) {
            tabs->bar()->setCurrentIndex(page);  // as a click on the tab does
            QVERIFY(tabs->page(page)->isVisible());
            keepPicture(main, QStringLiteral("panel-%1.png").arg(page).toLatin1().constData());
        }
        QCOMPARE(settings.read(gbk(u8"软件设置"), gbk(u8"新手1")), gbk(u8"真"));
        QTest::mouseClick(window.unitWidget(Unit::透明标签1), Qt::LeftButton);
        QVERIFY(!window.unitWidget(Unit::关于)->isVisible());
        QTest::mouseClick(qobject_cast<StatusBarWidget*>(window.unitWidget(Unit::状态条1))->part(0), Qt::LeftButton);
        QVERIFY(window.unitWidget(Unit::关于)->isVisible());
        QCOMPARE(tabs->current(), 1);
    }

    void startResizeCloseAndStartAgain() {
        test::TempDir dir;
        {
            Started first(dir.path());
            QVERIFY(first.exposed);
            QtWindow& window = first.window;
            const Rect screen = window.screenArea();
            QCOMPARE(window.widget()->size(), QSize(std::min(1119, screen.width), std::min(838, screen.height)));
            keepPicture(window.widget(), "default.png");
            window.widget()->resize(700, 500);  // as the desktop would (the offscreen screen is small)
            QTest::mouseClick(window.unitWidget(Unit::关闭按钮), Qt::LeftButton);
            QVERIFY(!window.widget()->isVisible());
        }
        QVERIFY(isReadOnly(dir.file("setting.ini")));
        Started second(dir.path());
        QVERIFY(second.exposed);
        QtWindow& window = second.window;
        QCOMPARE(window.widget()->size(), QSize(700, 500));
        QCOMPARE(window.unitWidget(Unit::编辑框1)->height(), 500 - 85);
        QVERIFY(!isReadOnly(dir.file("setting.ini")));
    }
};

QTEST_MAIN(QtShellTest)
#include "qt_shell_test.moc"
