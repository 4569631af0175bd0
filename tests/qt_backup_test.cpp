// The backup copy of a long body on the real window.

#include "app/application.h"
#include "core/cipher.h"
#include "qt_support.h"
#include "qt_window_helpers.h"
#include "session/backup.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QtTest>

using namespace talery;
using namespace talery::test;

// A backup of a long body is read on the window's thread a slice at a time
// between its events and written on the writer's: the slices join to exactly
// the body (line breaks, the euro sign), the keystream runs on across them,
// and an edit behind what a copy has read makes the copy start again.
class QtBackupTest : public QObject {
    Q_OBJECT
private slots:
    void longBodyIsCopiedWhole() {
        test::TempDir dir;
        QtWindow window;
        Text body;
        while (body.size() < 3'000'000) body += g(u8"天地玄黄，宇宙洪荒。ab 1\t") + "\r\n" + g(u8"€");
        window.setText(Unit::编辑框1, body);
        QVERIFY(window.text(Unit::编辑框1) == body);
        int reads = 0;
        std::function<void()> onSecondRead;
        const BackupWriter::Body reader{[&](std::size_t position, std::size_t count) {
                                            if (++reads == 2 && onSecondRead) QTimer::singleShot(0, onSecondRead);
                                            return window.bodyText(position, count);
                                        },
                                        [&] { return window.bodyLength(); }};
        const auto post = [&window](std::function<void()> task) { window.post(std::move(task)); };
        const Path plain = dir / "backup/a.txt", secret = dir / "backup/a.tlr";
        const std::string key = documentKeyText("pw");
        {
            BackupWriter writer(reader, post, std::chrono::milliseconds(0));
            writer.schedule({plain, {}});
            QTRY_COMPARE(writer.writesDone(), 1);
            QVERIFY(reads > 4);
            QVERIFY(test::readBytes(plain) == body);
            writer.schedule({secret, key});
            QTRY_COMPARE(writer.writesDone(), 2);
            QVERIFY(test::readBytes(secret) == encryptText(body, key));
        }
        // Typing at the start while the copy is halfway.
        reads = 0;
        BackupWriter writer(reader, post, std::chrono::milliseconds(0));
        onSecondRead = [&] {
            auto* edit = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
            QTextCursor(edit->document()).insertText(q(u8"序"));
            writer.bodyChanged(0);
            writer.schedule({plain, {}});
        };
        writer.schedule({plain, {}});
        QTRY_COMPARE(writer.writesDone(), 1);
        QCOMPARE(window.text(Unit::编辑框1).substr(0, 2), g(u8"序"));
        QVERIFY(test::readBytes(plain) == window.text(Unit::编辑框1));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QtBackupTest suite;
    return QTest::qExec(&suite, argc, argv);
}
#include "qt_backup_test.moc"
