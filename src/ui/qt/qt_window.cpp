#include "ui/qt/qt_window.h"

#include "app/chrome.h"
#include "app/shell.h"
#include "audio/qt/qt_audio.h"
#include "ui/password_dialog.h"
#include "ui/qt/qt_body_offsets.h"
#include "ui/qt/qt_chrome.h"
#include "ui/qt/qt_widgets.h"
#include "ui/unit_table.h"

#include <algorithm>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsDropShadowEffect>
#include <QRegularExpression>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>
#include <QScreen>
#include <QWindow>

#include <limits>
#include <pwd.h>
#include <unistd.h>

// The pictures live in the program's resources (resources/images).
static void initImages() { Q_INIT_RESOURCE(images); }

namespace talery {
namespace {

// A picture of the resources at the given device pixel ratio: the drawing
// made for twice the size where the screen is that dense.
QPixmap loadPicture(const QString& name, qreal dpr) {
    const bool dense = dpr > 1.0;
    QPixmap pm(QStringLiteral(":/images/%1%2.png").arg(name, dense ? QStringLiteral("@2x") : QString()));
    if (pm.isNull()) pm.load(QStringLiteral(":/images/%1.png").arg(name));
    else if (dense) pm.setDevicePixelRatio(2.0);
    return pm;
}

// A picture that covers `size` whole, cut evenly where its proportions differ.
QPixmap coverPicture(const QString& name, QSize size, qreal dpr) {
    const QPixmap source = loadPicture(name, dpr);
    if (source.isNull() || size.isEmpty()) return source;
    const QSize device = size * dpr;
    const QPixmap scaled = source.scaled(device, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPixmap out = scaled.copy((scaled.width() - device.width()) / 2, (scaled.height() - device.height()) / 2,
                              device.width(), device.height());
    out.setDevicePixelRatio(dpr);
    return out;
}

QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

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

QColor qcolour(Colour c) { return QColor(red(c), green(c), blue(c)); }
Colour fromQColour(const QColor& c) { return rgb(c.red(), c.green(), c.blue()); }

QStringList fontFamilies(std::string_view design) {
    // The design names Windows fonts; each is followed by CJK fonts Linux has.
    QStringList families{utf8ToQt(design)};
    if (design == "微软雅黑") families << "Microsoft YaHei";
    if (design == "微软雅黑 Light") families << "Microsoft YaHei Light" << "Microsoft YaHei";
    if (design == "SimSun") families << "宋体" << "NSimSun";
    families << "WenQuanYi Micro Hei" << "Noto Sans CJK SC" << "Source Han Sans SC" << "Droid Sans Fallback";
    return families;
}

QFont designFont(const UnitSpec& design) {
    QFont font = QApplication::font();
    if (!design.font.empty()) font.setFamilies(fontFamilies(design.font));
    if (design.fontSize > 0) font.setPointSize(design.fontSize);
    return font;
}

// "desc|pattern|" of the design becomes a Qt name filter.
QStringList nameFilters(const UnitSpec& dialog) {
    QStringList out;
    for (std::string_view item : dialog.items) {
        const QStringList parts = utf8ToQt(item).split(QLatin1Char('|'));
        if (parts.size() >= 2) out << QStringLiteral("%1 (%2)").arg(parts[0], parts[1]);
    }
    return out;
}

QPixmap drawPicture(Picture picture, QSize size, qreal dpr) {
    switch (picture) {
        case Picture::MenuGlyph: return loadPicture(QStringLiteral("menu"), dpr);
        case Picture::TopImage1: return coverPicture(QStringLiteral("top1"), size, dpr);
        case Picture::TopImage2: return coverPicture(QStringLiteral("top2"), size, dpr);
        // The record button's pictures are the recorder's own images.
        case Picture::RecordIdle:
        case Picture::RecordActive: return recordPicture(picture == Picture::RecordActive, size, dpr);
        default: break;
    }
    QPixmap pm(size.isEmpty() ? QSize(24, 24) : size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(pm.rect()).adjusted(2, 2, -2, -2);
    switch (picture) {
        case Picture::Statistics: {
            p.setPen(Qt::NoPen);
            const QColor colours[] = {QColor(0, 96, 192), QColor(0, 136, 255), QColor(255, 136, 0)};
            for (int i = 0; i < 3; ++i) {
                const qreal h = r.height() * (0.4 + 0.25 * i);
                p.setBrush(colours[i]);
                p.drawRect(QRectF(r.left() + i * r.width() / 3 + 2, r.bottom() - h, r.width() / 3 - 4, h));
            }
            break;
        }
        default: break;
    }
    return pm;
}

QIcon trayImage() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/images/tray.png"));
    icon.addFile(QStringLiteral(":/images/tray@2x.png"));
    return icon;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) icon.addFile(QStringLiteral(":/images/icon-%1.png").arg(size));
    return icon;
}

void setPaletteColour(QWidget* w, QPalette::ColorRole role, Colour c) {
    QPalette pal = w->palette();
    pal.setColor(role, qcolour(c));
    w->setPalette(pal);
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

// A whole novel passes through here when it is opened and saved: it is
// converted a block at a time, so that besides the result only one block's
// copy is in memory.
constexpr std::size_t kConversionBlock = std::size_t(1) << 20;

QString toQt(const Text& gbkText) { return toQt(gbkText, {}); }

QString toQt(const Text& gbkText, const std::function<void()>& between) {
    // One UTF-16 unit per GBK byte at most: room enough, and what a
    // double-byte text leaves unused is never touched.
    QString s;
    s.reserve(static_cast<qsizetype>(gbkText.size()));
    std::size_t from = 0;
    while (from < gbkText.size()) {
        // Blocks end behind a LF, which is never part of a double-byte character.
        std::size_t end = std::min(from + kConversionBlock, gbkText.size());
        if (end < gbkText.size()) {
            const std::size_t lf = gbkText.find('\n', end);
            end = lf == Text::npos ? gbkText.size() : lf + 1;
        }
        std::u16string part = decodeGbkLossy(std::string_view(gbkText).substr(from, end - from));
        // CR LF and a lone CR are both a line break here.
        std::size_t out = 0;
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (part[i] == u'\r') {
                part[out++] = u'\n';
                if (i + 1 < part.size() && part[i + 1] == u'\n') ++i;
            } else {
                part[out++] = part[i];
            }
        }
        s.append(QStringView(part.data(), static_cast<qsizetype>(out)));
        from = end;
        if (between) between();
    }
    return s;
}

namespace {

// UTF-16 of the toolkit as GBK, line breaks as CR LF. The body's document
// also has its own separators and the no-break space, which become a line
// break and a space. Runs between breaks go to the encoder uncopied.
void appendGbk(QStringView text, bool document, Text& out) {
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const auto size = static_cast<std::size_t>(text.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = units[i];
        if ((c > u'\n' && c < 0xA0) || (c > 0x2029 && c < 0xFDD0)) continue;  // most text: nothing to look at
        const bool lineBreak = c == u'\n' || c == QChar::ParagraphSeparator ||
                               (document && (c == QChar::LineSeparator || c == 0xFDD0 || c == 0xFDD1));
        const bool space = document && c == QChar::Nbsp;
        if (!lineBreak && !space) continue;
        appendGbkLossy(std::u16string_view(units + run, i - run), out);
        out += lineBreak ? "\r\n" : " ";
        run = i + 1;
    }
    appendGbkLossy(std::u16string_view(units + run, size - run), out);
}

}  // namespace

Text fromQt(const QString& text) {
    Text out;
    out.reserve(2 * static_cast<std::size_t>(text.size()));  // two bytes a unit at most, a break too
    appendGbk(text, false, out);
    return out;
}

QString utf8ToQt(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QString gbkSafe(const QString& text) { return QString::fromStdU16String(decodeGbkLossy(encodeGbkLossy(text.toStdU16String()))); }

QtWindow::QtWindow() : main_(std::make_unique<MainWidget>()), slots_(kUnitCount) {
    initImages();
    build();
    findWindows_ = std::make_unique<QtFindWindows>(main_.get(), [this](const UiEvent& e) { raise(e); });
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

bool QtWindow::askClose() { return !sink_ || sink_->closeRequested(); }

// Dropped files. They are handled once the drop has returned, so that the
// drag source is not held while a message or the password dialog waits for
// the user. One event per path, in the order the drag source listed them.
void QtWindow::deliverDrop(const QStringList& files) {
    QTimer::singleShot(0, this, [this, files] {
        for (qsizetype i = 0; i < files.size(); ++i)
            raise({.type = EventType::FileDropped, .index = static_cast<int>(i),
                   .path = QFile::encodeName(files[i]).toStdString()});
    });
}

QWidget* QtWindow::parentFor(const UnitSpec& design) const {
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
    for (const UnitSpec& design : unitTable()) {
        Slot& slot = slots_[index(design.unit)];
        slot.text = gbk(design.text);
        slot.enabled = !(design.flags & kDisabled);
        if (design.kind == UnitKind::MenuEntry) {
            if (design.flags & kSeparatorBefore) menu_->addSeparator();
            slot.action = menu_->addAction(utf8ToQt(design.text));
            slot.action->setObjectName(utf8ToQt(design.name));
            const Unit u = design.unit;
            connect(slot.action, &QAction::triggered, this, [this, u] { raise({.unit = u, .type = EventType::Triggered}); });
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

QWidget* QtWindow::createUnit(const UnitSpec& design, QWidget* parent) {
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
                                      static_cast<std::size_t>(span.added)}});
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

Text QtWindow::text(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* a = menuAction(unit)) return fromQt(a->text());
    if (!w) return slots_[index(unit)].text;
    // The body, a whole novel maybe, is read without a copy of it as one string.
    if (unit == Unit::编辑框1) return bodyText(0, std::numeric_limits<std::size_t>::max());
    if (auto* e = qobject_cast<TextEdit*>(w)) return fromQt(e->content());
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return fromQt(e->toPlainText());
    if (auto* e = qobject_cast<QLineEdit*>(w)) return fromQt(e->text());
    if (auto* l = qobject_cast<QLabel*>(w)) return fromQt(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return fromQt(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) return fromQt(g->title());
    if (auto* c = qobject_cast<QComboBox*>(w)) return fromQt(c->currentText());
    return slots_[index(unit)].text;
}

void QtWindow::setText(Unit unit, const Text& text) {
    QWidget* w = unitWidget(unit);
    const QString s = toQt(text);
    if (auto* a = menuAction(unit)) {
        a->setText(s);
        return;
    }
    if (!w) {
        slots_[index(unit)].text = text;
        return;
    }
    if (auto* e = qobject_cast<TextEdit*>(w)) {
        e->setContent(s);
    } else if (auto* e2 = qobject_cast<QLineEdit*>(w)) {
        e2->setText(s);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(s);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(s);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(s);
    } else {
        slots_[index(unit)].text = text;
    }
}

void QtWindow::takeText(Unit unit, Text&& text) {
    auto* e = qobject_cast<TextEdit*>(unitWidget(unit));
    if (!e) {
        setText(unit, text);
        return;
    }
    if (!progress_) {
        const QString s = toQt(text);
        Text().swap(text);
        e->setContent(s);
        return;
    }
    // Long work shows progress: the window keeps painting while the text is
    // converted and goes in, and the bar moves on through the rest of its way.
    const QString s = toQt(text, [this] { paintDuringWork(); });
    Text().swap(text);
    const int from = progress_->value();
    e->setContent(s, [this, from](double done) {
        if (progress_) progress_->setValue(from + static_cast<int>((progress_->maximum() - from) * done * 0.9));
        paintDuringWork();
    });
}

bool QtWindow::enabled(Unit unit) const {
    if (auto* a = menuAction(unit)) return a->isEnabled();
    if (QWidget* w = unitWidget(unit)) return w->isEnabled();
    return slots_[index(unit)].enabled;
}

void QtWindow::setEnabled(Unit unit, bool on) {
    if (auto* a = menuAction(unit)) {
        a->setEnabled(on);
    } else if (QWidget* w = unitWidget(unit)) {
        w->setEnabled(on);
    } else {
        slots_[index(unit)].enabled = on;
    }
}

bool QtWindow::visible(Unit unit) const {
    if (auto* a = menuAction(unit)) return a->isVisible();
    if (QWidget* w = unitWidget(unit)) return !w->isHidden();
    return slots_[index(unit)].visible;
}

void QtWindow::setVisible(Unit unit, bool on) {
    if (auto* a = menuAction(unit)) {
        a->setVisible(on);
    } else if (QWidget* w = unitWidget(unit)) {
        w->setVisible(on);
        // The top image stays beneath everything; a shown panel comes on top.
        if (on && unit == Unit::背景) w->lower();
        else if (on) w->raise();
        if (unit == Unit::背景) updateHalo();
        if (unit == Unit::编辑框1 || unit == Unit::状态条1) fitBodyAboveBar();
    } else {
        slots_[index(unit)].visible = on;
    }
}

bool QtWindow::checked(Unit unit) const {
    auto* c = qobject_cast<QCheckBox*>(unitWidget(unit));
    return c && c->isChecked();
}

void QtWindow::setChecked(Unit unit, bool on) {
    if (auto* c = qobject_cast<QCheckBox*>(unitWidget(unit))) c->setChecked(on);
}

int QtWindow::selection(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentIndex();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->current();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->currentRow();
    return -1;
}

void QtWindow::setSelection(Unit unit, int i) {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentIndex(i);
    if (auto* t = qobject_cast<TabControl*>(w)) t->setCurrent(i);
    if (auto* l = qobject_cast<QListWidget*>(w)) l->setCurrentRow(i);
}

Text QtWindow::itemText(Unit unit, int i) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return i >= 0 && i < c->count() ? fromQt(c->itemText(i)) : Text();
    if (auto* t = qobject_cast<TabControl*>(w)) return i >= 0 && i < t->pageCount() ? fromQt(t->bar()->tabText(i)) : Text();
    if (auto* l = qobject_cast<QListWidget*>(w)) return i >= 0 && i < l->count() ? fromQt(l->item(i)->text()) : Text();
    return {};
}

int QtWindow::itemCount(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->count();
    if (auto* t = qobject_cast<TabControl*>(w)) return t->pageCount();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->count();
    return 0;
}

Colour QtWindow::textColour(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (!w) return slots_[index(unit)].textColour;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) return fromQColour(w->palette().color(QPalette::Text));
    if (qobject_cast<QPushButton*>(w)) return slots_[index(unit)].textColour;
    return fromQColour(w->palette().color(QPalette::WindowText));
}

void QtWindow::setTextColour(Unit unit, Colour colour) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].textColour = colour;
    if (unit == Unit::标题栏) applyThemePalette();
    if (unit == Unit::标题栏 || unit == Unit::章节名称提示 || unit == Unit::最小化按钮1 || unit == Unit::关闭按钮) updateHalo();
    if (!w) return;
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
        setPaletteColour(w, QPalette::Text, colour);
    } else {
        setPaletteColour(w, QPalette::WindowText, colour);
        setPaletteColour(w, QPalette::ButtonText, colour);
    }
}

Colour QtWindow::backgroundColour(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* c = qobject_cast<ColourPicker*>(w)) return c->colour();
    if (w && (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)))
        return fromQColour(w->palette().color(QPalette::Base));
    return slots_[index(unit)].background;
}

void QtWindow::setBackgroundColour(Unit unit, Colour colour) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].background = colour;
    if (!w) return;
    if (auto* c = qobject_cast<ColourPicker*>(w)) {
        c->setColour(colour);
    } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
        setPaletteColour(w, QPalette::Base, colour);
    } else {
        w->setAutoFillBackground(true);
        setPaletteColour(w, QPalette::Window, colour);
    }
}

int QtWindow::fontSize(Unit unit) const {
    QWidget* w = unitWidget(unit);
    return w ? w->font().pointSize() : 0;
}

void QtWindow::setFontSize(Unit unit, int points) {
    if (QWidget* w = unitWidget(unit); w && points > 0) {
        QFont f = w->font();
        f.setPointSize(points);
        w->setFont(f);
    }
}

Rect QtWindow::geometry(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (!w) return {};
    const QRect g = w->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void QtWindow::setGeometry(Unit unit, const Rect& r) {
    QWidget* w = unitWidget(unit);
    if (!w) return;
    const QSize before = w->size();
    w->setGeometry(r.left, r.top, r.width, r.height);
    // A picture that covers its unit is cut anew for the new size.
    if (w->size() != before && slots_[index(unit)].picture != Picture::None) setPicture(unit, slots_[index(unit)].picture);
    if (unit == Unit::编辑框1 || unit == Unit::状态条1) fitBodyAboveBar();
}

// The status bar lies over the body's last rows; the body's text ends above it.
void QtWindow::fitBodyAboveBar() {
    auto* body = qobject_cast<TextEdit*>(unitWidget(Unit::编辑框1));
    QWidget* bar = unitWidget(Unit::状态条1);
    if (!body || !bar) return;
    const QRect b = body->geometry(), s = bar->geometry();
    const bool covers = !bar->isHidden() && s.left() <= b.left() && s.right() >= b.right() && s.top() > b.top();
    body->setCoveredBottom(covers ? std::max(0, b.bottom() - s.top() + 1) : 0);
}

void QtWindow::setAlignment(Unit unit, Align align) {
    QWidget* w = unitWidget(unit);
    if (auto* e = qobject_cast<TextEdit*>(w)) e->setCentred(align == Align::Centre);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setAlignment(align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft);
    if (auto* l = qobject_cast<QLabel*>(w)) l->setAlignment(align == Align::Centre ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
}

Align QtWindow::alignment(Unit unit) const {
    QWidget* w = unitWidget(unit);
    if (auto* e = qobject_cast<TextEdit*>(w)) return e->centred() ? Align::Centre : Align::Left;
    if (auto* e = qobject_cast<QLineEdit*>(w)) return (e->alignment() & Qt::AlignHCenter) ? Align::Centre : Align::Left;
    if (auto* l = qobject_cast<QLabel*>(w)) return (l->alignment() & Qt::AlignHCenter) ? Align::Centre : Align::Left;
    return Align::Left;
}

void QtWindow::setFocus(Unit unit) {
    if (QWidget* w = unitWidget(unit)) w->setFocus(Qt::OtherFocusReason);
}

Unit QtWindow::focus() const {
    QWidget* f = QApplication::focusWidget();
    for (std::size_t i = 1; i < slots_.size(); ++i)
        if (f && slots_[i].widget == f) return static_cast<Unit>(i);
    return Unit::None;
}

void QtWindow::setButtonColours(Unit unit, const ColourPair& a, const ColourPair& b, const ColourPair& c) {
    QWidget* w = unitWidget(unit);
    slots_[index(unit)].textColour = a.text;
    if (!w) return;
    // Pair 1 is the resting look, pair 2 the hovered one, pair 3 the pressed one.
    w->setStyleSheet(QStringLiteral("QPushButton { color: %1; background-color: %2; border: none; }"
                                    "QPushButton:hover { color: %3; background-color: %4; }"
                                    "QPushButton:pressed { color: %5; background-color: %6; }")
                         .arg(qcolour(a.text).name(), qcolour(a.face).name(), qcolour(b.text).name(),
                              qcolour(b.face).name(), qcolour(c.text).name(), qcolour(c.face).name()));
}

void QtWindow::setPicture(Unit unit, Picture picture) {
    slots_[index(unit)].picture = picture;
    if (auto* l = qobject_cast<QLabel*>(unitWidget(unit))) l->setPixmap(drawPicture(picture, l->size(), l->devicePixelRatioF()));
}

namespace {

// Byte offset in the GBK form of the body for a character position, and back.
// Find steps through long bodies: neither direction converts the body.
std::size_t gbkOffset(QPlainTextEdit* e, int position) { return gbkOffsetOf(*e->document(), position); }

int charPosition(QPlainTextEdit* e, std::size_t offset) { return positionOfGbkOffset(*e->document(), offset); }

}  // namespace

TextSelection QtWindow::bodySelection() const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    const QTextCursor c = e->textCursor();
    const std::size_t start = gbkOffset(e, c.selectionStart());
    const std::size_t end = gbkOffset(e, c.selectionEnd());
    return {start, end - start};
}

void QtWindow::setBodySelection(TextSelection selection) {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    QTextCursor c = e->textCursor();
    c.setPosition(charPosition(e, selection.start));
    c.setPosition(charPosition(e, selection.start + selection.length), QTextCursor::KeepAnchor);
    e->setTextCursor(c);
}

void QtWindow::replaceBodyRange(TextSelection range, const Text& text) {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    QTextCursor c(e->document());
    c.setPosition(charPosition(e, range.start));
    c.setPosition(charPosition(e, range.start + range.length), QTextCursor::KeepAnchor);
    c.insertText(toQt(text));
    e->setTextCursor(c);
}

std::size_t QtWindow::bodyLength() const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    return static_cast<std::size_t>(e->document()->characterCount() - 1);
}

void QtWindow::post(std::function<void()> task) {
    QMetaObject::invokeMethod(widget(), std::move(task), Qt::QueuedConnection);
}

// Text statistics and whole-body work: a slice of the body, read as the
// whole text reads (the document's plain text turns its paragraph and line
// separators into line breaks and no-break spaces into spaces).
Text QtWindow::bodyText(std::size_t position, std::size_t count) const {
    auto* e = qobject_cast<QPlainTextEdit*>(unitWidget(Unit::编辑框1));
    const auto length = static_cast<std::size_t>(e->document()->characterCount() - 1);
    position = std::min(position, length);
    count = std::min(count, length - position);
    // Block by block: a cursor would lay out a whole paragraph to place
    // itself, which is slow when the paragraph is a whole novel. Each block's
    // text goes straight into the result: nothing else is whole in memory.
    Text out;
    // GBK takes two bytes for a UTF-16 unit at most (a line break too): for
    // Chinese text this is the size, and the result never grows by doubling.
    out.reserve(2 * count);
    for (QTextBlock b = e->document()->findBlock(static_cast<int>(position)); b.isValid() && count > 0; b = b.next()) {
        const QString line = b.text();
        const auto offset = static_cast<qsizetype>(position) - b.position();
        const auto take = std::min<qsizetype>(static_cast<qsizetype>(count), line.size() - offset);
        position += static_cast<std::size_t>(take);
        count -= static_cast<std::size_t>(take);
        appendGbk(QStringView(line).mid(offset, take), true, out);
        if (count > 0 && b.next().isValid()) {
            out += "\r\n";
            ++position;
            --count;
        }
    }
    return out;
}

Text QtWindow::statusText(int part) const {
    auto* s = qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1));
    return part >= 0 && part < 4 ? fromQt(s->part(part)->text()) : Text();
}

void QtWindow::setStatusText(int part, const Text& text) {
    auto* s = qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1));
    if (part >= 0 && part < 4) s->part(part)->setText(toQt(text));
}

void QtWindow::setStatusPartWidth(int part, int width) {
    qobject_cast<StatusBarWidget*>(unitWidget(Unit::状态条1))->setPartWidth(part, width);
}

int QtWindow::timerInterval(Unit unit) const {
    QTimer* t = timer(unit);
    return t && t->isActive() ? t->interval() : 0;
}

void QtWindow::setTimerInterval(Unit unit, int milliseconds) {
    QTimer* t = timer(unit);
    if (!t) return;
    if (milliseconds <= 0) {
        t->stop();
    } else {
        t->start(milliseconds);
    }
}

void QtWindow::clearList(Unit list) {
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list))) l->clear();
}

void QtWindow::insertListItem(Unit list, int position, const Text& caption) {
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list))) l->insertItem(std::clamp(position, 0, l->count()), toQt(caption));
}

std::vector<Text> QtWindow::listItems(Unit list) const {
    std::vector<Text> out;
    if (auto* l = qobject_cast<QListWidget*>(unitWidget(list)))
        for (int i = 0; i < l->count(); ++i) out.push_back(fromQt(l->item(i)->text()));
    return out;
}

Rect QtWindow::windowGeometry() const {
    const QRect g = main_->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void QtWindow::setWindowSize(int width, int height) {
    // Exactly one size change, also while the window is hidden (where the
    // toolkit delays its own notice until it is shown) or the size is the same.
    resizing_ = true;
    main_->resize(std::max(width, 1), std::max(height, 1));
    resizing_ = false;
    raise({.type = EventType::Resized});
}

WindowState QtWindow::windowState() const {
    const Qt::WindowStates s = main_->windowState();
    if (s & Qt::WindowMinimized) return WindowState::Minimised;
    if (s & Qt::WindowMaximized) return WindowState::Maximised;
    return WindowState::Normal;
}

void QtWindow::setWindowState(WindowState state) {
    switch (state) {
        case WindowState::Normal: main_->setWindowState(Qt::WindowNoState); break;
        case WindowState::Minimised: main_->setWindowState(Qt::WindowMinimized); break;
        case WindowState::Maximised: main_->setWindowState(Qt::WindowMaximized); break;
    }
}

void QtWindow::setAlwaysOnTop(bool on) {
    Qt::WindowFlags flags = main_->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    // Changed on the native window in place: setting the widget's flags would hide it.
    main_->overrideWindowFlags(flags);
    if (QWindow* h = main_->windowHandle()) h->setFlags(flags);
    if (on) {
        main_->raise();
        main_->activateWindow();
    }
}

bool QtWindow::alwaysOnTop() const { return main_->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

void QtWindow::setWindowAlpha(int alpha) { main_->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0); }

Colour QtWindow::windowBackground() const { return windowBackground_; }

void QtWindow::setWindowBackground(Colour colour) {
    windowBackground_ = colour;
    applyThemePalette();
}

void QtWindow::applyThemePalette() {
    // The window's colours for everything without a look of its own: the
    // body's scroll bar, the menu and the dialogs, so a dark theme has no
    // light stripes. Shades between background and text keep the edges visible.
    const QColor bg = qcolour(windowBackground_);
    const QColor fg = qcolour(slots_[index(Unit::标题栏)].textColour);
    QPalette p = main_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        const QColor text = off ? mix(bg, fg, 0.45) : fg;
        p.setColor(group, QPalette::Window, bg);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, mix(bg, fg, 0.06));
        p.setColor(group, QPalette::AlternateBase, mix(bg, fg, 0.1));
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, mix(bg, fg, 0.14));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Light, mix(bg, fg, 0.3));
        p.setColor(group, QPalette::Midlight, mix(bg, fg, 0.22));
        p.setColor(group, QPalette::Mid, mix(bg, fg, 0.25));
        p.setColor(group, QPalette::Dark, mix(bg, fg, 0.35));
        p.setColor(group, QPalette::Shadow, mix(bg, fg, 0.4));
        p.setColor(group, QPalette::PlaceholderText, mix(bg, fg, 0.5));
    }
    main_->setPalette(p);
    if (menu_) themed(menu_);
}

QPalette QtWindow::themePalette() const { return main_->palette(); }

void QtWindow::themed(QWidget* dialog) const { dialog->setPalette(themePalette()); }

void QtWindow::updateHalo() {
    // Over the top image the strip's texts get a soft halo of the opposite
    // brightness, so that they stay readable whatever the text colour.
    const bool overImage = unitWidget(Unit::背景) && !unitWidget(Unit::背景)->isHidden();
    for (Unit u : {Unit::标题栏, Unit::章节名称提示, Unit::最小化按钮1, Unit::关闭按钮}) {
        QWidget* w = unitWidget(u);
        if (!w) continue;
        if (!overImage) {
            w->setGraphicsEffect(nullptr);
            continue;
        }
        const QColor text = qcolour(slots_[index(u)].textColour);
        auto* halo = new QGraphicsDropShadowEffect;
        halo->setOffset(0, 0);
        halo->setBlurRadius(4);
        halo->setColor(text.lightness() < 128 ? QColor(255, 255, 255) : QColor(0, 0, 0));
        w->setGraphicsEffect(halo);  // the widget owns it and drops the previous one
    }
}

void QtWindow::startSystemMove() { chrome_->requestMove(); }

void QtWindow::startSystemResize(int side) {
    static const Qt::Edges edges[] = {{},
                                      Qt::LeftEdge,
                                      Qt::RightEdge,
                                      Qt::TopEdge,
                                      Qt::TopEdge | Qt::LeftEdge,
                                      Qt::TopEdge | Qt::RightEdge,
                                      Qt::BottomEdge,
                                      Qt::BottomEdge | Qt::LeftEdge,
                                      Qt::BottomEdge | Qt::RightEdge};
    if (side < 1 || side > 8) return;
    chrome_->requestResize(edges[side]);
}

void QtWindow::requestClose() { main_->close(); }

void QtWindow::popupMenu(Unit menu) {
    if (menu == Unit::开始) menu_->popup(QCursor::pos());
}

void QtWindow::showTrayIcon(const Text& tip) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    if (!tray_) {
        tray_ = new QSystemTrayIcon(trayImage(), this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            int type = 0;
            if (reason == QSystemTrayIcon::Trigger) type = 1;
            if (reason == QSystemTrayIcon::DoubleClick) type = 2;
            if (reason == QSystemTrayIcon::Context) type = 3;
            if (type) raise({.type = EventType::Tray, .index = type});
        });
    }
    tray_->setToolTip(toQt(tip));
    tray_->show();
}

void QtWindow::removeTrayIcon() {
    if (tray_) tray_->hide();
}

bool QtWindow::windowVisible() const { return main_->isVisible(); }

void QtWindow::setWindowVisible(bool on) { main_->setVisible(on); }

void QtWindow::setWindowPosition(int left, int top) { main_->move(left, top); }

Rect QtWindow::screenArea() const {
    QScreen* screen = main_->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect g = screen->availableGeometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

bool QtWindow::trayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

Text QtWindow::userName() const {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return utf8ToGbkLossy(pw->pw_name);
    if (const char* user = std::getenv("USER"); user && *user) return utf8ToGbkLossy(user);
    return {};
}

Answer QtWindow::messageBox(const Text& text, const Text& caption, Buttons buttons, Icon icon) {
    QMessageBox box(main_.get());
    themed(&box);
    box.setWindowTitle(toQt(caption));
    box.setText(toQt(text));
    switch (icon) {
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        case Icon::None: break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    switch (buttons) {
        case Buttons::OK: set = QMessageBox::Ok; break;
        case Buttons::OKCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
        case Buttons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
        case Buttons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    box.setStandardButtons(set);
    switch (box.exec()) {
        case QMessageBox::Ok: return Answer::OK;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return buttons == Buttons::OK ? Answer::OK : (buttons == Buttons::YesNo ? Answer::No : Answer::Cancel);
    }
}

void QtWindow::showProgress(const Text& text, double fraction) {
    if (!progress_) {
        // Not modal: a modal one would let input through while it repaints.
        progress_ = new QProgressDialog(main_.get());
        themed(progress_);
        progress_->setWindowTitle(QStringLiteral("Talery"));
        progress_->setCancelButton(nullptr);
        progress_->setRange(0, 1000);
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumWidth(360);
    }
    progress_->setLabelText(toQt(text));
    progress_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
    progress_->show();
    paintDuringWork();
}

void QtWindow::paintDuringWork() const {
    // Paint, but keep clicks and keys for after the work.
    if (progress_) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtWindow::endProgress() {
    if (!progress_) return;
    progress_->hide();
    progress_->deleteLater();
    progress_ = nullptr;
}

std::optional<Path> QtWindow::runFileDialog(const FileDialogRequest& request, bool save) {
    const UnitSpec& design = specOf(request.dialog);
    QFileDialog dialog(main_.get());
    themed(&dialog);
    dialog.setObjectName(utf8ToQt(design.name));
    // Qt's own dialog on every desktop: the same behaviour everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(design));
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(request.initialFolder)));
    // "(*.txt)" at the end of a whole filter gives "txt".
    auto suffixOf = [](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
        const auto match = pattern.match(filter);
        return match.hasMatch() ? match.captured(1) : QString();
    };
    if (!design.extra.empty()) dialog.setDefaultSuffix(utf8ToQt(design.extra));
    // A design suffix that none of the types offers (a recording offered as
    // "mp3" while it is written as WAV) gives way to the first type's own.
    if (!dialog.nameFilters().isEmpty() && !dialog.defaultSuffix().isEmpty()) {
        bool offered = false;
        for (const QString& filter : dialog.nameFilters()) offered = offered || suffixOf(filter) == dialog.defaultSuffix();
        if (!offered && !suffixOf(dialog.nameFilters().first()).isEmpty())
            dialog.setDefaultSuffix(suffixOf(dialog.nameFilters().first()));
    }
    // Save safety: a bare name takes the suffix of the type the user chose, so
    // choosing the encrypted type really saves encrypted.
    if (save)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffixOf](const QString& shown) {
            // The type list shows descriptions only; find the whole filter.
            for (const QString& filter : dialog.nameFilters()) {
                if (filter != shown && !filter.startsWith(shown + QStringLiteral(" ("))) continue;
                if (const QString suffix = suffixOf(filter); !suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
                return;
            }
        });
    if (!request.initialName.empty()) {
        // A title may hold "/"; it must not turn the offered name into a path.
        QString name = utf8ToQt(request.initialName);
        name.replace(QLatin1Char('/'), QStringLiteral("／"));
        dialog.selectFile(name);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

std::optional<Path> QtWindow::openFileDialog(const FileDialogRequest& request) { return runFileDialog(request, false); }
std::optional<Path> QtWindow::saveFileDialog(const FileDialogRequest& request) { return runFileDialog(request, true); }

std::optional<Text> QtWindow::askPassword(const PasswordDialogLook& look) {
    QDialog dialog(main_.get());
    dialog.setObjectName(QStringLiteral("密码对话框"));
    dialog.setWindowTitle(utf8ToQt(kPasswordDialogCaption));
    dialog.setFixedSize(kPasswordDialogSize.width, kPasswordDialogSize.height);
    dialog.setAutoFillBackground(true);
    setPaletteColour(&dialog, QPalette::Window, look.background);
    QLineEdit* edit = nullptr;
    for (const DialogUnitSpec& unit : passwordDialogUnits()) {
        QWidget* w = nullptr;
        if (unit.kind == UnitKind::EditBox) {
            auto* e = new LineEdit(&dialog);
            connect(e, &QLineEdit::returnPressed, &dialog, &QDialog::accept);
            edit = e;
            w = e;
        } else if (unit.kind == UnitKind::Button) {
            auto* b = new QPushButton(utf8ToQt(unit.text), &dialog);
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, &dialog, &QDialog::accept);
            w = b;
        } else {
            auto* l = new QLabel(utf8ToQt(unit.text).split(QStringLiteral("\r\n")).join(QLatin1Char('\n')), &dialog);
            setPaletteColour(l, QPalette::WindowText, look.labelText);
            w = l;
        }
        w->setObjectName(utf8ToQt(unit.name));
        w->setGeometry(unit.rect.left, unit.rect.top, unit.rect.width, unit.rect.height);
    }
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return fromQt(edit->text());
}

Text QtWindow::clipboardText() const { return fromQt(QApplication::clipboard()->text()); }
void QtWindow::setClipboardText(const Text& text) { QApplication::clipboard()->setText(toQt(text)); }
void QtWindow::openUrl(const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); }

}  // namespace talery
