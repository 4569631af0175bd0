// Save safety on the real window: the save dialog's types and the body's line breaks.

#include "app/application.h"
#include "core/cipher.h"
#include "qt_support.h"
#include "qt_window_helpers.h"
#include "session/backup.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QThreadPool>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace talery;
using namespace talery::test;

// --- Save safety: the real save dialog's types and the body's line breaks ---

class QtSaveSafetyTest : public QObject {
    Q_OBJECT

    struct Rig {
        test::TempDir dir;
        QtWindow window;
        FixedClock clock{{2026, 12, 8, 9, 30, 0}};
        Application app{window, clock, SettingsStore(dir.path())};
        Rig() {
            app.start();
            window.widget()->show();
        }
        QPushButton* start() { return qobject_cast<QPushButton*>(window.unitWidget(Unit::开始书写按钮)); }
        QPlainTextEdit* body() { return qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1)); }
    };

private slots:
    void encryptedTypeWithABareNameSavesEncrypted() {
        Rig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.widget()));
        typeText(qobject_cast<QLineEdit*>(rig.window.unitWidget(Unit::章节名称)), q(u8"秘密"));
        QTest::mouseClick(rig.start(), Qt::LeftButton);
        const Text written = rig.window.text(Unit::编辑框1);

        auto chooseEncryptedType = [](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(types);
            QTest::keyClick(types, Qt::Key_Down);  // as the user picks the second type
            if (types->currentIndex() != 1) dialog->reject();
            QCOMPARE(types->currentIndex(), 1);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("secret"));
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        };
        ModalScript saving({chooseEncryptedType, typePassword(QStringLiteral("pw")), press(QMessageBox::Ok)});
        QTest::mouseClick(rig.start(), Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(test::readBytes(rig.dir.file("secret.tlr")), encryptText(written, documentKeyText("pw")));
        QVERIFY(!fileExists(rig.dir.file("secret.txt")));
        QVERIFY(!fileExists(rig.dir.file("secret")));
    }

    // Esc at the password dialog cancels whatever asked for it: a save writes
    // nothing, an open or a drop opens nothing, a recovery asks again.
    void escapeAtEveryPasswordDialogCancels() {
        const ModalScript::Step escape = [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); };
        Rig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.widget()));
        const std::string secret = rig.dir.file("s.tlr");
        test::writeBytes(secret, encryptText(g(u8"密文"), documentKeyText("pw")));
        rig.app.session().record().password = "earlier";

        typeText(qobject_cast<QLineEdit*>(rig.window.unitWidget(Unit::章节名称)), q(u8"新稿"));
        QTest::mouseClick(rig.start(), Qt::LeftButton);
        const Text written = rig.window.text(Unit::编辑框1);
        ModalScript saving({chooseFile(QString::fromStdString(rig.dir.file("n.tlr"))), press(QMessageBox::No), escape});
        QTest::mouseClick(rig.start(), Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(saving.seen.size(), 3);
        QVERIFY(!fileExists(rig.dir.file("n.tlr")));
        QVERIFY(rig.app.session().writing());
        QCOMPARE(rig.window.text(Unit::编辑框1), written);
        rig.app.session().record().password = "earlier";
        ModalScript givingUp({press(QMessageBox::Ok), press(QMessageBox::Ok)});
        QTest::mouseClick(rig.window.unitWidget(Unit::放弃编辑), Qt::LeftButton);
        QVERIFY(givingUp.done());

        ModalScript opening({chooseFile(QString::fromStdString(secret)), escape});
        rig.window.menuAction(Unit::打开文件)->trigger();
        QVERIFY(opening.done());
        QVERIFY(!rig.app.session().writing());
        ModalScript dropping({escape});
        dropFiles(rig.window.unitWidget(Unit::章节名称), {QString::fromStdString(secret)});
        QTRY_VERIFY(dropping.done());  // drops are taken after the event that brought them
        QVERIFY(!rig.app.session().writing());
        QCOMPARE(rig.app.session().record().password, Text("earlier"));
        QVERIFY(opening.seen.size() == 2 && dropping.seen.size() == 1);
    }

    void escapeAtTheRecoveryPasswordAsksAgain() {
        test::ShownProgram program;
        // A program that was writing an encrypted document and ended abruptly.
        const std::string copy = program.dir.file("backup/s.tlr");
        std::filesystem::create_directories(program.dir.file("backup"));
        test::writeBytes(copy, encryptText(g(u8"备份里的密文"), documentKeyText("pw")));
        // Pictures are converted on pooled threads: none may be busy (holding
        // the allocator, say) when the child is forked.
        QThreadPool::globalInstance()->waitForDone();
        const pid_t child = ::fork();
        if (child == 0) {
            auto* journal = new SessionJournal(program.dir.path());
            journal->begin({g(u8"秘"), copy, program.dir.file("s.tlr"), true, makePasswordCheck(documentKeyText("pw"))});
            ::_exit(0);  // no destructor: the entry stays, its lock goes
        }
        ::waitpid(child, nullptr, 0);
        const ModalScript::Step escape = [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); };
        ModalScript recovering({press(QMessageBox::Yes), escape, press(QMessageBox::Yes), escape, press(QMessageBox::No)});
        QVERIFY(program.start());
        QVERIFY(recovering.done());
        QVERIFY(recovering.seen[2] == recovering.seen[0] && recovering.seen[4] == recovering.seen[0]);
        QVERIFY(!program.app->session().writing());
        QVERIFY(fileExists(copy));
    }

    // Every line-break style through the real body: untouched it is not
    // questioned; edited it saves in its own style (mixed ones as CR LF).
    void lineBreaksRoundTripThroughTheBody() {
        struct Case {
            const char* name;
            std::string file;
            std::string afterEdit;
            bool mixed;
        };
        const Case cases[] = {
            {"crlf", "a\r\nb\r\n", "a\r\nb\r\nz", false},
            {"lf", "a\nb\n\n", "a\nb\n\nz", false},
            {"cr", "a\rb\r", "a\rb\rz", false},
            {"mixed", "a\r\nb\nc", "a\r\nb\r\ncz", true},
            {"cr cr lf", "a\r\r\nb", "a\r\n\r\nbz", true},
        };
        for (const Case& c : cases) {
            Rig rig;
            QVERIFY(QTest::qWaitForWindowExposed(rig.window.widget()));
            const std::string path = rig.dir.file("f.txt");
            test::writeBytes(path, c.file);
            const QString chosen = QString::fromStdString(path);
            ModalScript opening = c.mixed ? ModalScript({chooseFile(chosen), press(QMessageBox::Ok)})
                                          : ModalScript({chooseFile(chosen)});
            rig.window.menuAction(Unit::打开文件)->trigger();
            if (c.mixed) QVERIFY(opening.seen.last().contains(q(u8"换行")));
            QVERIFY2(opening.done(), c.name);
            QVERIFY2(rig.app.session().bodyMatchesFile(), c.name);

            rig.body()->moveCursor(QTextCursor::End);
            QTest::keyClicks(rig.body(), QStringLiteral("z"));
            QVERIFY2(!rig.app.session().bodyMatchesFile(), c.name);
            ModalScript saving({press(QMessageBox::Yes), press(QMessageBox::Ok)});
            QTest::mouseClick(rig.start(), Qt::LeftButton);
            QVERIFY2(saving.done(), c.name);
            QCOMPARE(test::readBytes(path), c.afterEdit);
        }
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QtSaveSafetyTest suite;
    return QTest::qExec(&suite, argc, argv);
}
#include "qt_save_safety_test.moc"
