// What a screen reader reads of the real window, offscreen through Qt's own
// accessibility interfaces, and the keys that reach every unit a writer uses.

#include "qt_support.h"
#include "core/colour.h"
#include "core/settings.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_find_windows.h"
#include "ui/qt/qt_widgets.h"
#include "ui/unit_table.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

#include <tuple>

using namespace talery;

namespace {

QString q(const char8_t* s) { return QString::fromUtf8(reinterpret_cast<const char*>(s)); }

QAccessibleInterface* reader(QtWindow& window, Unit unit) {
    return QAccessible::queryAccessibleInterface(window.unitWidget(unit));
}

QString nameOf(QtWindow& window, Unit unit) { return reader(window, unit)->text(QAccessible::Name); }

// Units the window keeps for itself: the tip stores are never shown.
bool writerFacing(const UnitDesign& design) {
    return !(design.flags & kInvisibleUnit) && design.kind != UnitKind::MenuEntry && design.unit != Unit::励志名言警句 && design.unit != Unit::中国地理历史;
}

// A theme as the settings file keeps it: background, text colour (0 white,
// 1 black), button style and top image.
struct StoredTheme {
    const char* name;
    Colour background;
    int text, style, image;
};
const StoredTheme kThemes[] = {
    {"light", 0xF4F1EA, 1, 3, 0},   {"black", 0x000000, 0, 2, 1}, {"dusk", 0x000000, 0, 0, 2},
    {"cyan", 0xFFFF00, 1, 1, 0},    {"red", 0x0000FF, 0, 5, 0},   {"olive", 0x00D8D8, 1, 6, 0},
    {"grey", 0x808080, 0, 4, 0},    {"navy", 0x5A1E1E, 0, 0, 0},
};

// Whether giving `unit` the focus (from `elsewhere`) marks it plainly: as many
// pixels as a line round three quarters of it (of the current tab, for tabs)
// change with a contrast of at least 3:1 against what they were. Empty if so,
// else what was seen.
QString faintFocus(QWidget* unit, QWidget* elsewhere) {
    QWidget* main = unit->window();
    // A glyph's ring lies round the glyph, a little beyond the unit's own edge.
    const QRect area = QRect(unit->mapTo(main, QPoint()), unit->size()).adjusted(-6, -6, 6, 6) & main->rect();
    QTest::keyClick(elsewhere, Qt::Key_Tab);  // the ring comes with the keys
    elsewhere->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const QImage off = main->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    unit->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const QImage on = main->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    const auto* tabs = qobject_cast<QTabBar*>(unit);
    const QSize ringed = tabs ? tabs->tabRect(tabs->currentIndex()).size() : unit->size();
    const int perimeter = 2 * (ringed.width() + ringed.height());
    int changed = 0;
    for (int y = 0; y < on.height(); ++y)
        for (int x = 0; x < on.width(); ++x)
            if (contrastRatio(colourFromQt(QColor(on.pixel(x, y))), colourFromQt(QColor(off.pixel(x, y)))) >= 3.0) ++changed;
    if (changed >= perimeter * 3 / 4) return {};
    const QString name = QAccessible::queryAccessibleInterface(unit)->text(QAccessible::Name);
    return QStringLiteral("%1 (%2 of %3 pixels)").arg(name).arg(changed).arg(perimeter);
}

}  // namespace

// The order in which the body takes the focus (F) and moves its caret (C).
class OrderSpy : public QObject {
public:
    explicit OrderSpy(QPlainTextEdit* body) {
        body->installEventFilter(this);
        connect(body, &QPlainTextEdit::cursorPositionChanged, this, [this] { order += QLatin1Char('C'); });
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) order += QLatin1Char('F');
        return false;
    }
    QString order;
};

class QtAccessTest : public QObject {
    Q_OBJECT

private slots:
    void everyUnitHasANameAndTheRightRole() {
        test::ShownProgram run;
        QVERIFY(run.start());
        QtWindow& w = run.window;
        w.setVisible(Unit::关于, true);
        w.setVisible(Unit::wav播放器, true);
        QStringList nameless;
        for (const UnitDesign& design : unitTable()) {
            if (!writerFacing(design)) continue;
            QAccessibleInterface* a = reader(w, design.unit);
            QVERIFY2(a, design.name.data());
            if (a->text(QAccessible::Name).trimmed().isEmpty()) nameless << utf8ToQt(design.name);
            if (design.kind == UnitKind::Button) QCOMPARE(a->role(), QAccessible::Button);
            if (design.kind == UnitKind::CheckBox) QCOMPARE(a->role(), QAccessible::CheckBox);
            if (design.kind == UnitKind::ComboBox) QCOMPARE(a->role(), QAccessible::ComboBox);
        }
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1Char(' '))));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.widget())->role(), QAccessible::Window);
        // The tabs read by their captions.
        QAccessibleInterface* tabs =
            QAccessible::queryAccessibleInterface(qobject_cast<TabControl*>(w.unitWidget(Unit::高级选择夹1))->bar());
        QCOMPARE(tabs->role(), QAccessible::PageTabList);
        QStringList pages;
        for (int i = 0; i < tabs->childCount(); ++i)
            if (tabs->child(i)->role() == QAccessible::PageTab) pages << tabs->child(i)->text(QAccessible::Name);
        QCOMPARE(pages.size(), 6);
        QCOMPARE(pages.first(), q(u8"功能设置"));
        // The menu's entries by their captions.
        w.popupMenu(Unit::开始);
        QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(w.menu());
        QStringList entries;
        for (int i = 0; i < menu->childCount(); ++i)
            if (menu->child(i)->role() == QAccessible::MenuItem) entries << menu->child(i)->text(QAccessible::Name);
        QCOMPARE(entries, QStringList({q(u8"打开文件"), q(u8"新建临时文本"), q(u8"新建日记"), q(u8"清空正在编辑"), q(u8"设置"), q(u8"一键排版"), q(u8"历史版本"), q(u8"小黑屋"), q(u8"退出")}));
        w.menu()->hide();

        // The title field by its caption, the body as a multi-line text.
        QAccessibleInterface* title = reader(w, Unit::章节名称);
        QCOMPARE(title->role(), QAccessible::EditableText);
        QCOMPARE(title->text(QAccessible::Name), q(u8"标题/题目"));
        QAccessibleInterface* body = reader(w, Unit::编辑框1);
        QCOMPARE(body->role(), QAccessible::EditableText);
        QCOMPARE(body->text(QAccessible::Name), q(u8"正文"));
        QVERIFY(body->state().multiLine);
        // Glyphs are buttons with a name and a press action.
        for (auto [unit, name] : {std::pair{Unit::录音按钮1, u8"菜单"}, std::pair{Unit::录音按钮, u8"录音"},
                                  std::pair{Unit::最小化按钮1, u8"最小化"}, std::pair{Unit::关闭按钮, u8"关闭"}}) {
            QCOMPARE(reader(w, unit)->role(), QAccessible::Button);
            QCOMPARE(nameOf(w, unit), q(name));
            QVERIFY(reader(w, unit)->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        }
        QCOMPARE(reader(w, Unit::超级链接框2)->role(), QAccessible::Link);
        QCOMPARE(nameOf(w, Unit::透明标签1), q(u8"取消"));
        // Captions name the boxes beside them; check boxes and combo boxes keep state and current item.
        QCOMPARE(nameOf(w, Unit::颜色), q(u8"背景颜色"));
        // A combo box reads as its current item, labelled by its caption.
        QCOMPARE(reader(w, Unit::文本颜色)->text(QAccessible::Value), q(u8"白色"));
        QStringList labels;
        for (const auto& relation : reader(w, Unit::文本颜色)->relations(QAccessible::Label))
            labels << relation.first->text(QAccessible::Name);
        QVERIFY2(labels.contains(q(u8"文本颜色：")), qPrintable(labels.join(QLatin1Char(' '))));
        QVERIFY(reader(w, Unit::自动保存)->state().checked);
        QVERIFY(!reader(w, Unit::大字体)->state().checked);
        // The status bar is one a screen reader can read on demand.
        QAccessibleInterface* bar = reader(w, Unit::状态条1);
        QCOMPARE(bar->role(), QAccessible::StatusBar);
        QCOMPARE(bar->childCount(), 4);
        QCOMPARE(bar->child(1)->text(QAccessible::Name), w.unitWidget(Unit::状态条1)->findChildren<QLabel*>().at(1)->text());
    }

    void namesFollowState() {
        test::ShownProgram run;
        QVERIFY(run.start());
        QtWindow& w = run.window;
        QCOMPARE(nameOf(w, Unit::开始书写按钮), q(u8"开始书写"));
        QTest::mouseClick(w.unitWidget(Unit::开始书写按钮), Qt::LeftButton);
        QCOMPARE(nameOf(w, Unit::开始书写按钮), q(u8"立刻保存"));
        w.setPicture(Unit::录音按钮, Picture::RecordActive);
        QCOMPARE(nameOf(w, Unit::录音按钮), q(u8"停止录音"));
        w.setPicture(Unit::录音按钮, Picture::RecordIdle);
        QCOMPARE(nameOf(w, Unit::录音按钮), q(u8"录音"));
        // The title field is named by its caption, whatever it says (the diary's).
        w.setText(Unit::章节名称提示, gbk(u8"日记时间："));
        QCOMPARE(nameOf(w, Unit::章节名称), q(u8"日记时间"));
        // A status note appears as a notification by its text, and shows in the status bar.
        w.setStatusNote(2, gbk(u8"日记模式"));
        auto* announcer = w.widget()->findChild<QWidget*>(q(u8"播报"));
        QVERIFY(announcer && announcer->isVisible());
        QAccessibleInterface* note = QAccessible::queryAccessibleInterface(announcer);
        QCOMPARE(note->role(), QAccessible::Notification);
        QCOMPARE(note->text(QAccessible::Name), q(u8"日记模式"));
        QCOMPARE(w.statusText(2), gbk(u8"日记模式"));
        // A closed combo box reads its choice as its text, labelled by its caption.
        QAccessibleInterface* top = reader(w, Unit::顶图类型);
        const auto choice = [top] { return top->textInterface()->text(0, top->textInterface()->characterCount()); };
        QCOMPARE(choice(), q(u8"经典纯色"));
        w.setSelection(Unit::顶图类型, 1);
        QCOMPARE(choice(), toQt(w.itemText(Unit::顶图类型, 1)));
        const auto labels = top->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty() && labels.first().first->text(QAccessible::Name) == q(u8"顶图："));
        // The window is read by a short name that follows the title once the window is left.
        QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(w.widget());
        QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("Talery"));
        w.setText(Unit::章节名称, gbk(u8"第一章"));
        QEvent left(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(w.widget(), &left);
        QCOMPARE(frame->text(QAccessible::Name), q(u8"Talery - 第一章"));
        // Pressing the menu glyph by the accessibility action opens the menu.
        reader(w, Unit::录音按钮1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(w.menu()->isVisible());
        w.menu()->hide();
    }

    void focusIsVisibleInEveryTheme() {
        QApplication::setCursorFlashTime(0);  // the caret stays drawn
        QStringList faint;
        for (const StoredTheme& theme : kThemes) {
            test::ShownProgram run;
            IniFile settings(run.dir.file("setting.ini"));
            settings.write(gbk(u8"文本设置"), gbk(u8"背景颜色"), decimal(theme.background));
            settings.write(gbk(u8"文本设置"), gbk(u8"文本颜色"), decimal(theme.text));
            settings.write(gbk(u8"软件设置"), gbk(u8"按钮类型"), decimal(theme.style));
            settings.write(gbk(u8"软件设置"), gbk(u8"顶图类型"), decimal(theme.image));
            QVERIFY(run.start());
            QtWindow& w = run.window;
            w.widget()->resize(1119, 838);  // the design size, which the small offscreen screen does not offer
            w.widget()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w.widget()));
            auto check = [&](QWidget* unit, QWidget* elsewhere) {
                if (const QString why = faintFocus(unit, elsewhere); !why.isEmpty()) faint << QLatin1String(theme.name) + QLatin1Char(' ') + why;
            };
            // The title and the start button before writing, the body and the glyphs while writing.
            QWidget* glyph = w.unitWidget(Unit::录音按钮1);
            for (Unit u : {Unit::章节名称, Unit::开始书写按钮}) check(w.unitWidget(u), glyph);
            QTest::mouseClick(w.unitWidget(Unit::开始书写按钮), Qt::LeftButton);
            QWidget* body = w.unitWidget(Unit::编辑框1);
            check(body, glyph);
            for (Unit u : {Unit::录音按钮, Unit::录音按钮1, Unit::最小化按钮1, Unit::关闭按钮}) check(w.unitWidget(u), body);
            // The Replace window's boxes and buttons, in its own colours.
            QTest::keyClick(body, Qt::Key_H, Qt::ControlModifier);
            QDialog* replace = w.findWindows().dialog(FindWindowKind::Replace);
            QVERIFY(replace && QTest::qWaitForWindowActive(replace));
            QWidget* first = w.findWindows().unitWidget(FindWindowKind::Replace, FindUnit::编辑框1);
            for (QWidget* unit : replace->findChildren<QWidget*>())
                if (unit->isVisible() && unit->isEnabled() && (unit->focusPolicy() & Qt::TabFocus) && unit != first) check(unit, first);
            QPushButton* shownButton = nullptr;  // some of the window's buttons are hidden
            for (auto* b : replace->findChildren<QPushButton*>())
                if (!shownButton && b->isVisible() && b->isEnabled()) shownButton = b;
            QVERIFY(shownButton);
            check(first, shownButton);
            QTest::keyClick(first, Qt::Key_Escape);
            w.widget()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w.widget()));
            // The panel: every control of every page that Tab reaches.
            w.setVisible(Unit::关于, true);
            auto* pages = qobject_cast<TabControl*>(w.unitWidget(Unit::高级选择夹1));
            for (int page = 0; page < pages->pageCount(); ++page) {
                pages->setCurrent(page);
                QApplication::processEvents();
                for (QWidget* unit : w.unitWidget(Unit::关于)->findChildren<QWidget*>()) {
                    if (!unit->isVisible() || !unit->isEnabled() || !(unit->focusPolicy() & Qt::TabFocus)) continue;
                    if (unit != pages->bar()) check(unit, pages->bar());
                    else if (page == 0) check(unit, w.unitWidget(Unit::透明标签1));
                }
            }
        }
        QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
    }

    // The ring comes with keys that move the focus, and goes with the mouse:
    // a writer who points and types sees the caret alone.
    void theRingFollowsTheKeysNotTheMouse() {
        test::ShownProgram run;
        QVERIFY(run.start());
        QtWindow& w = run.window;
        w.widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.widget()));
        auto ringed = [&] {
            for (QWidget* side : w.widget()->findChildren<QWidget*>(QStringLiteral("焦点框")))
                if (side->isVisible()) return true;
            return false;
        };
        QWidget* title = w.unitWidget(Unit::章节名称);
        QVERIFY(title->hasFocus() && !ringed());  // put there at start, by no key
        QTest::keyClick(title, Qt::Key_Tab);
        QVERIFY(ringed());
        QTest::mouseClick(title, Qt::LeftButton);
        QVERIFY(title->hasFocus() && !ringed());
        test::typeText(title, q(u8"第一章"));
        QTest::keyClick(title, Qt::Key_Return);  // the program moves the focus to the body
        QVERIFY(w.unitWidget(Unit::编辑框1)->hasFocus());
        QVERIFY(!ringed());
        QTest::keyClick(w.unitWidget(Unit::编辑框1), Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(w.unitWidget(Unit::录音按钮)->hasFocus() && ringed());
    }

    void theKeyboardReachesEverything() {
        test::ShownProgram run;
        QVERIFY(run.start());
        QtWindow& w = run.window;
        QWidget* main = w.widget();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        auto focused = [] { return QApplication::focusWidget(); };

        // Title, start button, body, record button.
        w.setFocus(Unit::章节名称);
        QTest::keyClicks(focused(), QStringLiteral("Chapter"));
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), w.unitWidget(Unit::开始书写按钮));
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focused(), w.unitWidget(Unit::章节名称));
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(focused(), w.unitWidget(Unit::编辑框1));
        // In the body Tab types a tab; Ctrl+Tab leaves for the record button, Ctrl+Shift+Tab goes back.
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), w.unitWidget(Unit::编辑框1));
        QVERIFY(qobject_cast<QPlainTextEdit*>(focused())->toPlainText().contains(QLatin1Char('\t')));
        QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(focused(), w.unitWidget(Unit::录音按钮));
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focused(), w.unitWidget(Unit::编辑框1));
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(focused(), w.unitWidget(Unit::开始书写按钮));

        // Alt+F (from the body) and the Menu key (from a unit without a menu of its own) open
        // the menu 开始 on its first entry; Esc closes it.
        for (auto [key, mods, from] : {std::tuple{Qt::Key_F, Qt::KeyboardModifiers(Qt::AltModifier), Unit::编辑框1},
                                       std::tuple{Qt::Key_Menu, Qt::KeyboardModifiers(), Unit::录音按钮}}) {
            w.setFocus(from);
            QTest::keyClick(focused(), key, mods);
            QTRY_VERIFY(w.menu()->isVisible());
            // While writing, 打开文件 cannot be chosen.
            QTRY_COMPARE(w.menu()->activeAction(), w.menuAction(Unit::新建临时文本));
            // The Alt of Alt+F handed back late by a screen reader's bridge leaves it open.
            QTest::keyClick(w.menu(), Qt::Key_Alt);
            QVERIFY(w.menu()->isVisible());
            QTest::keyClick(w.menu(), Qt::Key_Down);
            // The arrows stop on 新建日记 too, which cannot be chosen while writing: a screen
            // reader reads it as unavailable rather than skipping it without a word.
            QCOMPARE(w.menu()->activeAction(), w.menuAction(Unit::新建日记));
            QVERIFY(!w.menu()->activeAction()->isEnabled());
            QTest::keyClick(w.menu(), Qt::Key_Escape);
            QTRY_VERIFY(!w.menu()->isVisible());
        }

        // The panel takes the focus on its tabs; Ctrl+Tab turns its pages, Tab reaches its controls, Esc closes it.
        w.menuAction(Unit::设置)->trigger();
        QVERIFY(w.visible(Unit::关于));
        auto* tabs = qobject_cast<TabControl*>(w.unitWidget(Unit::高级选择夹1));
        QCOMPARE(focused(), tabs->bar());
        const auto focusTabs = [bar = tabs->bar()] { bar->setFocus(Qt::TabFocusReason); };
        QCOMPARE(w.selection(Unit::高级选择夹1), 0);
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), w.unitWidget(Unit::顶图类型));
        QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.selection(Unit::高级选择夹1), 1);
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.selection(Unit::高级选择夹1), 0);
        // Tab goes round the open panel: from its tabs back to 取消, and on to the tabs again.
        focusTabs();
        QTest::keyClick(focused(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focused(), w.unitWidget(Unit::透明标签1));
        QTest::keyClick(focused(), Qt::Key_Tab);
        QCOMPARE(focused(), tabs->bar());
        QTest::keyClick(focused(), Qt::Key_Escape);
        QVERIFY(!w.visible(Unit::关于));
        QCOMPARE(focused(), w.unitWidget(Unit::编辑框1));
    }

    // However a session starts, the body takes the focus before its caret
    // moves: a screen reader takes a caret that moves first for the focus.
    void aSessionStartsWithTheFocusOnTheBody() {
        for (int way = 0; way < 3; ++way) {
            test::ShownProgram run;
            QVERIFY(run.start());
            QtWindow& w = run.window;
            w.widget()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w.widget()));
            auto* body = qobject_cast<QPlainTextEdit*>(w.unitWidget(Unit::编辑框1));
            OrderSpy seen(body);
            w.setFocus(Unit::章节名称);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Chapter"));
            if (way == 0) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (way == 1) QTest::mouseClick(w.unitWidget(Unit::开始书写按钮), Qt::LeftButton);
            if (way == 2) {
                w.setText(Unit::章节名称, {});
                w.menuAction(Unit::新建临时文本)->trigger();
            }
            QTRY_COMPARE(QApplication::focusWidget(), body);
            QVERIFY2(seen.order.startsWith(QLatin1Char('F')), qPrintable(QStringLiteral("way %1: %2").arg(way).arg(seen.order)));
            // Ctrl+Shift+I speaks the count and the writing timer.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
            auto* announcer = w.widget()->findChild<QWidget*>(q(u8"播报"));
            QVERIFY(announcer && announcer->accessibleName().startsWith(toQt(w.statusText(0)).trimmed()));
            QVERIFY(announcer->accessibleName().contains(toQt(w.statusText(1)).trimmed()));
        }
    }
};

QTEST_MAIN(QtAccessTest)
#include "qt_access_test.moc"
