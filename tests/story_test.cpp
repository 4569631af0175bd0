// A writer's day on the real window, offscreen, with the real sound devices
// of a private sound server: what the writer does, and what is on disk
// afterwards, byte for byte. And a day that ends with the power cut.

#include "app/application.h"
#include "audio/qt/qt_audio.h"
#include "core/cipher.h"
#include "qt_support.h"
#include "tasks/points.h"
#include "test_support.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QAudioDevice>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <iostream>

using namespace talery;

namespace {

QString q(std::u8string_view s) { return QString::fromUtf8(reinterpret_cast<const char*>(s.data()), qsizetype(s.size())); }
Text g(std::u8string_view s) { return gbk(s); }

using test::ModalScript;
using test::press;

ModalScript::Step chooseFile(const std::string& path) {
    return [path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name) { w->close(); return; }
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    };
}

ModalScript::Step typePassword(const QString& password) {
    return [password](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>(QStringLiteral("编辑框1"));
        if (!edit) { w->close(); return; }
        QTest::keyClicks(edit, password);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

// What an input method hands over when the writer picks the characters.
void commit(QWidget* target, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(target, &event);
}

// Talery as started from the desktop, on a program folder and a fixed day.
struct Talery {
    Talery(const std::string& folder, LocalDateTime now)
        : clock(now), app(window, clock, SettingsStore(folder)) {
        app.audio().attach(capture, media, cue);
    }
    // Starts it as main() does; a recovery question comes before the window shows.
    bool start() {
        app.start();
        window.widget()->show();
        return QTest::qWaitForWindowExposed(window.widget());
    }
    template <class T = QWidget> T* unit(Unit u) { return qobject_cast<T*>(window.unitWidget(u)); }
    QLineEdit* title() { return unit<QLineEdit>(Unit::章节名称); }
    QPlainTextEdit* body() { return unit<QPlainTextEdit>(Unit::编辑框1); }
    QPushButton* startButton() { return unit<QPushButton>(Unit::开始书写按钮); }

    QtWindow window;
    QtCaptureDevice capture;
    QtMediaBackend media;
    QtCuePlayer cue;
    FixedClock clock;
    Application app;
};

// The paragraphs of the chapter, as the input method commits them.
const std::u8string_view kParagraphs[] = {
    u8"雪下了一夜，镇上的灯一盏一盏地熄了。",
    u8"她推开门，看见院子里站着一个陌生人，肩上落满了雪。",
    u8"“你找谁？”她问。那人没有回答，只是把一封信递了过来。",
};

}  // namespace

class StoryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void aWritersDay();
    void thePowerGoesOutMidChapter();
};

void StoryTest::initTestCase() {
    if (QMediaDevices::defaultAudioInput().isNull() || QMediaDevices::defaultAudioOutput().isNull())
        QFAIL("no sound input or output: the sound server is not running");
}

void StoryTest::aWritersDay() {
    test::TempDir dir;
    const LocalDateTime saturday{2026, 12, 12, 20, 0, 0};
    const std::string tlr = dir / "第一章.tlr";
    Text chapter;
    {
        // --- First start in an empty folder.
        Talery talery(dir.path(), saturday);
        QVERIFY(talery.start());
        const Rect screen = talery.window.screenArea();
        const int width = std::min(1119, screen.width), height = std::min(838, screen.height);
        QCOMPARE(talery.window.widget()->size(), QSize(width, height));
        QCOMPARE(test::readBytes(dir / "setting.ini"),
                 g(u8"[文本设置]\r\n文本颜色=0\r\n背景颜色=0\r\n大字体模式=假\r\n[软件设置]\r\n高度=") + decimal(height) +
                     g(u8"\r\n宽度=") + decimal(width) +
                     g(u8"\r\n自动保存=真\r\n按钮类型=0\r\n小提示类型=0\r\n顶图类型=0\r\n最后一次登录=20261212\r\n"));

        // --- A chapter past 1000 characters, typed through the input method.
        talery.title()->setFocus();
        commit(talery.title(), q(u8"第一章 雪夜"));
        QTest::keyClick(talery.title(), Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), talery.body());
        // The session starts with the title line; a paragraph ends with Enter.
        chapter = g(u8"第一章 雪夜\r\n");
        for (int round = 0; round < 20; ++round) {
            for (std::u8string_view paragraph : kParagraphs) {
                commit(talery.body(), q(paragraph));
                QTest::keyClick(talery.body(), Qt::Key_Return);
                chapter += g(paragraph) + "\r\n";
            }
        }
        QCOMPARE(talery.window.text(Unit::编辑框1), chapter);
        QCOMPARE(IniFile(dir / "setting.ini").read(g(u8"软件设置"), g(u8"1000字")), Text("20261212"));

        // --- Saved encrypted, under a password.
        ModalScript saving({chooseFile(tlr), typePassword(QStringLiteral("snow-2026")), press(QMessageBox::Ok)});
        QTest::mouseClick(talery.startButton(), Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(saving.seen.last(), q(u8"保存成功！"));
        QCOMPARE(test::readBytes(tlr), encryptText(chapter, documentKeyText("snow-2026")));
        QCOMPARE(talery.body()->toPlainText(), q(u8"文本已经保存，感谢您的使用"));

        // --- A diary.
        ModalScript diary({press(QMessageBox::Ok)});
        talery.window.menuAction(Unit::新建日记)->trigger();
        QVERIFY(diary.done());
        commit(talery.body(), q(u8"今天写完了第一章，雪还没停。"));
        ModalScript savingDiary({chooseFile(dir / "日记.txt"), press(QMessageBox::Ok)});
        QTest::mouseClick(talery.startButton(), Qt::LeftButton);
        QVERIFY(savingDiary.done());
        QCOMPARE(test::readBytes(dir / "日记.txt"),
                 g(u8"2026年12月12日星期六     by：Talery日记\r\n今天写完了第一章，雪还没停。"));

        // --- A voice note, recorded and played back.
        QTest::mousePress(talery.unit(Unit::录音按钮), Qt::LeftButton);
        QVERIFY(talery.app.audio().recorder().recording());
        QTest::qWait(1200);
        ModalScript savingNote({chooseFile(dir / "灵感.wav")});
        QTest::mousePress(talery.unit(Unit::录音按钮), Qt::LeftButton);
        QVERIFY(savingNote.done());
        const std::string wav = test::readBytes(dir / "灵感.wav");
        QVERIFY(wav.size() > 44 + 8000);  // at least a quarter of a second
        const std::uint32_t data = std::uint32_t(wav.size() - 44);
        auto le = [](std::uint32_t v, int n) {
            std::string out;
            for (int i = 0; i < n; ++i) out += char(v >> (8 * i) & 0xFF);
            return out;
        };
        QCOMPARE(wav.substr(0, 44), "RIFF" + le(data + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
                                        le(8000, 4) + le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(data, 4));
        talery.app.openWav(dir / "灵感.wav");
        QMediaPlayer* player = talery.media.player(talery.app.audio().playback().unit().alias());
        QVERIFY(player);
        QTRY_COMPARE_WITH_TIMEOUT(player->mediaStatus(), QMediaPlayer::EndOfMedia, 10000);
        QTest::mouseClick(talery.unit(Unit::音乐相关3), Qt::LeftButton);

        // --- The day's tasks: four done on a Saturday pay five points each.
        talery.window.menuAction(Unit::设置)->trigger();
        talery.unit<TabControl>(Unit::高级选择夹1)->bar()->setCurrentIndex(4);
        QTest::mouseClick(talery.unit(Unit::刷新任务按钮), Qt::LeftButton);
        auto* tasks = talery.unit<QListWidget>(Unit::超级列表框1);
        QStringList done;
        for (int i = 0; i < tasks->count(); ++i)
            if (tasks->item(i)->text().contains(q(u8"√完成"))) done << tasks->item(i)->text().section(QLatin1Char(' '), 0, 0);
        done.sort();
        QStringList expected{q(u8"勤劳蜜蜂"), q(u8"声音天使"), q(u8"日记达人"), q(u8"日写千字")};
        expected.sort();
        QCOMPARE(done, expected);
        QCOMPARE(talery.unit<QLabel>(Unit::积分显示)->text(), q(u8"当前积分： 20"));
        QCOMPARE(loadPoints(IniFile(dir / "setting.ini")), 20);
        // A second refresh pays nothing more.
        QTest::mouseClick(talery.unit(Unit::刷新任务按钮), Qt::LeftButton);
        QCOMPARE(loadPoints(IniFile(dir / "setting.ini")), 20);

        // --- A lighter theme: a paper-coloured background, black text, the summer buttons.
        talery.unit<TabControl>(Unit::高级选择夹1)->bar()->setCurrentIndex(0);
        ModalScript picking({[](QWidget* w) {
            auto* dialog = qobject_cast<QColorDialog*>(w);
            if (!dialog) { w->close(); return; }
            dialog->setCurrentColor(QColor(0xF4, 0xF1, 0xEA));
            dialog->accept();
        }});
        QTest::mouseClick(talery.unit(Unit::颜色), Qt::LeftButton);
        QVERIFY(picking.done());
        talery.unit<QComboBox>(Unit::文本颜色)->setCurrentIndex(1);
        talery.unit<QComboBox>(Unit::按钮类型)->setCurrentIndex(1);
        QTest::mouseClick(talery.unit(Unit::保存设置), Qt::LeftButton);
        QVERIFY(!talery.unit(Unit::关于)->isVisible());
        const IniFile ini(dir / "setting.ini");
        QCOMPARE(ini.read(g(u8"文本设置"), g(u8"背景颜色")), decimal(0xEAF1F4));
        QCOMPARE(ini.read(g(u8"文本设置"), g(u8"文本颜色")), Text("1"));
        QCOMPARE(ini.read(g(u8"软件设置"), g(u8"按钮类型")), Text("1"));

        // --- Good night.
        QTest::mouseClick(talery.unit(Unit::关闭按钮), Qt::LeftButton);
        QVERIFY(!talery.window.widget()->isVisible());
    }
    QVERIFY(isReadOnly(dir / "setting.ini"));
    // A normal exit leaves nothing to recover.
    for (const auto& e : std::filesystem::directory_iterator(dir / "backup"))
        QVERIFY2(e.path().extension() != ".journal", e.path().c_str());

    // --- The next morning: everything as it was left, and the chapter opens with its password.
    Talery talery(dir.path(), {2026, 12, 13, 8, 0, 0});
    QVERIFY(talery.start());
    QCOMPARE(talery.unit<QLabel>(Unit::积分显示)->text(), q(u8"当前积分： 20"));
    QCOMPARE(talery.window.widget()->palette().color(QPalette::Window), QColor(0xF4, 0xF1, 0xEA));
    QCOMPARE(talery.body()->palette().color(QPalette::Text), QColor(Qt::black));
    QCOMPARE(talery.unit<QComboBox>(Unit::按钮类型)->currentIndex(), 1);
    QCOMPARE(talery.unit<QComboBox>(Unit::文本颜色)->currentIndex(), 1);
    ModalScript opening({chooseFile(tlr), typePassword(QStringLiteral("snow-2026"))});
    talery.window.menuAction(Unit::打开文件)->trigger();
    QVERIFY(opening.done());
    QCOMPARE(talery.window.text(Unit::编辑框1), chapter);
    QCOMPARE(talery.title()->text(), q(u8"第一章"));
}

// --- The power goes out -------------------------------------------------

namespace {

constexpr char kPassword[] = "lamp";
constexpr std::u8string_view kTypedBeforeTheCut = u8"灯灭了。她在黑暗里";

// The writer's side, in a process of its own: opens the encrypted chapter,
// types, reports the last key and waits to be killed.
int writeUntilKilled(const std::string& folder) {
    Talery talery(folder, {2026, 12, 12, 22, 0, 0});
    if (!talery.start()) return 2;
    ModalScript password({typePassword(QString::fromLatin1(kPassword))});
    talery.app.openNamedFile(folder + "/第二章.tlr");
    if (!password.done() || !talery.body()->isEnabled()) return 3;
    talery.body()->moveCursor(QTextCursor::End);
    QTest::keyClick(talery.body(), Qt::Key_Return);
    commit(talery.body(), q(kTypedBeforeTheCut));
    QTest::keyClicks(talery.body(), QStringLiteral("..."));
    std::cout << "typed" << std::endl;
    return QApplication::exec();
}

}  // namespace

void StoryTest::thePowerGoesOutMidChapter() {
    test::TempDir dir;
    const Text saved = g(u8"第二章\r\n停电前的最后一段。");
    test::writeBytes(dir / "第二章.tlr", encryptText(saved, documentKeyText(kPassword)));

    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write-until-killed"),
                                                            QString::fromStdString(dir.path())});
    QVERIFY(writer.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += writer.readAllStandardOutput()).contains("typed"), 20000);
    // The kill comes once the backup writer has put the last keystroke in the
    // copy, however long its own wait takes on a busy machine.
    const Text recovered = saved + "\r\n" + g(kTypedBeforeTheCut) + "...";
    const std::string copyBytes = encryptText(recovered, documentKeyText(kPassword));
    const auto copyHoldsTheLastKey = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(dir / "backup", ec))
            if (e.is_regular_file() && !e.path().filename().string().starts_with(kTempPrefix) &&
                test::readBytes(e.path()) == copyBytes)
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(copyHoldsTheLastKey(), 20000);
    writer.kill();  // SIGKILL
    QVERIFY(writer.waitForFinished());
    QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
    QCOMPARE(test::readBytes(dir / "第二章.tlr"), encryptText(saved, documentKeyText(kPassword)));

    // The next start offers the copy, asks its password, and the text is back.
    Talery talery(dir.path(), {2026, 12, 13, 8, 0, 0});
    ModalScript recovering({press(QMessageBox::Yes), typePassword(QString::fromLatin1(kPassword))});
    QVERIFY(talery.start());
    QVERIFY(recovering.done());
    QVERIFY(recovering.seen.first().contains(q(u8"上次没有正常关闭")));
    QCOMPARE(recovering.seen.at(1), q(u8"tlr密码输入"));
    QCOMPARE(talery.window.text(Unit::编辑框1), recovered);
    QVERIFY(talery.body()->isEnabled());

    // Saved over the document it belongs to, under its password.
    ModalScript saving({press(QMessageBox::Yes), press(QMessageBox::Yes), press(QMessageBox::Ok)});
    QTest::mouseClick(talery.startButton(), Qt::LeftButton);
    QVERIFY(saving.done());
    QCOMPARE(saving.seen.last(), q(u8"文件已经保存"));
    QCOMPARE(test::readBytes(dir / "第二章.tlr"), encryptText(recovered, documentKeyText(kPassword)));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (argc == 3 && std::string_view(argv[1]) == "--write-until-killed") return writeUntilKilled(argv[2]);
    StoryTest story;
    return QTest::qExec(&story, argc, argv);
}
#include "story_test.moc"
