// The Find and Replace windows on the real window, offscreen: keys, clicks
// and the body's bytes afterwards.

#include "app/application.h"
#include "qt_support.h"
#include "test_support.h"
#include "ui/qt/qt_body_offsets.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QScreen>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <random>

using namespace talery;

namespace talery {
char* toString(const TextSelection& s) { return QTest::toString(QStringLiteral("{%1, %2}").arg(s.start).arg(s.length)); }
}  // namespace talery

namespace {

QString q(const char8_t* s) { return QString::fromUtf8(reinterpret_cast<const char*>(s)); }

// Text as a keyboard or input method delivers it.
using test::typeText;

template <class T>
T* unit(QDialog* d, const char8_t* name) {
    return d ? d->findChild<T*>(q(name)) : nullptr;
}

}  // namespace

class QtFindTest : public QObject {
    Q_OBJECT

    // Offsets and positions against the GBK form of the text before each position.
    static void checkOffsets(const QTextDocument& doc, std::mt19937& rng) {
        const QString all = doc.toPlainText();
        const int end = doc.characterCount() - 1;
        for (int round = 0; round < 200; ++round) {
            int position = static_cast<int>(rng() % static_cast<unsigned>(end + 1));
            if (position > 0 && all.at(position - 1).isHighSurrogate()) --position;
            const std::size_t bytes = fromQt(all.left(position)).size();
            QCOMPARE(gbkOffsetOf(doc, position), bytes);
            QCOMPARE(positionOfGbkOffset(doc, bytes), position);
        }
        QCOMPARE(positionOfGbkOffset(doc, std::size_t(-1) / 2), end);
    }

private slots:
    void offsetsFollowEditsOfALongDocument() {
        const QString pieces[] = {q(u8"夜色"), QStringLiteral("abc"), q(u8"€"), q(u8"😀"), QStringLiteral("\n"),
                                  q(u8"，"), QStringLiteral("\n\n"), q(u8"ก")};
        std::mt19937 rng(7);
        QString text;
        for (int i = 0; i < 3000; ++i) text += pieces[rng() % std::size(pieces)];
        QTextDocument doc(text);
        QVERIFY(doc.blockCount() > 500);
        checkOffsets(doc, rng);
        // Edits anywhere: checkpoints behind them must not survive.
        for (int round = 0; round < 20; ++round) {
            QTextCursor c(&doc);
            c.setPosition(static_cast<int>(rng() % static_cast<unsigned>(doc.characterCount() - 1)));
            c.setPosition(std::min(c.position() + static_cast<int>(rng() % 40), doc.characterCount() - 1),
                          QTextCursor::KeepAnchor);
            c.insertText(pieces[rng() % std::size(pieces)] + pieces[rng() % std::size(pieces)]);
            checkOffsets(doc, rng);
        }
        // Edits that take out or bring in many blocks at once, and undoing them.
        QTextCursor c(&doc);
        c.setPosition(100);
        c.setPosition(doc.characterCount() / 2, QTextCursor::KeepAnchor);
        c.insertText(text.mid(200, 3000));
        checkOffsets(doc, rng);
        c.setPosition(50);
        c.insertText(text);
        checkOffsets(doc, rng);
        doc.undo();
        checkOffsets(doc, rng);
        // An edit past what the lookups so far have read, then one before it.
        doc.setPlainText(text);
        QCOMPARE(gbkOffsetOf(doc, 10), fromQt(text.left(10)).size());
        c = QTextCursor(&doc);
        c.setPosition(doc.characterCount() - 100);
        c.insertText(QStringLiteral("\n\n"));
        c.setPosition(20);
        c.insertText(q(u8"夜\n"));
        checkOffsets(doc, rng);
        doc.setPlainText(text.left(5000));
        checkOffsets(doc, rng);
    }

    // Esc closes the Find and the Replace window, from its text box as from anywhere in it.
    void escapeClosesTheFindWindows() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* body = test::beginSession(window, q(u8"第一章"));
        for (const auto& [key, kind] : {std::pair{Qt::Key_F, FindWindowKind::Find}, std::pair{Qt::Key_H, FindWindowKind::Replace}}) {
            QTest::keyClick(body, key, Qt::ControlModifier);
            QDialog* dialog = window.findWindows().dialog(kind);
            QVERIFY(dialog && dialog->isVisible());
            QTest::keyClick(unit<QLineEdit>(dialog, u8"编辑框1"), Qt::Key_Escape);
            QTRY_VERIFY(!dialog->isVisible());
        }
    }

    void findAndReplaceAChineseWord() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        QApplication::clipboard()->setText(QStringLiteral("clipboard stays"));

        auto* body = test::beginSession(window, q(u8"第一章"));
        typeText(body, q(u8"夜色很深。"));
        QTest::keyClick(body, Qt::Key_Return);
        typeText(body, q(u8"夜色里有风。"));

        QTest::keyClick(body, Qt::Key_F, Qt::ControlModifier);
        QDialog* find = window.findWindows().dialog(FindWindowKind::Find);
        QVERIFY(find && find->isVisible());
        QVERIFY(!find->isModal());
        QCOMPARE(find->windowTitle(), q(u8"查找"));
        QCOMPARE(find->size(), QSize(340, 97));
        auto* box = unit<QLineEdit>(find, u8"编辑框1");
        auto* next = unit<QPushButton>(find, u8"按钮1");
        QVERIFY(box && next);
        QCOMPARE(next->text(), q(u8"查找下一个"));
        QVERIFY(unit<QRadioButton>(find, u8"单选框2")->isChecked());
        QVERIFY(!next->isEnabled());
        typeText(box, q(u8"夜色"));
        QVERIFY(next->isEnabled());

        body->moveCursor(QTextCursor::Start);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(window.bodySelection(), (TextSelection{8, 4}));  // 第一章 CR LF, then 夜色
        // A window put over the next match moves off it when the match is found.
        const auto matchArea = [body] {
            const QRect r = body->cursorRect();
            return QRect(body->viewport()->mapToGlobal(r.topLeft()), r.size()).adjusted(-40, 0, 0, 0);
        };
        QTextCursor below = body->textCursor();
        below.movePosition(QTextCursor::Down);
        find->move(find->pos() + (QRect(body->viewport()->mapToGlobal(body->cursorRect(below).topLeft()), QSize(1, 1)).center() -
                                  find->frameGeometry().center()));
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(window.bodySelection(), (TextSelection{20, 4}));  // the second line
        QCOMPARE(body->textCursor().selectedText(), q(u8"夜色"));
        QVERIFY(!find->frameGeometry().intersects(matchArea()));
        // A picture of the screen when TALERY_SCREENSHOTS names a folder (under a real X server).
        if (const QByteArray folder = qgetenv("TALERY_SCREENSHOTS"); !folder.isEmpty()) {
            QTest::qWait(200);
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(folder) + QStringLiteral("/find-beside-match.png"));
        }

        // Not found: the message names the text and the caret goes to the end.
        QString seen, caption;
        QTimer::singleShot(50, [&] {
            if (auto* m = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = m->text();
                caption = m->windowTitle();
                m->accept();
            }
        });
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(seen, q(u8"找不到 “夜色”"));
        QCOMPARE(caption, q(u8"记事本"));
        QCOMPARE(body->textCursor().position(), body->document()->characterCount() - 1);

        // The close box hides the window and drops what was typed since.
        typeText(box, q(u8"风"));
        find->close();
        QVERIFY(!find->isVisible());
        QCOMPARE(box->text(), q(u8"夜色"));

        // Replace the second 夜色 through the Replace window.
        QTest::keyClick(body, Qt::Key_H, Qt::ControlModifier);
        QDialog* replace = window.findWindows().dialog(FindWindowKind::Replace);
        QVERIFY(replace && replace->isVisible());
        QCOMPARE(replace->size(), QSize(381, 147));
        auto* what = unit<QLineEdit>(replace, u8"编辑框1");
        auto* with = unit<QLineEdit>(replace, u8"编辑框2");
        QCOMPARE(what->text(), q(u8"夜色"));
        QCOMPARE(what->selectedText(), q(u8"夜色"));
        typeText(with, q(u8"月光"));
        window.setBodySelection({10, 0});  // inside the first line: the next match is the second
        QTest::mouseClick(unit<QPushButton>(replace, u8"按钮2"), Qt::LeftButton);
        QCOMPARE(window.bodySelection(), (TextSelection{20, 4}));
        QTest::mouseClick(unit<QPushButton>(replace, u8"按钮2"), Qt::LeftButton);
        const Text expected = gbk(u8"第一章\r\n夜色很深。\r\n月光里有风。");
        QCOMPARE(window.text(Unit::编辑框1), expected);
        QCOMPARE(window.bodySelection(), (TextSelection{24, 0}));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("clipboard stays"));

        // Replace all, then undo it in one step.
        what->selectAll();
        typeText(what, q(u8"。"));
        with->selectAll();
        typeText(with, QStringLiteral("!"));
        QString told;
        QTimer::singleShot(50, [&] {
            if (auto* m = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                told = m->text();
                m->accept();
            }
        });
        QTest::mouseClick(unit<QPushButton>(replace, u8"按钮3"), Qt::LeftButton);
        QCOMPARE(told, q(u8"已全部替换，共替换了2处。"));
        QCOMPARE(window.text(Unit::编辑框1), gbk(u8"第一章\r\n夜色很深!\r\n月光里有风!"));
        body->undo();
        QCOMPARE(window.text(Unit::编辑框1), expected);

        // 取消 lets the Replace window go; the next opening builds a new one.
        QTest::mouseClick(unit<QPushButton>(replace, u8"按钮4"), Qt::LeftButton);
        QVERIFY(!window.findWindows().exists(FindWindowKind::Replace));
        QTRY_VERIFY(!window.widget()->findChild<QDialog*>(q(u8"替换")));
    }
};

QTEST_MAIN(QtFindTest)
#include "qt_find_test.moc"
