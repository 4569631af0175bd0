// One-key layout on the real window, offscreen: the key, the menu entry,
// undo back to the exact body, and the indent Enter carries.

#include "app/application.h"
#include "qt_support.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QAction>
#include <QLabel>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QtTest>

using namespace talery;

namespace {

QString q(const char8_t* s) { return QString::fromUtf8(reinterpret_cast<const char*>(s)); }

void typeText(QWidget* target, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
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
                                       q(u8"设置"), q(u8"一键排版"), q(u8"小黑屋"), q(u8"退出")}));

        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        typeText(title, q(u8"第一章"));
        QTest::keyClick(title, Qt::Key_Return);
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
};

QTEST_MAIN(QtToolboxTest)
#include "qt_toolbox_test.moc"
