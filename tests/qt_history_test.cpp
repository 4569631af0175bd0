// The history window on the real window: save three times, open 历史版本,
// bring back the first state, and undo that with Ctrl+Z.

#include "qt_support.h"
#include "session/versions.h"

#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>
#include <QTreeWidget>

using namespace talery;
using namespace talery::test;

namespace {

QString q(std::u8string_view s) { return QString::fromUtf8(reinterpret_cast<const char*>(s.data()), static_cast<qsizetype>(s.size())); }

}  // namespace

class QtHistoryTest : public QObject {
    Q_OBJECT

private slots:
    void saveThreeTimesBringBackTheFirstAndUndo() {
        ShownProgram p;
        const std::string path = p.dir.file("chapter.txt");
        const std::u8string first = u8"第五章　归途\r\n雪下了一夜，山路全白了。\r\n他背着行囊，一步一步往回走。\r\n";
        writeBytes(path, gbk(first));
        QVERIFY(p.start());
        p.app->openNamedFile(path);
        auto* body = qobject_cast<QPlainTextEdit*>(p.window.unitWidget(Unit::编辑框1));
        QVERIFY(body->isEnabled());
        body->setFocus();
        // Each round an edit inside a line, as a writer makes it, and a new line.
        const std::pair<QString, QString> edits[] = {{q(u8"一夜"), q(u8"整整一夜")},
                                                     {q(u8"一步一步往回走"), q(u8"慢慢往回走")},
                                                     {q(u8"山路"), q(u8"山路和屋顶")}};
        const QString additions[] = {q(u8"天快亮时，村口的灯还亮着。"), q(u8"母亲站在门口。"), q(u8"他喊了一声。")};
        for (int round = 0; round < 3; ++round) {
            QTextCursor c = body->document()->find(edits[round].first);
            QVERIFY(!c.isNull());
            body->setTextCursor(c);
            typeText(body, edits[round].second);
            body->moveCursor(QTextCursor::End);
            typeText(body, additions[round]);
            QTest::keyClick(body, Qt::Key_S, Qt::ControlModifier);
        }
        QCOMPARE(listVersions(versionsFolderIn(p.dir.path()), path).size(), 3u);
        typeText(body, q(u8"（未保存）"));
        const QString before = body->toPlainText();

        // The shortcut opens the window; its oldest row is the first state.
        p.window.widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p.window.widget()));
        QTest::keyClick(body, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        QtHistoryWindow& history = p.window.historyWindow();
        QTRY_VERIFY(history.shown());
        QTreeWidget* list = history.list();
        QCOMPARE(list->topLevelItemCount(), 3);
        QTRY_VERIFY(!list->topLevelItem(2)->text(2).startsWith(q(u8"…")));
        QCOMPARE(list->topLevelItem(2)->text(1), q(u8"32字"));
        list->setCurrentItem(list->topLevelItem(2));
        QPushButton* bringBack = history.button(HistoryUnit::恢复按钮);
        QTRY_VERIFY(bringBack->isEnabled());
        QTRY_VERIFY(history.previewComplete());
        const QString shown = history.preview()->toPlainText();
        QVERIFY(shown.contains(q(u8"雪下了一夜")));
        QVERIFY(shown.contains(q(u8"母亲站在门口。")));  // the text now, marked as added
        if (const QByteArray folder = qgetenv("TALERY_SCREENSHOTS"); !folder.isEmpty()) {
            QTest::qWait(300);
            history.dialog()->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/history-window.png"));
        }

        QTest::mouseClick(bringBack, Qt::LeftButton);
        QTRY_VERIFY(!history.shown());
        QCOMPARE(body->toPlainText(), q(first).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QCOMPARE(readBytes(path).find(gbk(u8"他喊了一声。")) != std::string::npos, true);  // the file is untouched
        body->setFocus();
        QTest::keyClick(body, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(body->toPlainText(), before);
    }
};

QTEST_MAIN(QtHistoryTest)
#include "qt_history_test.moc"
