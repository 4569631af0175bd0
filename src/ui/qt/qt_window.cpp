// The Qt window: built from the unit table; the widgets' signals become events.
#include "ui/qt/qt_window.h"

#include "app/chrome.h"
#include "app/shell.h"
#include "ui/qt/qt_accessibility.h"
#include "ui/qt/qt_chrome.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"
#include "ui/unit_table.h"

#include <QApplication>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QProgressDialog>
#include <QSystemTrayIcon>
#include <QTimer>

// The pictures live in the program's resources (resources/images).
static void initImages() { Q_INIT_RESOURCE(images); }

namespace talery {
namespace {

Qt::CursorShape sizingCursor(int side) {
    switch (side) {
        case 1:
        case 2: return Qt::SizeHorCursor;
        case 3:
        case 6: return Qt::SizeVerCursor;
        case 4:
        case 8: return Qt::SizeFDiagCursor;
        default: return Qt::SizeBDiagCursor;
    }
}

QStringList fontFamilies(std::string_view design) {
    // The design names Windows fonts; each is followed by CJK fonts Linux has.
    QStringList families{utf8ToQt(design)};
    if (design == "微软雅黑") families << "Microsoft YaHei";
    if (design == "微软雅黑 Light") families << "Microsoft YaHei Light" << "Microsoft YaHei";
    if (design == "SimSun") families << "宋体" << "NSimSun";
    families << "WenQuanYi Micro Hei" << "Noto Sans CJK SC" << "Source Han Sans SC" << "Droid Sans Fallback";
    return families;
}

QFont designFont(const UnitDesign& design) {
    QFont font = QApplication::font();
    if (!design.font.empty()) font.setFamilies(fontFamilies(design.font));
    if (design.fontSize > 0) font.setPointSize(design.fontSize);
    return font;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) icon.addFile(QStringLiteral(":/images/icon-%1.png").arg(size));
    return icon;
}

// The desktop's own colours, marked as set so that they override the window's theme.
QPalette desktopPalette() {
    const QPalette app = QApplication::palette();
    QPalette p;
    for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Button,
                      QPalette::ButtonText})
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, role, app.color(group, role));
    return p;
}

}  // namespace

QtWindow::QtWindow() : main_(std::make_unique<MainWidget>()), slots_(kUnitCount) {
    initImages();
    installAccessibleRoles();
    build();
    setUpAccessibility(*this);
    findWindows_ = std::make_unique<QtFindWindows>(main_.get(), [this](const UiEvent& e) { raise(e); });
    findWindows_->setMatchArea([this] { return bodySelectionArea(); });
    historyWindow_ = std::make_unique<QtHistoryWindow>(main_.get(), [this](const UiEvent& e) { raise(e); });
}

QtWindow::~QtWindow() {
    if (tray_) tray_->hide();
    sink_ = nullptr;
}

QWidget* QtWindow::widget() const { return main_.get(); }
QWidget* QtWindow::unitWidget(Unit unit) const { return slots_.at(index(unit)).widget.data(); }
QAction* QtWindow::menuAction(Unit unit) const { return slots_.at(index(unit)).action; }
QMenu* QtWindow::menu() const { return menu_; }
QTimer* QtWindow::timer(Unit unit) const { return slots_.at(index(unit)).timer; }

void QtWindow::raise(const UiEvent& event) {
    if (sink_) sink_->handle(event);
}

bool QtWindow::askClose() {
    // Long work paints the window between its steps, and the desktop's close
    // button is no click or key kept for after it: asked for then, the close
    // is refused, as while a message waits, rather than ending the session
    // in the middle of a save.
    if (progress_) return false;
    return !sink_ || sink_->closeRequested();
}

// Dropped files. They are handled once the drop has returned, so that the
// drag source is not held while a message or the password dialog waits for
// the user. One event per path, in the order the drag source listed them.
void QtWindow::deliverDrop(const QStringList& files) {
    QTimer::singleShot(0, this, [this, files] {
        // Dropped during long work (the window paints meanwhile): handled after it.
        if (progress_) {
            QTimer::singleShot(50, this, [this, files] { deliverDrop(files); });
            return;
        }
        for (qsizetype i = 0; i < files.size(); ++i)
            raise({.type = EventType::FileDropped, .index = static_cast<int>(i),
                   .path = QFile::encodeName(files[i]).toStdString()});
    });
}

QWidget* QtWindow::parentFor(const UnitDesign& design) const {
    if (design.parent == Unit::None) return main_.get();
    QWidget* parent = unitWidget(design.parent);
    if (auto* tabs = qobject_cast<TabControl*>(parent); tabs && design.page >= 0) return tabs->page(design.page);
    return parent;
}

void QtWindow::build() {
    MainWidget* w = main_.get();
    w->setObjectName(QStringLiteral("主窗口"));
    w->setWindowTitle(utf8ToQt(kMainWindowCaption));
    w->setGeometry(kMainWindowDesign.left, kMainWindowDesign.top, kMainWindowDesign.width, kMainWindowDesign.height);
    setWindowBackground(kDesignBackground);
    w->setWindowIcon(applicationIcon());
    QApplication::setWindowIcon(w->windowIcon());  // the dialogs' too
    w->setMinimumSize(kMinimumWindowWidth, kMinimumWindowHeight);
    chrome_ = new ChromeDrag(w);
    w->onResized = [this] {
        if (!resizing_) raise({.type = EventType::Resized});
    };
    w->onCloseRequested = [this] { return askClose(); };
    w->onFilesDropped = [this](const QStringList& files) { deliverDrop(files); };

    menu_ = new QMenu(w);
    menu_->setObjectName(QStringLiteral("开始"));
    for (const UnitDesign& design : unitTable()) {
        Slot& slot = slots_[index(design.unit)];
        slot.text = gbk(design.text);
        slot.enabled = !(design.flags & kDisabled);
        if (design.kind == UnitKind::MenuEntry) {
            if (design.flags & kSeparatorBefore) menu_->addSeparator();
            slot.action = menu_->addAction(utf8ToQt(design.text));
            slot.action->setObjectName(utf8ToQt(design.name));
            const Unit u = design.unit;
            connect(slot.action, &QAction::triggered, this, [this, u] { raise({.unit = u, .type = EventType::Triggered}); });
            if (u == Unit::历史版本) {
                // Reachable from anywhere in the window, also outside a session.
                slot.action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
                slot.action->setShortcutContext(Qt::WindowShortcut);
                w->addAction(slot.action);
            }
            continue;
        }
        if (design.kind == UnitKind::Timer) {
            slot.timer = new QTimer(this);
            slot.timer->setObjectName(utf8ToQt(design.name));
            const Unit u = design.unit;
            connect(slot.timer, &QTimer::timeout, this, [this, u] { raise({.unit = u, .type = EventType::Tick}); });
            setTimerInterval(design.unit, design.value);
            continue;
        }
        if (design.flags & kInvisibleUnit) continue;
        slot.widget = createUnit(design, parentFor(design));
    }
    // Later units lie above earlier ones, except the window-wide strips.
    if (auto* bg = unitWidget(Unit::背景)) bg->lower();
    unitWidget(Unit::关于)->raise();
}

QWidget* QtWindow::createUnit(const UnitDesign& design, QWidget* parent) {
    const Unit u = design.unit;
    const QString text = utf8ToQt(design.text);
    QWidget* widget = nullptr;
    switch (design.kind) {
        case UnitKind::EditBox: {
            if (design.flags & kMultiLine) {
                auto* e = new TextEdit(parent);
                e->setContent(u == Unit::编辑框1 ? utf8ToQt(welcomeText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                                 : text.split(QStringLiteral("\r\n")).join(QLatin1Char('\n')));
                e->setVerticalScrollBarPolicy((design.flags & kVerticalScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
                e->setReadOnly(design.flags & kReadOnlyBox);
                e->setCentred(design.flags & kCentred);
                e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                connect(e, &TextEdit::keyDown, this, [this, u](int k, int m) {
                    raise({.unit = u, .type = EventType::KeyDown, .key = k, .modifiers = m});
                });
                connect(e, &TextEdit::contentChanged, this, [this, u, e] {
                    const TextEdit::Span span = e->takeChange();  // text statistics
                    raise({.unit = u,
                           .type = EventType::TextChanged,
                           .change = {static_cast<std::size_t>(span.position), static_cast<std::size_t>(span.removed),
                                      static_cast<std::size_t>(span.added), span.pasted}});
                });
                connect(e, &TextEdit::filesDropped, this, &QtWindow::deliverDrop);
                widget = e;
            } else {
                auto* e = new LineEdit(parent);
                e->setMaxLength(1 << 24);  // titles are the user's text: never cut at the toolkit's default
                e->setText(text);
                if (design.flags & kCentred) e->setAlignment(Qt::AlignCenter);
                connect(e, &LineEdit::keyDown, this, [this, u](int k, int m) {
                    raise({.unit = u, .type = EventType::KeyDown, .key = k, .modifiers = m});
                });
                connect(e, &LineEdit::userEdited, this, [this, u] { raise({.unit = u, .type = EventType::TextChanged}); });
                widget = e;
            }
            break;
        }
        case UnitKind::PictureBox:
        case UnitKind::TransparentLabel:
        case UnitKind::HyperlinkLabel: {
            auto* l = new ClickLabel(parent);
            l->setText(text.split(QStringLiteral("\r\n")).join(QLatin1Char('\n')));
            l->setWordWrap(design.kind != UnitKind::PictureBox && design.rect.height > 30);
            if (design.flags & kCentred) l->setAlignment(Qt::AlignCenter);
            if (design.kind == UnitKind::HyperlinkLabel) {
                QFont f = designFont(design);
                f.setUnderline(true);
                l->setFont(f);
                setPaletteColour(l, QPalette::WindowText, 0xCC0000);
            }
            connect(l, &ClickLabel::pressed, this, [this, u] { raise({.unit = u, .type = EventType::MouseDown}); });
            connect(l, &ClickLabel::doubleClicked, this, [this, u] { raise({.unit = u, .type = EventType::DoubleClick}); });
            widget = l;
            break;
        }
        case UnitKind::GroupBox: {
            auto* g = new QGroupBox(text, parent);
            widget = g;
            break;
        }
        case UnitKind::CheckBox: {
            auto* c = new QCheckBox(text, parent);
            c->setChecked(design.flags & kChecked);
            connect(c, &QCheckBox::clicked, this, [this, u] { raise({.unit = u, .type = EventType::Click}); });
            widget = c;
            break;
        }
        case UnitKind::ComboBox: {
            auto* c = new QComboBox(parent);
            for (std::string_view item : design.items) c->addItem(utf8ToQt(item));
            c->setCurrentIndex(0);
            // The drop-down is as wide as its longest item, so none is cut.
            c->view()->setMinimumWidth(c->view()->sizeHintForColumn(0) + 2 * c->view()->frameWidth() + 24);
            // Only the user's choice runs the change handler, never the program's.
            connect(c, &QComboBox::activated, this, [this, u](int i) {
                raise({.unit = u, .type = EventType::SelectionChanged, .index = i});
            });
            widget = c;
            break;
        }
        case UnitKind::ColourPicker: {
            auto* c = new ColourPicker(parent);
            connect(c, &ColourPicker::chosen, this, [this, u] { raise({.unit = u, .type = EventType::ColourChosen}); });
            widget = c;
            break;
        }
        case UnitKind::ListView: {
            widget = new QListWidget(parent);
            break;
        }
        case UnitKind::StatusBar: {
            auto* s = new StatusBarWidget(parent);
            for (int i = 0; i < 4 && i < static_cast<int>(design.items.size()); ++i)
                s->part(i)->setText(utf8ToQt(design.items[static_cast<std::size_t>(i)]));
            connect(s, &StatusBarWidget::pressed, this, [this, u] { raise({.unit = u, .type = EventType::MouseDown}); });
            widget = s;
            break;
        }
        case UnitKind::Button: {
            auto* b = new QPushButton(text, parent);
            if (!design.tooltip.empty()) b->setToolTip(utf8ToQt(design.tooltip));
            connect(b, &QPushButton::clicked, this, [this, u] { raise({.unit = u, .type = EventType::Click}); });
            widget = b;
            break;
        }
        case UnitKind::TabControl: {
            std::vector<QString> captions;
            for (std::string_view item : design.items) captions.push_back(utf8ToQt(item));
            auto* t = new TabControl(parent, captions);
            for (int i = 0; i < t->pageCount(); ++i) t->page(i)->setObjectName(utf8ToQt(design.name) + QStringLiteral("#%1").arg(i));
            connect(t, &TabControl::pageChanged, this, [this, u](int i) {
                raise({.unit = u, .type = EventType::PageChanged, .index = i});
            });
            widget = t;
            break;
        }
        default: return nullptr;
    }
    slots_[index(u)].widget = widget;
    widget->setObjectName(utf8ToQt(design.name));
    widget->setFont(designFont(design));
    widget->setGeometry(design.rect.left, design.rect.top, design.rect.width, design.rect.height);
    if (!design.tooltip.empty()) widget->setToolTip(utf8ToQt(design.tooltip));
    if (design.flags & kHandCursor) widget->setCursor(Qt::PointingHandCursor);
    // The title strip and the resize handles drag the window.
    if (const int side = resizeSide(u)) {
        widget->setCursor(sizingCursor(side));
        chrome_->watch(widget);
    }
    if (u == Unit::标题栏) chrome_->watch(widget);
    if (design.flags & kDisabled) widget->setEnabled(false);
    if (design.flags & kHidden) widget->hide();

    // The design-time look.
    if (design.parent == Unit::None) {
        switch (u) {
            case Unit::编辑框1:
                setBackgroundColour(u, kDesignBackground);
                setTextColour(u, kDesignText);
                break;
            case Unit::章节名称:
                setBackgroundColour(u, kDesignTitleFieldBackground);
                setTextColour(u, kDesignTitleFieldText);
                break;
            case Unit::开始书写按钮:
                setButtonColours(u, {0xFFFFFF, 0xC06000}, {0xFFFFFF, 0xFF8800}, {0xFFFFFF, 0xC06000});
                break;
            case Unit::标题栏:
            case Unit::章节名称提示:
            case Unit::最小化按钮1:
            case Unit::关闭按钮: setTextColour(u, kDesignText); break;
            case Unit::录音按钮1: setPicture(u, Picture::MenuGlyph); break;
            case Unit::录音按钮: setPicture(u, Picture::RecordIdle); break;
            case Unit::关于:
            case Unit::wav播放器:
            case Unit::状态条1:
                // Panels keep the desktop's own light look over any theme.
                widget->setAutoFillBackground(true);
                widget->setPalette(desktopPalette());
                break;
            default: break;
        }
    }
    if (u == Unit::图片框1) setPicture(u, Picture::Statistics);
    if (u == Unit::背景) setPicture(u, Picture::TopImage1);
    return widget;
}

void QtWindow::post(std::function<void()> task) {
    QMetaObject::invokeMethod(widget(), std::move(task), Qt::QueuedConnection);
}

}  // namespace talery
