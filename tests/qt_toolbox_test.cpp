// The toolbox on the real window, offscreen. One-key layout: the key, the
// menu entry, undo back to the exact body, and the indent Enter carries. The
// locked room: the two questions on close, the goal reached, the escape, and
// a kill -9 inside it followed by a normal start.

#include "app/application.h"
#include "qt_support.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSpinBox>
#include <QtTest>

#include <csignal>
#include <iostream>
#include <unistd.h>

using namespace talery;

namespace {

QString q(const char8_t* s) { return QString::fromUtf8(reinterpret_cast<const char*>(s)); }

using test::typeText;

using test::ModalScript;
using test::press;

// Fills in the goal dialog and enters.
ModalScript::Step enterGoal(int characters) {
    return [characters](QWidget* dialog) {
        auto* amount = dialog->findChild<QSpinBox*>(QStringLiteral("目标数量"));
        auto* enter = dialog->findChild<QPushButton*>(QStringLiteral("进入"));
        if (!amount || !enter) {
            dialog->close();
            QFAIL("not the goal dialog");
        }
        amount->setValue(characters);
        enter->click();
    };
}

QWidget* titleStrip(QtWindow& window) { return window.unitWidget(Unit::标题栏); }
QString stripText(QtWindow& window) { return qobject_cast<QLabel*>(titleStrip(window))->text(); }

// Started by the test as a program of its own: writes inside the locked room
// until its backup copy holds the text, then dies by SIGKILL.
int crashInTheRoom(const char* folder) {
    QtWindow window;
    FixedClock clock{{2026, 12, 8, 9, 30, 0}};
    Application app(window, clock, SettingsStore(folder));
    app.start();
    window.widget()->show();
    if (!QTest::qWaitForWindowExposed(window.widget())) return 2;
    window.setWindowSize(640, 400);  // smaller than the screen, whatever its size
    typeText(test::beginSession(window, q(u8"第九章")), q(u8"小黑屋里写的字"));
    std::cout << "height=" << window.windowGeometry().height << std::endl;
    ModalScript goal({enterGoal(500)});
    window.menuAction(Unit::小黑屋)->trigger();
    if (!goal.done() || !app.lockedRoom().inside() || !window.fullScreen()) return 3;
    const Path copy = app.session().backupFile();
    const bool written = QTest::qWaitFor([&] { return readWholeFile(copy).value_or("").find(gbk(u8"小黑屋里写的字")) != std::string::npos; }, 20000);
    if (!written) return 4;
    ::kill(::getpid(), SIGKILL);
    return 5;
}

}  // namespace

class QtToolboxTest : public QObject {
    Q_OBJECT

private slots:
    void layOutUndoAndCarryTheIndent() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;

        // The entry sits before 退出; the others keep their places.
        QStringList entries;
        for (QAction* a : window.menu()->actions())
            if (!a->isSeparator()) entries << a->text();
        QCOMPARE(entries, (QStringList{q(u8"打开文件"), q(u8"新建临时文本"), q(u8"新建日记"), q(u8"清空正在编辑"),
                                       q(u8"设置"), q(u8"一键排版"), q(u8"历史版本"), q(u8"小黑屋"), q(u8"退出")}));

        auto* body = test::beginSession(window, q(u8"第一章"));
        typeText(body, q(u8"他说:\"你好.\"\n\n\n  网址http://a.cn/x?y=1,2 \n\t第3.14节,完"));
        const Text before = window.text(Unit::编辑框1);
        QTest::keyClick(body, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(gbkToUtf8Lossy(window.text(Unit::编辑框1)),
                 gbkToUtf8Lossy(gbk(u8"第一章\r\n　　他说：“你好。”\r\n\r\n　　网址http://a.cn/x?y=1,2\r\n　　第3.14节，完")));
        body->undo();
        QVERIFY(window.text(Unit::编辑框1) == before);
        body->redo();
        for (QAction* a : window.menu()->actions())
            if (a->text() == q(u8"一键排版")) a->trigger();  // laid out already: no new step
        body->undo();
        QVERIFY(window.text(Unit::编辑框1) == before);

        // Enter carries the indent of the paragraph before.
        body->redo();
        body->moveCursor(QTextCursor::End);
        QTest::keyClick(body, Qt::Key_Return);
        QTRY_VERIFY(window.text(Unit::编辑框1).ends_with(gbk(u8"完\r\n　　")));
        typeText(body, q(u8"新段"));
        QVERIFY(window.text(Unit::编辑框1).ends_with(gbk(u8"完\r\n　　新段")));

        // The speed on the statistics page, opened from the status bar.
        program.app->handle({.unit = Unit::状态条1, .type = EventType::MouseDown});
        auto* speed = qobject_cast<QLabel*>(window.unitWidget(Unit::书写速度));
        QVERIFY(speed && speed->isVisible());
        QVERIFY2(speed->text().startsWith(q(u8"本次新增：")), qPrintable(speed->text()));
        const QByteArray folder = qgetenv("TALERY_SCREENSHOTS");
        if (!folder.isEmpty()) window.widget()->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/speed.png"));
    }

    void lockedRoomAsksTwiceOnCloseEndsAtTheGoalAndByThePhrase() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* body = test::beginSession(window, q(u8"第二章"));
        const QRect frame = window.widget()->geometry();
        const QString caption = stripText(window);

        ModalScript entering({enterGoal(4)});
        window.menuAction(Unit::小黑屋)->trigger();
        QVERIFY(entering.done());
        QVERIFY(window.fullScreen());
        QCOMPARE(window.widget()->geometry(), window.widget()->screen()->geometry());
        QCOMPARE(stripText(window), q(u8"小黑屋　还差 4 字　｜　立即离开：在正文中输入“我要离开小黑屋”"));

        // Closing the window: Enter (否 is the default), then 是 and Esc; it stays open and full screen.
        const ModalScript::Step enterKey = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); };
        const ModalScript::Step escape = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); };
        ModalScript closing({enterKey, press(QMessageBox::Yes), escape});
        window.widget()->close();
        window.widget()->close();
        QVERIFY(closing.done());
        QCOMPARE(closing.seen.size(), 3);
        QVERIFY2(closing.seen[0].contains(q(u8"还差 4 字")), qPrintable(closing.seen[0]));
        QVERIFY(closing.seen[1] == closing.seen[0] && closing.seen[2].contains(q(u8"真的要离开小黑屋吗")));
        QVERIFY(window.widget()->isVisible() && window.fullScreen() && program.app->session().writing());

        // The goal reached mid-typing: said in the strip and the status bar, never in a box; every
        // key typed across it goes into the body, and the window comes back as it was.
        const Text beforeTyping = window.text(Unit::编辑框1);
        const QString typed = q(u8"四个字呀，那时候他还不知道明天会下雪");
        QStringList boxes;
        {
            ModalScript anyBox({press(QMessageBox::Ok)});
            for (const QChar c : typed) {
                QWidget* target = QApplication::focusWidget();
                typeText(target ? target : body, QString(c));
                QCoreApplication::processEvents();
            }
            boxes = anyBox.seen;
        }
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join(u'|')));
        QVERIFY(!window.fullScreen() && !program.app->lockedRoom().inside());
        QVERIFY(window.text(Unit::编辑框1) == beforeTyping + gbk(typed.toStdString()));
        QCOMPARE(QApplication::focusWidget(), body);
        QCOMPARE(window.widget()->geometry(), frame);
        QVERIFY2(stripText(window).startsWith(q(u8"小黑屋的目标达成了")), qPrintable(stripText(window)));
        QCOMPARE(window.statusText(2), window.text(Unit::标题栏));
        for (int i = 0; i < 8; ++i) window.raise({.unit = Unit::时钟2, .type = EventType::Tick});
        QCOMPARE(stripText(window), caption);

        // The escape phrase leaves at once, asks nothing and takes itself out of the text.
        ModalScript again({enterGoal(1000)});
        window.menuAction(Unit::小黑屋)->trigger();
        QVERIFY(again.done() && window.fullScreen());
        const Text before = window.text(Unit::编辑框1);
        // Pasted, the same words are the writer's text: they stay, and so does the room.
        QApplication::clipboard()->setText(q(u8"我要离开小黑屋"));
        body->paste();
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
        QVERIFY(program.app->lockedRoom().inside());
        QVERIFY(window.text(Unit::编辑框1) == before + gbk(u8"我要离开小黑屋"));
        body->undo();
        QVERIFY(window.text(Unit::编辑框1) == before);
        typeText(body, q(u8"我要离开小黑屋"));
        QTRY_VERIFY(!program.app->lockedRoom().inside());
        QVERIFY(!window.fullScreen() && QApplication::activeModalWidget() == nullptr);
        QVERIFY(window.text(Unit::编辑框1) == before);
        body->undo();  // the phrase's removal is an edit of its own
        QVERIFY(window.text(Unit::编辑框1) == before + gbk(u8"我要离开小黑屋"));
    }

    void aKillInsideTheRoomIsFollowedByANormalStart() {
        test::ShownProgram program;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--crash-in-the-room"), QString::fromStdString(program.dir.path())});
        QVERIFY(child.waitForFinished(90000));
        const QByteArray said = child.readAllStandardOutput();
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, qPrintable(QStringLiteral("exit %1: ").arg(child.exitCode()) + said));
        // The stored size is the one before the room, not the full screen.
        const auto height = said.mid(said.indexOf("height=") + 7).trimmed().toInt();
        const IniFile settings = SettingsStore(program.dir.path()).program();
        QCOMPARE(settings.readInt(softwareSection(), gbk(u8"高度")), height);

        ModalScript recovering({press(QMessageBox::Yes)});
        QVERIFY(program.start());
        QTRY_VERIFY(recovering.done());
        QVERIFY(program.app->session().writing());
        QVERIFY(program.window.text(Unit::编辑框1).find(gbk(u8"小黑屋里写的字")) != std::string::npos);
        QVERIFY(!program.window.fullScreen() && !program.app->lockedRoom().inside());
        QVERIFY(!stripText(program.window).startsWith(q(u8"小黑屋")));
        QCOMPARE(program.window.widget()->height(), height);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (argc == 3 && std::string_view(argv[1]) == "--crash-in-the-room") return crashInTheRoom(argv[2]);
    QtToolboxTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "qt_toolbox_test.moc"
