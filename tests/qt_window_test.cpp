// The real main window, offscreen: its units as designed, and a writer's
// story driven by key events, clicks and the real dialogs.

#include "session/backup.h"
#include "aids/chapter_layout.h"
#include "core/text_figures.h"
#include "app/application.h"
#include "app/tips.h"
#include "core/cipher.h"
#include "session/recovery.h"
#include "session/versions.h"
#include "qt_support.h"
#include "qt_window_helpers.h"
#include "test_support.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"
#include "ui/qt/qt_window.h"
#include "ui/unit_table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>
#include <QUrl>

#include <deque>
#include <filesystem>
#include <sys/stat.h>
#include <random>
#include <functional>
#include <memory>

using namespace talery;

namespace {

using namespace talery::test;

// Saves the whole screen, popups included, when TALERY_SCREENSHOTS names a
// folder (under a real X server: the offscreen platform has no screen to grab).
void keepScreen(const char* name) {
    const QByteArray folder = qgetenv("TALERY_SCREENSHOTS");
    if (folder.isEmpty()) return;
    QTest::qWait(200);
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
}

using test::typeText;

struct Expected {
    const char8_t* name;
    const char* qtClass;
    const char8_t* parent;  // object name of the Qt parent
    int left, top, width, height;  // width and height -1 where the design leaves them open
    const char8_t* text;           // nullptr where the design leaves it open
};

// The main window's units as designed, written down independently of the program's table.
const Expected kInventory[] = {
    {u8"背景", "QLabel", u8"主窗口", 0, 0, 1120, 64, nullptr},
    {u8"标题栏", "QLabel", u8"主窗口", 9, 0, 1031, 32, u8"Talery6—你的原创写作助手 v6.1 2015 正式版"},
    {u8"最小化按钮1", "QLabel", u8"主窗口", 1070, 3, 16, 24, u8"_"},
    {u8"关闭按钮", "QLabel", u8"主窗口", 1094, 6, 24, 24, u8"×"},
    {u8"左上调节器", "QLabel", u8"主窗口", 0, 0, 8, 8, nullptr},
    {u8"上调节器", "QLabel", u8"主窗口", 8, -8, 1112, 5, nullptr},
    {u8"右上调节器", "QLabel", u8"主窗口", 1111, 0, 8, 8, nullptr},
    {u8"右调节器", "QLabel", u8"主窗口", 1112, 0, 8, 824, nullptr},
    {u8"右下调节器", "QLabel", u8"主窗口", 1110, 829, 8, 8, nullptr},
    {u8"下调节器", "QLabel", u8"主窗口", 16, 832, 1104, 5, nullptr},
    {u8"左下调节器", "QLabel", u8"主窗口", 0, 829, 8, 8, nullptr},
    {u8"左侧调节器", "QLabel", u8"主窗口", 0, 24, 5, 816, nullptr},
    {u8"章节名称提示", "QLabel", u8"主窗口", 33, 32, 71, 32, u8"标题/题目："},
    {u8"章节名称", "QLineEdit", u8"主窗口", 104, 36, 864, 24, u8""},
    {u8"开始书写按钮", "QPushButton", u8"主窗口", 971, 36, 88, 24, u8"开始书写"},
    {u8"录音按钮", "QLabel", u8"主窗口", 1063, 36, 24, 24, nullptr},
    {u8"录音按钮1", "QLabel", u8"主窗口", 4, 36, 24, 24, nullptr},
    {u8"编辑框1", "QPlainTextEdit", u8"主窗口", 2, 64, 990, 743, nullptr},
    {u8"状态条1", "talery::StatusBarWidget", u8"主窗口", 0, 771, 1113, 24, nullptr},
    {u8"wav播放器", "QGroupBox", u8"主窗口", 648, 760, 470, 58, u8"wav播放控制面板"},
    {u8"关于", "QGroupBox", u8"主窗口", 280, 264, 592, 368, nullptr},
    {u8"励志名言警句", "QPlainTextEdit", u8"主窗口", 16, 288, 104, 56, nullptr},
    {u8"中国地理历史", "QPlainTextEdit", u8"主窗口", 16, 232, 104, 56, nullptr},
    {u8"音乐相关1", "QPushButton", u8"wav播放器", 6, 22, 58, 24, u8"打开"},
    {u8"wav地址", "QLabel", u8"wav播放器", 66, 23, 222, 24, u8"wav文件未打开"},
    {u8"音乐相关2", "QPushButton", u8"wav播放器", 291, 24, 88, 24, u8"播放/暂停"},
    {u8"音乐相关3", "QPushButton", u8"wav播放器", 380, 24, 88, 24, u8"停止播放"},
    {u8"高级选择夹1", "talery::TabControl", u8"关于", 4, 0, 584, 336, nullptr},
    {u8"透明标签1", "QLabel", u8"关于", 559, 340, 24, 24, u8"取消"},
    {u8"联系作者按钮", "QPushButton", u8"关于", 8, 340, 97, 24, u8"联系作者"},
    {u8"官方博客按钮", "QPushButton", u8"关于", 112, 340, 97, 24, u8"官方博客"},
    {u8"保存设置", "QPushButton", u8"关于", 454, 340, 97, 24, u8"确定"},
    {u8"软件设置分组框", "QGroupBox", u8"高级选择夹1#0", 21, 88, 248, 232, nullptr},
    {u8"软件主题颜色标签1", "QLabel", u8"软件设置分组框", 10, 22, -1, -1, u8"顶图："},
    {u8"顶图类型", "QComboBox", u8"软件设置分组框", 108, 23, 133, 20, nullptr},
    {u8"软件主题颜色标签", "QLabel", u8"软件设置分组框", 10, 50, -1, -1, u8"背景颜色："},
    {u8"颜色", "talery::ColourPicker", u8"软件设置分组框", 107, 53, 133, 24, nullptr},
    {u8"文本颜色标签", "QLabel", u8"软件设置分组框", 10, 79, -1, -1, nullptr},
    {u8"文本颜色", "QComboBox", u8"软件设置分组框", 107, 81, 133, 20, nullptr},
    {u8"小提示内容标签", "QLabel", u8"软件设置分组框", 9, 110, -1, -1, nullptr},
    {u8"提示类型", "QComboBox", u8"软件设置分组框", 107, 111, 133, 20, nullptr},
    {u8"小提示内容标签1", "QLabel", u8"软件设置分组框", 10, 140, -1, -1, nullptr},
    {u8"按钮类型", "QComboBox", u8"软件设置分组框", 108, 141, 133, 20, nullptr},
    {u8"状态栏选择", "QCheckBox", u8"软件设置分组框", 10, 199, 87, 24, u8"隐藏状态栏"},
    {u8"透明化选择", "QCheckBox", u8"软件设置分组框", 104, 199, 80, 24, u8"软件透明"},
    {u8"自动保存", "QCheckBox", u8"高级选择夹1#0", 338, 91, 163, 24, u8"自动备份保存"},
    {u8"大字体", "QCheckBox", u8"高级选择夹1#0", 338, 124, 205, 24, u8"大字体模式（快捷键：F2）"},
    {u8"放弃编辑", "QPushButton", u8"高级选择夹1#0", 336, 294, 133, 24, u8"一键放弃编辑 F12"},
    {u8"超级链接框2", "QLabel", u8"高级选择夹1#0", 512, 93, -1, -1, u8"保存到哪？"},
    {u8"透明标签2", "QLabel", u8"高级选择夹1#0", -1, -1, -1, -1, u8"查找文本ctrl+F"},
    {u8"透明标签3", "QLabel", u8"高级选择夹1#0", -1, -1, -1, -1, u8"替换文本ctrl+H"},
    {u8"透明标签5", "QLabel", u8"高级选择夹1#0", -1, -1, -1, -1, u8"添加时间 F5"},
    {u8"下次更新时间", "QLabel", u8"高级选择夹1#0", 16, 56, 507, 24, nullptr},
    {u8"版本号标签提示", "QLabel", u8"高级选择夹1#0", 16, 32, -1, -1, nullptr},
    {u8"版本标签", "QLabel", u8"高级选择夹1#0", 69, 32, 507, 24, nullptr},
    {u8"高级字数统计", "QPlainTextEdit", u8"高级选择夹1#1", 8, 37, 269, 275, u8"开始书写之后会显示详细的字数统计"},
    {u8"图片框1", "QLabel", u8"高级选择夹1#1", 381, 56, 72, 72, nullptr},
    {u8"透明标签4", "QLabel", u8"高级选择夹1#1", 280, 136, 292, 32, nullptr},
    {u8"数据参考标签", "QLabel", u8"高级选择夹1#1", 20, 309, 445, 24, u8"数据仅供参考"},
    {u8"网页功能分组框", "QGroupBox", u8"高级选择夹1#2", 14, 96, 556, 232, nullptr},
    {u8"手写查字按钮", "QPushButton", u8"网页功能分组框", -1, 32, 97, 24, u8"手写查字"},
    {u8"世界历史按钮", "QPushButton", u8"网页功能分组框", -1, 32, 97, 24, u8"世界历史"},
    {u8"世界历史按钮1", "QPushButton", u8"网页功能分组框", -1, 32, 97, 24, u8"小说素材"},
    {u8"世界历史按钮2", "QPushButton", u8"网页功能分组框", -1, 32, 97, 24, u8"小说素材2"},
    {u8"透明标签14", "QLabel", u8"网页功能分组框", 16, 200, 504, 24, nullptr},
    {u8"文件加密器按钮", "QPushButton", u8"高级选择夹1#2", 16, 48, -1, -1, u8"打开文件加密器"},
    {u8"加密器标签", "QLabel", u8"高级选择夹1#2", 120, 48, 445, 24, nullptr},
    {u8"编辑框2", "QPlainTextEdit", u8"高级选择夹1#3", 0, 24, 584, 311, nullptr},
    {u8"积分显示", "QLabel", u8"高级选择夹1#4", 8, 23, 280, 24, u8"积分"},
    {u8"称号显示", "QLabel", u8"高级选择夹1#4", 288, 26, 248, 24, u8"称号"},
    {u8"称号说明按钮", "QPushButton", u8"高级选择夹1#4", 536, 27, 48, 24, u8"说明"},
    {u8"分组框1", "QGroupBox", u8"高级选择夹1#4", 1, 50, 592, 256, u8"任务列表"},
    {u8"超级列表框1", "QListWidget", u8"分组框1", 1, 17, 585, 237, nullptr},
    {u8"刷新任务按钮", "QPushButton", u8"高级选择夹1#4", 6, 308, 106, 24, u8"刷新任务"},
    {u8"加密器标签1", "QLabel", u8"高级选择夹1#4", 120, 308, 445, 24, nullptr},
    {u8"高级选择夹2", "talery::TabControl", u8"高级选择夹1#5", 4, 29, 576, 288, nullptr},
    {u8"透明标签9", "QLabel", u8"高级选择夹2#0", 44, 31, 488, 56,
     u8"小说人物快速取名，可能会出现一大波奇葩的名字，但我相信多随机几次一定会有你想要的\n无数个姓名库，只为充满想象力的你"},
    {u8"透明标签10", "QLabel", u8"高级选择夹2#0", 161, 88, 253, 24, u8"哇！一个超给力的名字！这个名字是："},
    {u8"编辑框4", "QLineEdit", u8"高级选择夹2#0", 176, 120, 224, 32, u8"0积分开启本功能"},
    {u8"保存设置8", "QPushButton", u8"高级选择夹2#0", 169, 176, 109, 24, u8"太奇葩了，换一个"},
    {u8"保存设置9", "QPushButton", u8"高级选择夹2#0", 296, 176, 109, 24, u8"就是TA了！"},
    {u8"透明标签12", "QLabel", u8"高级选择夹2#0", 143, 256, 289, 19, u8"如果需要特定的姓氏，可以取代生成的姓名中的姓。"},
    {u8"透明标签15", "QLabel", u8"高级选择夹2#1", 64, 32, 448, 16,
     u8"小说地点随机生成，这个名字怎么就起的这么奇葩呢？奇葩的名字给充满想象力的你"},
    {u8"透明标签16", "QLabel", u8"高级选择夹2#1", 187, 85, 201, 24, u8"哇！一个超给力的地名！这个地名是："},
    {u8"编辑框5", "QLineEdit", u8"高级选择夹2#1", 164, 126, 151, 32, u8"0积分开启本功能"},
    {u8"组合框1", "QComboBox", u8"高级选择夹2#1", 324, 133, 72, 20, nullptr},
    {u8"保存设置13", "QPushButton", u8"高级选择夹2#1", 159, 173, 109, 24, u8"太奇葩了，换一个"},
    {u8"保存设置14", "QPushButton", u8"高级选择夹2#1", 303, 173, 109, 24, u8"就是TA了！"},
    {u8"透明标签17", "QLabel", u8"高级选择夹2#1", 31, 256, 549, 32,
     u8"为了照顾新人作者，Talery对于随机取名功能仅15积分开放，真是太棒了！~"},
};

QString shownText(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
    return {};
}

QStringList itemsOf(QWidget* w) {
    QStringList out;
    if (auto* c = qobject_cast<QComboBox*>(w))
        for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    if (auto* t = qobject_cast<TabControl*>(w))
        for (int i = 0; i < t->pageCount(); ++i) out << t->bar()->tabText(i);
    if (auto* s = qobject_cast<StatusBarWidget*>(w))
        for (int i = 0; i < 4; ++i) out << s->part(i)->text();
    return out;
}

QStringList list(std::initializer_list<const char8_t*> items) {
    QStringList out;
    for (auto* i : items) out << q(i);
    return out;
}

using test::ShownProgram;

}  // namespace

class QtWindowTest : public QObject {
    Q_OBJECT

public slots:
    // Daily tasks: catches pages the program opens in the browser.
    void urlOpened(const QUrl& url) { openedUrls_ << url; }

private:
    QList<QUrl> openedUrls_;

private slots:
    void longTextsConvertAsAWhole() {
        // Several blocks of conversion: every kind of line break, and a
        // character GBK cannot hold cut by a block's edge, read as one "?".
        Text gbkText;
        for (int i = 0; gbkText.size() < (std::size_t(5) << 19); ++i)
            gbkText += g(u8"第一章，天色已晚。") + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n");
        QString reference = QString::fromStdU16String(decodeGbkLossy(gbkText));
        reference.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QCOMPARE(toQt(gbkText), reference);

        // A paragraph longer than a block is cut between two characters.
        const Text paragraph = "a" + [] {
            Text t;
            while (t.size() < 5000) t += g(u8"中文") + "b";
            return t;
        }();
        QString blocks;
        for (std::size_t from = 0, was = 0; from < paragraph.size(); was = from) {
            blocks += toQtBlock(paragraph, from, 1002);
            QVERIFY(from - was <= 1003);
        }
        QCOMPARE(blocks, QString::fromStdU16String(decodeGbkLossy(paragraph)));

        // A text read once gives back what the reading has passed, in whole
        // pages; from the reading's place on it stays as it was.
        Text consumed = gbkText;
        const std::size_t at = consumed.size() / 2 + 123, page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        ConsumedText(consumed).giveBackBefore(at);
        QVERIFY(std::string_view(consumed).substr(at) == std::string_view(gbkText).substr(at));
        const auto before = consumed.begin() + static_cast<std::ptrdiff_t>(at);
        const auto zeros = static_cast<std::size_t>(std::count(consumed.begin(), before, '\0'));
        QVERIFY(zeros > at - 2 * page && zeros <= at);

        QString wide = reference;
        const qsizetype edge = qsizetype(1) << 20;
        wide.replace(edge - 1, 2, QString::fromUtf8("\xF0\x9F\x98\x80"));
        wide[edge + 5] = QChar::ParagraphSeparator;
        QString expected = wide;
        expected.replace(QChar::ParagraphSeparator, QLatin1Char('\n')).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QCOMPARE(fromQt(wide), encodeGbkLossy(expected.toStdU16String()));
        QVERIFY(fromQt(wide).find("?") != Text::npos);
    }

    void progressShowsAndGoes() {
        QtWindow window;
        window.widget()->show();
        window.showProgress(g(u8"正在打开：长篇.txt"), 0.25);
        window.showProgress(g(u8"正在打开：长篇.txt"), 0.5);
        const auto dialogs = window.widget()->findChildren<QProgressDialog*>();
        QCOMPARE(dialogs.size(), 1);
        // Shown once the work has lasted, not at its first step.
        QVERIFY(!dialogs.front()->isVisible());
        QTRY_VERIFY(dialogs.front()->isVisible());
        QCOMPARE(dialogs.front()->labelText(), q(u8"正在打开：长篇.txt"));
        QCOMPARE(dialogs.front()->value(), 500);
        QVERIFY(!dialogs.front()->isModal());
        // The desktop's close button during the work is refused, not handed
        // on; a file dropped meanwhile opens after it.
        struct Closes : EventSink {
            int asked = 0, dropped = 0;
            void handle(const UiEvent& e) override { dropped += e.type == EventType::FileDropped; }
            bool closeRequested() override { return ++asked, true; }
        } closes;
        window.setEventSink(&closes);
        QVERIFY(!window.widget()->close());
        QCOMPARE(closes.asked, 0);
        QVERIFY(window.widget()->isVisible());
        auto* main = qobject_cast<MainWidget*>(window.widget());
        QVERIFY(main && main->onFilesDropped);
        main->onFilesDropped({QStringLiteral("/tmp/dropped.txt")});
        QTest::qWait(200);
        QCOMPARE(closes.dropped, 0);
        window.endProgress();
        QVERIFY(window.widget()->findChildren<QProgressDialog*>().isEmpty() || !dialogs.front()->isVisible());
        QTRY_COMPARE(closes.dropped, 1);
        QVERIFY(window.widget()->close());
        QCOMPARE(closes.asked, 1);
    }

    // A long text loaded during long work goes in a slice at a time: the
    // window handles its timers and paints meanwhile, the text arrives whole,
    // the statistics hear of one change, and undo cannot take it apart.
    void longTextGoesInWhileTheWindowPaints() {
        struct Changes : EventSink {
            std::vector<BodyChange> seen;
            void handle(const UiEvent& e) override {
                if (e.unit == Unit::编辑框1 && e.type == EventType::TextChanged) seen.push_back(e.change);
            }
            bool closeRequested() override { return true; }
        } changes;
        QtWindow window;
        window.widget()->show();
        window.setEventSink(&changes);
        window.setText(Unit::编辑框1, g(u8"旧的正文"));
        changes.seen.clear();
        Text body;
        while (body.size() < 6'000'000) body += g(u8"天地玄黄，宇宙洪荒。ab 1\t") + "\r\n" + g(u8"€");
        const std::size_t characters = countBodyCharacters(body);
        QVERIFY(characters > 2 * (std::size_t(1) << 20));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(0);
        window.showProgress(g(u8"正在打开：长篇.txt"), 0.7);
        const auto* bar = window.widget()->findChild<QProgressDialog*>();
        const int ticksBefore = ticks;
        // The box paints the text's start while the rest still goes in.
        auto* edit = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        struct WholePaints : QObject {
            QWidget* viewport = nullptr;
            std::vector<int> lengths;  // the document's, at each
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint &&
                    static_cast<QPaintEvent*>(e)->rect().height() > viewport->height() / 2)
                    lengths.push_back(qobject_cast<QPlainTextEdit*>(viewport->parent())->document()->characterCount());
                return false;
            }
        } paints;
        paints.viewport = edit->viewport();
        edit->viewport()->installEventFilter(&paints);
        Text moving = body;
        window.takeText(Unit::编辑框1, std::move(moving));
        edit->viewport()->removeEventFilter(&paints);
        QVERIFY(edit->viewport()->updatesEnabled());  // held back only for the step that lays the start out
        QVERIFY(std::any_of(paints.lengths.begin(), paints.lengths.end(),
                            [&](int length) { return length > 5 && std::size_t(length) < characters; }));
        QVERIFY(ticks - ticksBefore >= 2);
        QVERIFY(bar->value() > 700);
        window.endProgress();
        QVERIFY(window.text(Unit::编辑框1) == body);
        QCOMPARE(changes.seen.size(), std::size_t(1));
        QCOMPARE(changes.seen.front(), (BodyChange{0, 4, characters}));
        QVERIFY(!edit->document()->isUndoAvailable());
        QCOMPARE(edit->textCursor().position(), 0);
        // The scroll bar is sized for all of it once it is in, as for a text set at once.
        const int grown = edit->verticalScrollBar()->maximum();
        window.setText(Unit::编辑框1, body);
        QVERIFY(edit->verticalScrollBar()->maximum() > 100'000);
        QCOMPARE(grown, edit->verticalScrollBar()->maximum());
    }

    void inventoryMatchesTheDesign() {
        QtWindow window;
        QWidget* main = window.widget();
        QCOMPARE(main->objectName(), QStringLiteral("主窗口"));
        QCOMPARE(main->windowTitle(), q(u8"Talery5—你的原创写作助手 v5.6 2015-十月版"));
        QCOMPARE(main->geometry(), QRect(50, 50, 1119, 838));
        QVERIFY(main->windowFlags() & Qt::FramelessWindowHint);

        for (const Expected& e : kInventory) {
            const QString name = q(e.name);
            auto* w = main->findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            QVERIFY2(w->inherits(e.qtClass), qPrintable(name + " is " + w->metaObject()->className()));
            QCOMPARE(w->parentWidget()->objectName(), q(e.parent));
            const QRect r = w->geometry();
            if (e.left != -1) QCOMPARE(r.x(), e.left);
            if (e.top != -1) QCOMPARE(r.y(), e.top);
            if (e.width != -1) QCOMPARE(r.width(), e.width);
            if (e.height != -1) QCOMPARE(r.height(), e.height);
            if (e.text) QCOMPARE(shownText(w), q(e.text));
        }

        // Every unit of the program's table has its widget, action or timer.
        for (const UnitDesign& design : unitTable()) {
            const bool hasObject = window.unitWidget(design.unit) || window.menuAction(design.unit) || window.timer(design.unit);
            QVERIFY2(hasObject || (design.flags & kInvisibleUnit), design.name.data());
        }

        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"按钮类型"))),
                 list({u8"经典暗色系", u8"清爽夏日系", u8"纯·午夜黑（10积分）", u8"纯·空灵白（58积分）",
                       u8"精简文字感（500积分）", u8"国庆欢庆系（88积分）", u8"秋景所感（限时免分）"}));
        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"顶图类型"))),
                 list({u8"经典纯色", u8"天隙流光（180积分）", u8"英雄联盟（限时免分）"}));
        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"提示类型"))), list({u8"中国地理历史", u8"励志名言警句", u8"共同打造"}));
        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"文本颜色"))), list({u8"白色", u8"黑色"}));
        const QStringList places = itemsOf(main->findChild<QWidget*>(q(u8"组合框1")));
        QCOMPARE(places.size(), 42);
        QCOMPARE(places.first(), q(u8"山"));
        QCOMPARE(places.at(19), q(u8"小学"));
        QCOMPARE(places.at(40), q(u8"基地"));
        QCOMPARE(places.last(), QString());
        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"高级选择夹1"))),
                 list({u8"功能设置", u8"字数统计", u8"应用中心", u8"许可协议", u8"获取积分", u8"随机取名"}));
        QCOMPARE(itemsOf(main->findChild<QWidget*>(q(u8"状态条1"))),
                 list({u8"当前字数", u8"你已经连续书写", u8"Talery小提示，你的思路也许从这里开始", u8"Talery"}));

        // The menu "开始" with its separators, in display order.
        QStringList entries;
        for (QAction* a : window.menu()->actions()) entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(entries, list({u8"打开文件", u8"新建临时文本", u8"新建日记", u8"-", u8"清空正在编辑", u8"-", u8"设置", u8"一键排版", u8"历史版本", u8"小黑屋", u8"退出"}));

        QCOMPARE(window.timer(Unit::时钟1)->interval(), 7500);
        QCOMPARE(window.timer(Unit::时钟2)->interval(), 1000);
        QCOMPARE(main->findChild<QWidget*>(q(u8"开始书写按钮"))->toolTip(), q(u8"点击这个按钮可以开始书写和停止书写。"));
        QCOMPARE(main->findChild<QWidget*>(q(u8"放弃编辑"))->toolTip(), q(u8"使用一键放弃文本可以清空当前编辑。"));
        QVERIFY(main->findChild<QWidget*>(q(u8"关于"))->isHidden());
        QVERIFY(main->findChild<QWidget*>(q(u8"wav播放器"))->isHidden());
        QVERIFY(main->findChild<QWidget*>(q(u8"励志名言警句"))->isHidden());
        QVERIFY(qobject_cast<QCheckBox*>(main->findChild<QWidget*>(q(u8"自动保存")))->isChecked());

        // The body: multi-line, scroll bar, disabled, the welcome text centred.
        auto* body = main->findChild<TextEdit*>(q(u8"编辑框1"));
        QVERIFY(body->centred());
        QVERIFY(!body->isEnabled());
        QCOMPARE(body->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const Text welcome = window.text(Unit::编辑框1);
        QCOMPARE(welcome.size(), std::size_t(499));
        QCOMPARE(welcome, gbk(welcomeText()));
        QVERIFY(body->font().families().contains(q(u8"微软雅黑")));
        // Drawn without shaping rules (a long paragraph's keys), also once the size changes.
        const int size = body->font().pointSize();
        window.setFontSize(Unit::编辑框1, size + 4);
        QCOMPARE(body->font().pointSize(), size + 4);
        QVERIFY(body->font().styleStrategy() & QFont::PreferNoShaping);
        QVERIFY(body->document()->defaultFont().styleStrategy() & QFont::PreferNoShaping);
        window.setFontSize(Unit::编辑框1, size);
        QVERIFY(main->findChild<QWidget*>(q(u8"章节名称"))->font().families().contains(q(u8"微软雅黑 Light")));
    }

    void dialogFiltersAsDesigned() {
        QtWindow window;
        test::TempDir dir;
        QStringList filters;
        QString suffix, offered, folder;
        ModalScript script({[&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            filters = d->nameFilters();
            suffix = d->defaultSuffix();
            offered = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            folder = d->directory().absolutePath();
            d->reject();
        }});
        QVERIFY(!window.saveFileDialog({Unit::通用对话框2, dir.path(), test::u8name(u8"第一章/上")}));
        QCOMPARE(filters, list({u8"文本文档（*.txt） (*.txt)", u8"Talery加密文档（*.tlr） (*.tlr)"}));
        QCOMPARE(suffix, QStringLiteral("txt"));
        // The title is offered as the name; a "/" in it cannot turn it into a path.
        QCOMPARE(offered, q(u8"第一章／上"));
        QCOMPARE(folder, QString::fromStdString(dir.path()));
    }

    void writeAChapterAndGiveItUp() {
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;

        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        title->setFocus();
        QTest::keyClicks(title, "Chapter 1");
        typeText(title, q(u8" 开端"));
        QTest::keyClick(title, Qt::Key_Return);

        QVERIFY(!title->isEnabled());
        QVERIFY(body->isEnabled());
        QTRY_COMPARE(QApplication::focusWidget(), body);
        QCOMPARE(window.text(Unit::开始书写按钮), g(u8"立刻保存"));
        QVERIFY(!window.menuAction(Unit::打开文件)->isEnabled());

        typeText(body, q(u8"天色已晚，"));
        QTest::keyClick(body, Qt::Key_Return);
        typeText(body, q(u8"他笑了😀。ก"));
        QCOMPARE(window.text(Unit::编辑框1), g(u8"Chapter 1 开端\r\n天色已晚，\r\n他笑了?。?"));
        QCOMPARE(body->toPlainText(), q(u8"Chapter 1 开端\n天色已晚，\n他笑了?。?"));

        ModalScript script({press(QMessageBox::Ok), press(QMessageBox::Ok)});
        QTest::keyClick(body, Qt::Key_F12);
        QVERIFY(script.done());
        QCOMPARE(script.seen, list({u8"警告！该操作将会删除所有内容！清空当前软件编辑，但是不影响原文件",
                                    u8"警告！您真的接受初始化软件的一切后果么？"}));
        QVERIFY(title->isEnabled());
        QVERIFY(!body->isEnabled());
        QVERIFY(title->text().isEmpty());
        QCOMPARE(body->toPlainText(), q(u8"文本已经清空，感谢您的使用"));
        QCOMPARE(window.text(Unit::开始书写按钮), g(u8"开始书写"));
        QVERIFY(window.menuAction(Unit::打开文件)->isEnabled());
    }

    void typingLeavesNoStalePixels() {
        // The body repaints only from the changed paragraph down: after every
        // kind of edit, what the window holds must equal a whole new painting.
        QApplication::setCursorFlashTime(0);
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        window.setEnabled(Unit::编辑框1, true);
        Text body;
        for (int i = 0; i < 40; ++i) body += g(u8"天地玄黄，宇宙洪荒。日月盈昃，辰宿列张。寒来暑往，秋收冬藏。") + (i % 2 ? "\r\n" : "");
        window.setText(Unit::编辑框1, body);
        auto* edit = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        // The paragraph the caret starts in keeps its layout from the first.
        QVERIFY(edit->document()->begin().layout()->cacheEnabled());
        edit->setFocus(Qt::MouseFocusReason);  // as a click gives it: no focus ring over the edge
        QTextCursor cursor = edit->cursorForPosition(edit->viewport()->rect().center());
        edit->setTextCursor(cursor);
        QWidget* top = window.widget();
        auto shownMatchesRepainted = [&] {
            QCoreApplication::processEvents();
            // Offscreen, a screen grab is what the window has painted. The
            // status bar covers the body's lowest pixels.
            const QPoint at = edit->viewport()->mapTo(top, QPoint(0, 0));
            const int covered = window.unitWidget(Unit::状态条1)->mapTo(top, QPoint(0, 0)).y();
            const QRect area(0, 0, edit->viewport()->width(), std::min(edit->viewport()->height(), covered - at.y()));
            const QImage shown = top->screen()->grabWindow(top->winId(), at.x(), at.y(), area.width(), area.height()).toImage();
            const QImage fresh = edit->viewport()->grab(area).toImage().convertToFormat(shown.format());
            return !shown.isNull() && shown == fresh;
        };
        QVERIFY(shownMatchesRepainted());
        // The text stops above the status bar (a covered box is repainted
        // whole on every scroll) and reaches the bottom when the bar is hidden.
        QWidget* bar = window.unitWidget(Unit::状态条1);
        QVERIFY(edit->viewport()->mapTo(top, QPoint(0, edit->viewport()->height())).y() <= bar->mapTo(top, QPoint(0, 0)).y());
        QVERIFY(edit->viewport()->geometry().bottom() < edit->contentsRect().bottom());
        window.setVisible(Unit::状态条1, false);
        QCOMPARE(edit->viewport()->geometry().bottom(), edit->contentsRect().bottom());
        window.setVisible(Unit::状态条1, true);
        const QString line = q(u8"秋收冬藏闰余成岁律吕调阳");
        for (int round = 0; round < 3; ++round) {
            typeText(edit, line + line + line);  // wraps
            QVERIFY2(shownMatchesRepainted(), "typing");
            QTest::keyClick(edit, Qt::Key_Return);
            QVERIFY2(shownMatchesRepainted(), "a new paragraph");
            QTest::keyClick(edit, Qt::Key_Backspace);
            QVERIFY2(shownMatchesRepainted(), "paragraphs joined");
            for (int i = 0; i < 40; ++i) QTest::keyClick(edit, Qt::Key_Backspace);
            QVERIFY2(shownMatchesRepainted(), "lines deleted");
            QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY2(shownMatchesRepainted(), "undone");
            QTest::keyClick(edit, Qt::Key_PageDown);
        }
        // The box scrolled to the end: a line wrapping at the bottom scrolls.
        QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
        typeText(edit, line + line + line + line);
        QVERIFY2(shownMatchesRepainted(), "typing at the bottom");
        QApplication::setCursorFlashTime(1000);

        // Only the paragraph being typed in keeps its shaped text.
        int kept = 0;
        for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) kept += b.layout()->cacheEnabled();
        QCOMPARE(kept, 1);
        QVERIFY(edit->textCursor().block().layout()->cacheEnabled());
    }

    void saveThroughTheRealDialogAndOpenItAgain() {
        ShownProgram program;
        QVERIFY(program.start());
        const test::TempDir& dir = program.dir;
        QtWindow& window = program.window;

        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        auto* start = qobject_cast<QPushButton*>(window.unitWidget(Unit::开始书写按钮));
        typeText(title, q(u8"第三章"));
        QTest::mouseClick(start, Qt::LeftButton);
        typeText(body, q(u8"夜里下了雨。"));
        const Text written = window.text(Unit::编辑框1);
        QCOMPARE(written, g(u8"第三章\r\n夜里下了雨。"));

        const QString path = QString::fromStdString(dir.file("ch3.txt"));
        ModalScript saving({chooseFile(path), press(QMessageBox::Ok)});
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(saving.seen.last(), q(u8"保存成功！"));
        QCOMPARE(test::readBytes(dir.file("ch3.txt")), written);
        QCOMPARE(body->toPlainText(), q(u8"文本已经保存，感谢您的使用"));

        ModalScript opening({chooseFile(path)});
        window.menuAction(Unit::打开文件)->trigger();
        QVERIFY(opening.done());
        QCOMPARE(window.text(Unit::编辑框1), written);
        QCOMPARE(title->text(), QStringLiteral("ch3"));
        QVERIFY(body->isEnabled());
    }

    // Ctrl+S in the real body: saved, and the session goes on where it was.
    void ctrlSSavesAndTheSessionGoesOn() {
        ShownProgram program;
        QVERIFY(program.start());
        const test::TempDir& dir = program.dir;
        QtWindow& window = program.window;
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        auto* start = qobject_cast<QPushButton*>(window.unitWidget(Unit::开始书写按钮));
        typeText(qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称)), q(u8"第四章"));
        QTest::mouseClick(start, Qt::LeftButton);
        typeText(body, q(u8"雪停了。"));
        QTextCursor cursor = body->textCursor();
        cursor.setPosition(3);  // inside the title line
        body->setTextCursor(cursor);
        const auto ctrlS = [body] { QTest::keyClick(body, Qt::Key_S, Qt::ControlModifier); };
        const auto expectGoesOn = [&](const Text& text) {
            QVERIFY(body->isEnabled());
            QCOMPARE(window.text(Unit::编辑框1), text);
            QCOMPARE(body->textCursor().position(), 3);
            QCOMPARE(start->text(), q(u8"立刻保存"));
        };

        // A new text: the save dialog once, then bound to its document.
        const std::string path = dir.file("ch4.txt");
        Text written = window.text(Unit::编辑框1);
        ModalScript saving({chooseFile(QString::fromStdString(path))});
        ctrlS();
        QVERIFY(saving.done());
        expectGoesOn(written);
        QCOMPARE(test::readBytes(path), written);
        QCOMPARE(window.statusText(2), g(u8"已保存：") + path);

        // A read-only document: told as any failed save; the text stays.
        ::chmod(path.c_str(), 0444);
        body->moveCursor(QTextCursor::End);
        typeText(body, q(u8"风起。"));
        cursor.setPosition(3);
        body->setTextCursor(cursor);
        ModalScript failing({press(QMessageBox::Ok)});
        ctrlS();
        QVERIFY(failing.done());
        QVERIFY(failing.seen.first().startsWith(q(u8"保存失败！")));
        const Text more = window.text(Unit::编辑框1);
        expectGoesOn(more);
        QCOMPARE(test::readBytes(path), written);

        // Writable again: saved without a question, the old bytes kept as a version.
        ::chmod(path.c_str(), 0644);
        ModalScript none({press(QMessageBox::Cancel)});
        ctrlS();
        expectGoesOn(more);
        QCOMPARE(test::readBytes(path), more);
        // One version for each attempt: the failed one kept the old bytes too.
        QCOMPARE(versionsOf(versionsFolderIn(dir.path()), path).size(), 2u);
        // Nothing changed since: closing asks nothing.
        QVERIFY(program.app->closeRequested());
        QVERIFY(none.seen.isEmpty());
    }

    // Ctrl+S on an opened encrypted document asks about the previous
    // password; the session's copy is enciphered, never plain.
    void ctrlSOnAnEncryptedDocument() {
        ShownProgram program;
        const test::TempDir& dir = program.dir;
        const std::string path = dir.file("s.tlr");
        test::writeBytes(path, encryptText(g(u8"密文"), documentKeyText("pw")));
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        ModalScript opening({chooseFile(QString::fromStdString(path)), typePassword(QStringLiteral("pw"))});
        window.menuAction(Unit::打开文件)->trigger();
        QVERIFY(opening.done());
        body->moveCursor(QTextCursor::End);
        typeText(body, q(u8"续。"));
        ModalScript saving({press(QMessageBox::Yes)});
        QTest::keyClick(body, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(saving.done());
        QVERIFY(saving.seen.first().startsWith(q(u8"使用原密码保存文件么？")));
        const Text written = window.text(Unit::编辑框1);
        QCOMPARE(written, g(u8"密文续。"));
        QCOMPARE(test::readBytes(path), encryptText(written, documentKeyText("pw")));
        QVERIFY(body->isEnabled());
        QVERIFY(body->textCursor().atEnd());
        typeText(body, q(u8"再续。"));
        program.app->statistics().backup().flush();
        int copies = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("backup"))) {
            const std::string name = e.path().filename().string();
            QVERIFY2(!name.ends_with(".txt"), name.c_str());
            copies += name.ends_with(".tlr");
        }
        QCOMPARE(copies, 1);
    }

    void aDocumentChangedOnDiskIsNoticedAndAskedAbout() {
        ShownProgram program;
        const std::string path = program.dir.file("ch.txt");
        test::writeBytes(path, g(u8"第一章\r\n旧。"));
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        ModalScript opening({chooseFile(QString::fromStdString(path))});
        window.menuAction(Unit::打开文件)->trigger();
        QVERIFY(opening.done());
        typeText(body, q(u8"新。"));
        // Another program saves by rename: the watcher tells the status bar.
        test::writeBytes(path + ".new", g(u8"别处的修改"));
        QCOMPARE(::rename((path + ".new").c_str(), path.c_str()), 0);
        QTRY_VERIFY(gbkToUtf8Lossy(window.statusText(kTipPart)).find(test::u8name(u8"刚被其他程序改动过")) != std::string::npos);
        ModalScript saving({[](QWidget* box) {
            keepScreen("window-changed-on-disk.png");
            press(QMessageBox::Cancel)(box);
        }});
        QTest::keyClick(body, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(saving.done());
        QVERIFY(saving.seen.first().startsWith(q(u8"这个文件在Talery打开或上次保存之后被其他程序改动过")));
        QCOMPARE(test::readBytes(path), g(u8"别处的修改"));
        QVERIFY(body->isEnabled());
    }

    void encryptedSaveThroughTheRealPasswordDialog() {
        ShownProgram program;
        QVERIFY(program.start());
        const test::TempDir& dir = program.dir;
        QtWindow& window = program.window;

        auto* start = qobject_cast<QPushButton*>(window.unitWidget(Unit::开始书写按钮));
        typeText(qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称)), q(u8"日记"));
        QTest::mouseClick(start, Qt::LeftButton);
        const Text written = window.text(Unit::编辑框1);

        const QString path = QString::fromStdString(dir.file("d.tlr"));
        ModalScript saving({chooseFile(path), typePassword(QStringLiteral("Secret")), press(QMessageBox::Ok)});
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(saving.seen.at(1), q(u8"tlr密码输入"));
        QCOMPARE(test::readBytes(dir.file("d.tlr")), encryptText(written, documentKeyText("Secret")));

        // Another look: the dialog follows the window's background and the title strip's text colour.
        window.setWindowBackground(0x400000);
        window.setTextColour(Unit::标题栏, 0x00FF00);
        ModalScript opening({chooseFile(path), confirmPassword(QStringLiteral("Secret"), QColor(0x00, 0x00, 0x40),
                                                               QColor(0x00, 0xFF, 0x00))});
        window.menuAction(Unit::打开文件)->trigger();
        QVERIFY(opening.done());
        QCOMPARE(window.text(Unit::编辑框1), written);
    }

    // Daily tasks: the refresh button on the points page fills the list and the labels.
    void refreshTheTaskList() {
        test::TempDir dir;
        QtWindow window;
        FixedClock clock({2026, 12, 9, 9, 30, 0});  // a Wednesday
        Application app(window, clock, SettingsStore(dir.path()));
        app.start();
        window.widget()->show();
        window.setVisible(Unit::关于, true);
        window.setSelection(Unit::高级选择夹1, 4);
        QVERIFY(QTest::qWaitForWindowExposed(window.widget()));

        auto* refresh = qobject_cast<QPushButton*>(window.unitWidget(Unit::刷新任务按钮));
        QVERIFY(refresh->isVisible());
        QTest::mouseClick(refresh, Qt::LeftButton);
        auto* tasks = qobject_cast<QListWidget*>(window.unitWidget(Unit::超级列表框1));
        QCOMPARE(tasks->count(), 10);
        QCOMPARE(tasks->item(0)->text(), q(u8"勤劳蜜蜂 每天打开一次Talery√完成 +1积分"));
        QCOMPARE(tasks->item(9)->text(), q(u8"新手任务 体验一次大字体模式×未完成 +1积分"));
        QCOMPARE(shownText(window.unitWidget(Unit::积分显示)), q(u8"当前积分： 1"));
        QCOMPARE(shownText(window.unitWidget(Unit::称号显示)), q(u8"称号：积分菜鸟 Lv.1"));
        QCOMPARE(app.pointsTotal(), 1);

        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "urlOpened");
        QTest::mouseClick(qobject_cast<QPushButton*>(window.unitWidget(Unit::称号说明按钮)), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(openedUrls_.size(), 1);
        QCOMPARE(openedUrls_[0].toLocalFile(), QString::fromStdString(dir.file("titles.html")));
        QVERIFY(test::readBytes(dir.file("titles.html")).starts_with("<!DOCTYPE html>"));
    }

    // --- Dropped files and diary mode ---------------------------------------

    void droppedFilesOpenAndNeverBecomePathText() {
        ShownProgram program({2026, 12, 8, 9, 30, 0});
        QVERIFY(program.start());
        const test::TempDir& dir = program.dir;
        QtWindow& window = program.window;
        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        for (const char* name : {"a.txt", "b.txt"}) test::writeBytes(dir.file(name), g(u8"第一行\r\n第二行"));
        const QString a = QString::fromStdString(dir.file("a.txt"));
        const QString b = QString::fromStdString(dir.file("b.txt"));

        // Onto the title field: the file opens, its path is not typed in.
        dropFiles(title, {a});
        QTRY_VERIFY(body->isEnabled());
        QCOMPARE(title->text(), QStringLiteral("a"));
        QCOMPARE(body->toPlainText(), q(u8"第一行\n第二行"));

        // Onto the body while writing: the busy message, the text unchanged.
        ModalScript busy({press(QMessageBox::Ok)});
        dropFiles(body->viewport(), {b});
        QTRY_VERIFY(busy.done());
        QCOMPARE(busy.seen, list({u8"正在编辑文本呢，一心不能二用哦，赶紧保存再试吧"}));
        QCOMPARE(window.text(Unit::编辑框1), g(u8"第一行\r\n第二行"));

        // Onto the idle, disabled body: the window takes it.
        ModalScript giveUp({press(QMessageBox::Ok), press(QMessageBox::Ok)});
        QTest::keyClick(body, Qt::Key_F12);
        QVERIFY(giveUp.done());
        dropFiles(body->viewport(), {b});
        QTRY_VERIFY(body->isEnabled());
        QCOMPARE(title->text(), QStringLiteral("b"));
    }

    // The body's right-click menu and the drop-down lists take the window's
    // colours; the lists are wide enough for every item.
    void popupsFollowTheThemeAndShowWholeItems() {
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        window.setTextColour(Unit::标题栏, kWhite);
        window.setWindowBackground(0x202020);
        const QColor dark(0x20, 0x20, 0x20);
        window.setVisible(Unit::关于, true);
        for (Unit u : {Unit::按钮类型, Unit::顶图类型, Unit::文本颜色, Unit::提示类型}) {
            auto* combo = qobject_cast<QComboBox*>(window.unitWidget(u));
            QVERIFY(combo);
            combo->showPopup();
            QWidget* popup = combo->view()->window();
            QTRY_VERIFY(popup->isVisible());
            if (u == Unit::按钮类型) keepScreen("dark-dropdown.png");
            QCOMPARE(popup->palette().color(QPalette::Window), dark);
            QCOMPARE(combo->view()->palette().color(QPalette::Text), QColor(Qt::white));
            QVERIFY(combo->view()->palette().color(QPalette::Base).lightness() < 64);
            for (int i = 0; i < combo->count(); ++i)
                QVERIFY2(combo->view()->visualRect(combo->model()->index(i, 0)).width() >=
                             combo->view()->fontMetrics().horizontalAdvance(combo->itemText(i)),
                         qPrintable(combo->itemText(i)));
            combo->hidePopup();
        }
        window.setVisible(Unit::关于, false);

        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        typeText(title, q(u8"第五章"));
        QTest::keyClick(title, Qt::Key_Return);  // the body takes clicks while a text is written
        QVERIFY(body->isEnabled());
        QColor menuBackground;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() != QStringLiteral("bodyMenu") || !top->isVisible()) continue;
                keepScreen("dark-body-menu.png");
                menuBackground = top->palette().color(QPalette::Window);
                top->close();
            }
        });
        poll.start(50);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), body->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(body->viewport(), &click);
        QCOMPARE(menuBackground, dark);

        // A light background with white strip text: menus and dialogs take
        // the colour that reads, disabled entries included.
        window.setWindowBackground(rgb(0x00, 0xFF, 0xFF));
        window.setVisible(Unit::关于, true);
        auto* styles = qobject_cast<QComboBox*>(window.unitWidget(Unit::按钮类型));
        styles->showPopup();
        keepScreen("light-dropdown.png");
        styles->hidePopup();
        window.setVisible(Unit::关于, false);
        const QPalette menu = window.widget()->palette();  // what the start menu and dialogs take
        for (auto group : {QPalette::Active, QPalette::Disabled}) {
            const QColor text = menu.color(group, QPalette::WindowText);
            QVERIFY2(contrastRatio(rgb(text.red(), text.green(), text.blue()), rgb(0x00, 0xFF, 0xFF)) >= kReadableContrast,
                     qPrintable(text.name()));
        }
    }

    void aWholeDiaryOnTheRealWindow() {
        ShownProgram program({2026, 12, 8, 21, 0, 0});
        const test::TempDir& dir = program.dir;
        QtWindow& window = program.window;
        const IniFile ini(dir.file("setting.ini"));
        ini.write(g(u8"文本设置"), g(u8"背景颜色"), "12632256");  // 0xC0C0C0: black reads on it
        ini.write(g(u8"文本设置"), g(u8"文本颜色"), "1");
        QVERIFY(program.start());
        auto* main = window.widget();
        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        auto* start = qobject_cast<QPushButton*>(window.unitWidget(Unit::开始书写按钮));
        QWidget* picker = window.unitWidget(Unit::颜色);
        const QColor orange(255, 128, 0);

        ModalScript entering({press(QMessageBox::Ok)});
        window.menuAction(Unit::新建日记)->trigger();
        QVERIFY(entering.done());
        QVERIFY(entering.seen.first().startsWith(q(u8"您已经进入了专属的写日记模式")));
        QCOMPARE(title->text(), q(u8"2026年12月8日星期二     by：Talery日记"));
        keepScreen("diary-title.png");
        QCOMPARE(qobject_cast<QLabel*>(window.unitWidget(Unit::章节名称提示))->text(), q(u8"日记时间："));
        QCOMPARE(main->palette().color(QPalette::Window), orange);
        QCOMPARE(body->palette().color(QPalette::Base), orange);
        QCOMPARE(body->palette().color(QPalette::Text), QColor(Qt::white));
        QVERIFY(!picker->isEnabled());
        QVERIFY(!window.timer(Unit::时钟1)->isActive());
        QCOMPARE(window.statusText(2), g(u8"日记模式"));

        typeText(body, q(u8"今天下雪了。"));
        ModalScript saving({chooseFile(QString::fromStdString(dir.file("diary.txt"))), press(QMessageBox::Ok)});
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(saving.done());
        QCOMPARE(test::readBytes(dir.file("diary.txt")), g(u8"2026年12月8日星期二     by：Talery日记\r\n今天下雪了。"));
        const QColor stored(0xC0, 0xC0, 0xC0);
        QCOMPARE(main->palette().color(QPalette::Window), stored);
        QCOMPARE(body->palette().color(QPalette::Base), stored);
        QCOMPARE(body->palette().color(QPalette::Text), QColor(Qt::black));
        QVERIFY(picker->isEnabled());
        QCOMPARE(window.timerInterval(Unit::时钟1), 7500);
        QCOMPARE(ini.read(g(u8"日记"), g(u8"最后一次日记")), Text("2026128"));
        QCOMPARE(ini.read(g(u8"文本设置"), g(u8"背景颜色")), Text("12632256"));
    }

    // Text statistics: after every kind of edit of the real body the live
    // figures equal a full recount, and the body was read whole only once.
    void statisticsFollowEveryEdit() {
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        Application& app = *program.app;
        auto* title = qobject_cast<QLineEdit*>(window.unitWidget(Unit::章节名称));
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        title->setFocus();
        typeText(title, q(u8"第一章"));
        QTest::keyClick(title, Qt::Key_Return);
        QTRY_COMPARE(QApplication::focusWidget(), body);

        std::mt19937 rng(8);
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        const QStringList pieces = {q(u8"天地"), QStringLiteral("ab 1"), q(u8"，。"), QStringLiteral("\t"),
                                    q(u8"€"), q(u8"😀")};
        for (int step = 0; step < 300; ++step) {
            QTextCursor c = body->textCursor();
            const int length = body->document()->characterCount() - 1;
            c.setPosition(pick(length + 1));
            if (pick(4) == 0) c.setPosition(std::min(length, c.position() + pick(30)), QTextCursor::KeepAnchor);
            body->setTextCursor(c);
            switch (pick(8)) {
                case 0: QTest::keyClick(body, Qt::Key_Return); break;
                case 1: QTest::keyClick(body, Qt::Key_Backspace); break;
                case 2: QTest::keyClick(body, Qt::Key_Delete); break;
                case 3:  // a paste across paragraph breaks
                    QApplication::clipboard()->setText(pieces[pick(6)] + QStringLiteral("\n\n") + pieces[pick(6)] +
                                                       QStringLiteral("\r\n"));
                    QTest::keyClick(body, Qt::Key_V, Qt::ControlModifier);
                    break;
                case 4: QTest::keyClick(body, Qt::Key_Z, Qt::ControlModifier); break;
                case 5: c.insertText(pieces[pick(6)]); break;  // an edit by the program
                default: typeText(body, pieces[pick(6)]); break;
            }
            const Text text = window.text(Unit::编辑框1);
            QCOMPARE(window.statusText(0), liveCountText(liveCount(countFigures(text))));
            QCOMPARE(window.text(Unit::高级字数统计), reportText(textFigures(text)));
        }
        QCOMPARE(app.statistics().mirror().characters(), countBodyCharacters(window.text(Unit::编辑框1)));
        QCOMPARE(app.statistics().mirror().wholeReads(), std::size_t(1));
        // The backup copy is taken from the window when due, after the last key.
        const std::string copy = app.session().backupFile();
        QVERIFY(QString::fromStdString(copy).contains(q(u8"/backup/第一章 2026-12-08 093000")));
        QTRY_COMPARE(test::readBytes(copy), window.text(Unit::编辑框1));
        // Loading a document replaces the whole text: read once more.
        window.setText(Unit::编辑框1, g(u8"新的\r\n正文"));
        QCOMPARE(window.statusText(0), g(u8"当前字数：  4"));
    }

    void theProgramsTextShowsAByteGbkCannotDecodeAsAQuestionMark() {
        // Its own edits skip the check of what typing adds, but not for a
        // byte that decodes to nothing: the box shows "?" as it reads.
        QtWindow window;
        auto* body = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        window.replaceBodyRange({0, 0}, g(u8"夜色") + "\x81" + g(u8"!很深"));
        QCOMPARE(body->toPlainText().first(6), q(u8"夜色?!很深"));
        // Also far into a long text that takes the place of all of another:
        // its first part and the rest are converted apart.
        Text before, after;
        while (after.size() < 400'000) {
            before += g(u8"夜色已经很深了。\r\n");
            after += g(u8"天色已经很晚了。\r\n");
        }
        window.setText(Unit::编辑框1, before);
        window.replaceBodyRange({0, before.size()}, after + g(u8"夜色") + "\x81" + g(u8"!很深"));
        QVERIFY(body->toPlainText().endsWith(q(u8"\n夜色?!很深")));
        QCOMPARE(body->toPlainText().size(), toQt(after).size() + 6);
    }

    void anOpenedDocumentIsCountedWithoutReadingItBack() {
        // Counted before it goes in, while whole: the change the window
        // reports for it matches that count.
        ShownProgram program;
        QVERIFY(program.start());
        Text text;
        while (text.size() < 200'000) text += g(u8"天地玄黄，宇宙洪荒。ab 1\r\n\r\n");
        const std::string path = program.dir.file("a.txt");
        writeBytes(path, text);
        const std::size_t reads = program.app->statistics().mirror().wholeReads();
        program.app->openNamedFile(path);
        QCOMPARE(program.window.text(Unit::编辑框1), text);
        QCOMPARE(program.window.statusText(0), liveCountText(liveCount(countFigures(text))));
        QCOMPARE(program.app->statistics().mirror().wholeReads(), reads);
    }

    void aLongReplacementEditsOnlyWhereTheTextDiffers() {
        // The program's edit of a long range goes in as the differences
        // alone, or whole where they are many: either way the same text, the
        // caret after it, the counts and one undo step back to the old text.
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        QPlainTextEdit* body = test::beginSession(window, q(u8"第一章"));
        QTRY_COMPARE(QApplication::focusWidget(), body);
        Text baseText = g(u8"第一章\r\n");
        for (int i = 0; baseText.size() < 300'000; ++i)
            baseText += g(i % 9 == 0 ? u8"\r\n" : u8"　　夜色已经很深了，远处传来“叮当”的声音。他站在山顶上。\r\n");
        std::mt19937 rng(34);
        auto pick = [&](qsizetype n) { return std::uniform_int_distribution<qsizetype>(0, n - 1)(rng); };
        const QString pieces[] = {QStringLiteral("\n"), QStringLiteral("\n\n"), q(u8"　　"), QStringLiteral(","),
                                  q(u8"天地"), QStringLiteral("a"), QString()};
        // `edit` changes the body to `after`, the caret ending `kept` bytes before its end.
        auto check = [&](const Text& before, const Text& after, std::size_t kept = 0,
                         const std::function<void(const Text&)>& edit = {}) {
            window.setText(Unit::编辑框1, before);
            const Text shown = window.text(Unit::编辑框1);
            if (edit) edit(shown);
            else window.replaceBodyRange({0, shown.size()}, after);
            QCOMPARE(window.text(Unit::编辑框1), after);
            QCOMPARE(window.bodySelection().start, after.size() - kept);
            QCOMPARE(window.bodySelection().length, std::size_t(0));
            QCOMPARE(window.statusText(0), liveCountText(liveCount(countFigures(after))));
            QCOMPARE(window.text(Unit::高级字数统计), reportText(textFigures(after)));
            QTest::keyClick(body, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(window.text(Unit::编辑框1), shown);
            QTest::keySequence(body, QKeySequence::Redo);
            QCOMPARE(window.text(Unit::编辑框1), after);
        };
        // A few differences, line breaks among them, at the edges too; then
        // so many that the whole range goes in.
        const QString base = toQt(baseText);
        for (const int edits : {1, 2, 7, 40, 300, 5000}) {
            QString after = base;
            for (int k = 0; k < edits; ++k) {
                const qsizetype at = k == 0 ? 0 : k == 1 ? after.size() : pick(after.size());
                after.replace(at, std::min(after.size() - at, pick(6)), pieces[pick(std::size(pieces))]);
            }
            check(baseText, fromQt(after));
        }
        // 一键排版 of a novel whose lines all change.
        Text messy = g(u8"第一章\r\n");
        while (messy.size() < 300'000) messy += g(u8"  他站在山顶上,望着远方的云海.\r\n\r\n\r\n\t她问:\"你还记得吗?\"\r\n");
        check(messy, layOutChapter(messy, {}));
        // Through the key: the title and a last line laid out already stay,
        // and the caret ends before that line.
        const Text last = g(u8"　　完。");
        messy += last;
        check(messy, layOutChapter(messy, {}), last.size(),
              [&](const Text&) { QTest::keyClick(body, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier); });
    }

    void undoReachesBackAcrossATextReplacedWhole() {
        // A text replaced whole goes into a document of its own: undo goes
        // back to the old one, its selection and its own steps included,
        // redo comes forward again, and a new edit ends what redo had.
        ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        QPlainTextEdit* body = test::beginSession(window, q(u8"第一章"));
        QTRY_COMPARE(QApplication::focusWidget(), body);
        const auto shown = [&] { return window.text(Unit::编辑框1); };
        const auto undo = [&] { QTest::keyClick(body, Qt::Key_Z, Qt::ControlModifier); };
        const auto redo = [&] { QTest::keySequence(body, QKeySequence::Redo); };
        Text messy = g(u8"第一章\r\n");
        while (messy.size() < 300'000) messy += g(u8"  他站在山顶上,望着远方的云海.\r\n\r\n\t她问:\"你还记得吗?\"\r\n");
        window.setText(Unit::编辑框1, messy);
        QTest::keyClicks(body, "ab");
        const Text typed = shown();
        window.setBodySelection({4, 6});
        const Text laid = layOutChapter(typed, {});
        window.replaceBodyRange({0, typed.size()}, laid);
        QCOMPARE(shown(), laid);
        QCoreApplication::processEvents();  // the old document sheds its layouts while put aside
        QTest::keyClicks(body, "c");
        const Text laidTyped = shown();
        undo();
        QCOMPARE(shown(), laid);
        undo();
        QCOMPARE(shown(), typed);
        QCOMPARE(window.bodySelection(), (TextSelection{4, 6}));
        QCOMPARE(window.statusText(0), liveCountText(liveCount(countFigures(typed))));
        undo();
        QCOMPARE(shown(), messy);
        QCoreApplication::processEvents();
        for (int i = 0; i < 3; ++i) redo();
        QCOMPARE(shown(), laidTyped);
        QCOMPARE(window.text(Unit::高级字数统计), reportText(textFigures(laidTyped)));
        undo();
        undo();
        QTest::keyClicks(body, "d");
        const Text branched = shown();
        QVERIFY(branched != typed);
        redo();
        QCOMPARE(shown(), branched);
        // The menu's undo reaches as far as the key does.
        window.replaceBodyRange({0, branched.size()}, layOutChapter(branched, {}));
        bool enabled = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() != QStringLiteral("bodyMenu") || !top->isVisible()) continue;
                auto* item = top->findChild<QAction*>(QStringLiteral("edit-undo"));
                enabled = item && item->isEnabled();
                if (enabled) item->trigger();
                top->close();
            }
        });
        poll.start(50);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), body->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(body->viewport(), &click);
        QVERIFY(enabled);
        QCOMPARE(shown(), branched);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QtWindowTest window;
    return QTest::qExec(&window, argc, argv);
}
#include "qt_window_test.moc"
