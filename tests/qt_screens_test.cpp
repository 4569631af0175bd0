// The real window on the screens writers have: it opens inside the screen, its
// title row and status bar whole at every width; and the body's keys: undo in
// a writer's steps, the figures never cut, Esc in a drop-down list, the
// focus ring round a glyph.
//
// The screens come from the offscreen platform's configuration (see
// tests/screens/); ctest runs fitsTheScreen once for each of them.

#include "aids/text_figures.h"
#include "app/shell.h"
#include "qt_support.h"
#include "ui/qt/qt_widgets.h"
#include "ui/unit_table.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QScreen>

#include <cmath>

using namespace talery;

namespace {

QString q(std::u8string_view s) { return QString::fromUtf8(reinterpret_cast<const char*>(s.data()), qsizetype(s.size())); }

// The program on a shown window in a given program folder, so that it can start again there.
struct Started {
    explicit Started(const std::string& folder) : clock({2026, 12, 9, 9, 0, 0}) {
        app = std::make_unique<Application>(window, clock, SettingsStore(folder));
        app->start();
        window.widget()->show();
        exposed = QTest::qWaitForWindowExposed(window.widget());
    }
    QtWindow window;
    FixedClock clock;
    std::unique_ptr<Application> app;
    bool exposed = false;
};

QRect onScreen(QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

QString describe(const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

// The rightmost column of a label where its text left ink, inside its frame; -1 for none.
int inkRight(QLabel* label) {
    const QImage image = label->grab().toImage();
    // In the image's own pixels, on a dense screen several to a point.
    const int f = static_cast<int>(std::ceil(label->frameWidth() * image.devicePixelRatio()));
    const QRgb background = image.pixel(f + 2, image.height() / 2);
    for (int x = image.width() - f - 1; x >= f; --x)
        for (int y = f; y < image.height() - f; ++y)
            if (image.pixel(x, y) != background) return x;
    return -1;
}

// Whether a status part draws its whole text: the ink ends where it ends in a copy of the part
// that has room to spare.
bool drawsWhole(ClickLabel* part) {
    ClickLabel roomy;
    roomy.setFont(part->font());
    roomy.setFrameStyle(part->frameStyle());
    roomy.setIndent(part->indent());
    roomy.setPalette(part->palette());
    roomy.setAutoFillBackground(true);
    roomy.setText(part->text());
    roomy.resize(part->width() * 2 + 400, part->height());
    const int whole = inkRight(&roomy);
    return whole > 0 && inkRight(part) == whole;
}

const Unit kTitleRow[] = {Unit::标题栏, Unit::最小化按钮1, Unit::关闭按钮, Unit::录音按钮1, Unit::章节名称提示,
                          Unit::章节名称, Unit::开始书写按钮, Unit::录音按钮, Unit::状态条1};

// Every unit of the title row and the status bar lies inside the screen's area and the
// window, side by side in the designed order, and every status part shows its text whole.
void expectWhole(QtWindow& window, const QRect& area, const QString& when) {
    QWidget* main = window.widget();
    QVERIFY2(area.contains(main->frameGeometry()), qPrintable(when + ": window " + describe(main->frameGeometry()) +
                                                                 " outside " + describe(area)));
    for (Unit u : kTitleRow) {
        QWidget* w = window.unitWidget(u);
        const QString what = when + ": " + w->objectName() + " " + describe(onScreen(w));
        QVERIFY2(w->isVisible(), qPrintable(what));
        QVERIFY2(area.contains(onScreen(w)), qPrintable(what + " outside " + describe(area)));
        QVERIFY2(main->rect().contains(QRect(w->mapTo(main, QPoint()), w->size())), qPrintable(what));
    }
    auto right = [&](Unit u) { return window.unitWidget(u)->geometry().right(); };
    auto left = [&](Unit u) { return window.unitWidget(u)->geometry().left(); };
    QVERIFY2(right(Unit::章节名称) < left(Unit::开始书写按钮) && right(Unit::开始书写按钮) < left(Unit::录音按钮),
             qPrintable(when));
    // The record glyph keeps the distance to the right edge it has in the design.
    QCOMPARE(main->width() - left(Unit::录音按钮), kMainWindowDesign.width - designOf(Unit::录音按钮).rect.left);
    auto* bar = qobject_cast<StatusBarWidget*>(window.unitWidget(Unit::状态条1));
    for (int i : {0, 1, 3}) {
        QVERIFY2(bar->rect().contains(bar->part(i)->geometry()), qPrintable(when + QStringLiteral(" part %1").arg(i)));
        QVERIFY2(drawsWhole(bar->part(i)), qPrintable(when + ": " + bar->part(i)->text() + " cut"));
    }
}

void keepPicture(QWidget* w, const QString& name) {
    const QByteArray folder = qgetenv("TALERY_SCREENSHOTS");
    if (!folder.isEmpty()) w->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + name);
}

QString screenName() {
    const QSize s = QGuiApplication::primaryScreen()->size();
    return QStringLiteral("%1x%2-%3").arg(s.width()).arg(s.height()).arg(QGuiApplication::screens().size());
}

// Long figures: 99,999,999 characters and 999 hours of writing.
void showLongFigures(QtWindow& window) {
    window.setStatusText(0, liveCountText(99'999'999));
    window.setStatusText(1, gbk(u8"你已经连续书写：999:59:59"));
}

}  // namespace

class ScreensTest : public QObject {
    Q_OBJECT
private slots:
    void fitsTheScreen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        // Where the writer leaves the window, for the next start.
        const QRect placed(area.topLeft() + QPoint(30, 20), QSize(std::min(900, area.width() - 60), std::min(600, area.height() - 40)));
        test::TempDir dir;
        {
            Started first(dir.path());
            QVERIFY(first.exposed);
            expectWhole(first.window, area, QStringLiteral("first start"));
            keepPicture(first.window.widget(), screenName() + "-first.png");
            // At the least size the handles give, with the longest figures.
            QWidget* main = first.window.widget();
            main->resize(1, 1);
            QCOMPARE(main->size(), QSize(kMinimumWindowWidth, kMinimumWindowHeight));
            showLongFigures(first.window);
            expectWhole(first.window, area, QStringLiteral("smallest"));
            keepPicture(main, screenName() + "-smallest.png");
            // As wide as the screen: the title row reaches the right edge.
            main->setGeometry(area);
            QCOMPARE(main->geometry(), area);
            expectWhole(first.window, area, QStringLiteral("screen wide"));
            keepPicture(main, screenName() + "-wide.png");
            main->resize(placed.size());
            main->move(placed.topLeft());
            QTest::mouseClick(first.window.unitWidget(Unit::关闭按钮), Qt::LeftButton);
            QVERIFY(!main->isVisible());
        }
        {
            Started again(dir.path());
            QVERIFY(again.exposed);
            QCOMPARE(again.window.widget()->geometry(), placed);
            expectWhole(again.window, area, QStringLiteral("restart"));
            keepPicture(again.window.widget(), screenName() + "-restart.png");
        }
        // Stored on a monitor that is gone, or larger than this screen: moved and shrunk onto it.
        const QList<QScreen*> screens = QGuiApplication::screens();
        const QRect far = screens.size() > 1 ? screens.back()->availableGeometry() : QRect(5000, 3000, 1920, 1080);
        test::TempDir gone;
        IniFile ini(gone / "setting.ini");
        ini.writeInt(softwareSection(), gbk(u8"左边"), far.left() + 100);
        ini.writeInt(softwareSection(), gbk(u8"顶边"), far.top() + 100);
        ini.writeInt(softwareSection(), gbk(u8"宽度"), 1700);
        ini.writeInt(softwareSection(), gbk(u8"高度"), 1000);
        Started moved(gone.path());
        QVERIFY(moved.exposed);
        const QRect home = screens.size() > 1 ? far : area;
        expectWhole(moved.window, home, QStringLiteral("stored elsewhere"));
        keepPicture(moved.window.widget(), screenName() + "-moved.png");
    }

    void figuresAreNeverCut() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* bar = qobject_cast<StatusBarWidget*>(window.unitWidget(Unit::状态条1));
        // The design's look at its own size: the parts as designed.
        window.widget()->resize(kMainWindowDesign.width, kMainWindowDesign.height);
        QCOMPARE(bar->part(0)->width(), 110);
        QCOMPARE(bar->part(1)->width(), 170);
        QCOMPARE(bar->part(3)->width(), 80);
        for (QSize size : {QSize(kMinimumWindowWidth, kMinimumWindowHeight), QSize(800, 500), QSize(1119, 838)}) {
            window.widget()->resize(size);
            showLongFigures(window);
            QVERIFY2(bar->part(0)->text().endsWith(QStringLiteral("99999999")), qPrintable(bar->part(0)->text()));
            for (int i : {0, 1, 3}) QVERIFY2(drawsWhole(bar->part(i)), qPrintable(bar->part(i)->text()));
            QCOMPARE(bar->part(3)->geometry().right(), bar->width() - 1);
        }
        keepPicture(window.widget(), QStringLiteral("long-figures.png"));
    }

    void undoTakesBackOneStepAtATime() {
        // A document opened from a file: Ctrl+S saves it without a question.
        test::ShownProgram program;
        const std::string chapter = program.dir / "第三章.txt";
        test::writeBytes(chapter, gbk(u8"第三章\r\n"));
        QVERIFY(program.start());
        auto* body = qobject_cast<TextEdit*>(program.window.unitWidget(Unit::编辑框1));
        program.window.deliverDrop({QString::fromStdString(chapter)});
        QTRY_VERIFY(body->isEnabled());
        body->setFocus();
        body->moveCursor(QTextCursor::End);
        qint64 now = 1'000'000;
        body->setUndoClock([&now] { return now; });
        const QString start = body->toPlainText();
        auto type = [&](const QString& text, qint64 msBetweenKeys) {
            for (const QChar c : text) {
                now += msBetweenKeys;
                test::typeText(body, QString(c));
            }
        };
        // Steps: a run of typing, a pause, sentence ends, a line break, a paste, a save.
        QStringList steps;
        type(q(u8"他站在门口"), 150);
        steps << q(u8"他站在门口");
        now += 2500;  // a pause to think
        type(q(u8"看了很久。"), 150);
        steps << q(u8"看了很久。");
        type(q(u8"雪还在下！"), 150);
        steps << q(u8"雪还在下！");
        type(q(u8"风停了"), 150);
        steps << q(u8"风停了");
        QTest::keyClick(body, Qt::Key_Return);
        steps << QStringLiteral("\n");
        type(q(u8"她说"), 100);
        steps << q(u8"她说");
        QApplication::clipboard()->setText(q(u8"（贴进来的一段）"));
        body->paste();
        steps << q(u8"（贴进来的一段）");
        type(q(u8"然后"), 100);
        steps << q(u8"然后");
        QTest::keyClick(body, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(test::readBytes(chapter).ends_with(gbk(u8"然后")));
        type(q(u8"走了"), 100);
        steps << q(u8"走了");
        // Each commit of the input method is a step, however quickly they follow.
        for (const QString& words : {q(u8"很远的"), q(u8"地方")}) {
            QInputMethodEvent commit;
            commit.setCommitString(words);
            QApplication::sendEvent(body, &commit);
            steps << words;
        }
        QCOMPARE(body->toPlainText(), start + steps.join(QString()));
        // Each undo takes back exactly one step, newest first; redo brings them back.
        for (qsizetype i = steps.size(); i > 0; --i) {
            body->undo();
            QCOMPARE(body->toPlainText(), start + steps.first(i - 1).join(QString()));
        }
        for (qsizetype i = 1; i <= steps.size(); ++i) {
            body->redo();
            QCOMPARE(body->toPlainText(), start + steps.first(i).join(QString()));
        }
        // A stray undo and a key cost the last step alone.
        body->undo();
        type(q(u8"啊"), 100);
        QCOMPARE(body->toPlainText(), start + steps.first(steps.size() - 1).join(QString()) + q(u8"啊"));
    }

    void escClosesAnOpenListNotThePanel() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        window.menuAction(Unit::设置)->trigger();
        QWidget* panel = window.unitWidget(Unit::关于);
        QVERIFY(panel->isVisible());
        auto* combo = qobject_cast<QComboBox*>(window.unitWidget(Unit::提示类型));
        combo->setFocus(Qt::TabFocusReason);
        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QTest::keyClick(combo->view(), Qt::Key_Escape);
        QTRY_VERIFY(!combo->view()->isVisible());
        QVERIFY(panel->isVisible());
        QTest::keyClick(combo, Qt::Key_Escape);
        QTRY_VERIFY(!panel->isVisible());
    }

    void theFocusRingLeavesTheCloseGlyphWhole() {
        test::ShownProgram program;
        QVERIFY(program.start());
        QtWindow& window = program.window;
        auto* close = qobject_cast<QLabel*>(window.unitWidget(Unit::关闭按钮));
        QWidget* previous = window.unitWidget(Unit::最小化按钮1);
        previous->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(previous, Qt::Key_Tab);
        QTRY_VERIFY(close->hasFocus());
        const QRect glyph = QStyle::alignedRect(close->layoutDirection(), close->alignment(),
                                                close->fontMetrics().boundingRect(close->text()).size(), close->contentsRect())
                                .translated(close->mapTo(window.widget(), QPoint()));
        int sides = 0;
        for (QWidget* side : window.widget()->findChildren<QWidget*>(QStringLiteral("焦点框"))) {
            if (!side->isVisible()) continue;
            ++sides;
            QVERIFY2(!side->geometry().intersects(glyph), qPrintable(describe(side->geometry()) + " over " + describe(glyph)));
        }
        QCOMPARE(sides, 4);
        keepPicture(window.widget(), QStringLiteral("focus-close.png"));
    }
};

QTEST_MAIN(ScreensTest)
#include "qt_screens_test.moc"
