// The Qt window as a whole: its frame, size and state, the theme's colours,
// the tray icon, and what it asks of the desktop.
#include "ui/qt/qt_window.h"

#include "ui/qt/qt_chrome.h"
#include "ui/qt/qt_conversions.h"
#include "ui/qt/qt_widgets.h"

#include <algorithm>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGraphicsDropShadowEffect>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace talery {
namespace {

QColor mix(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QIcon trayImage() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/images/tray.png"));
    icon.addFile(QStringLiteral(":/images/tray@2x.png"));
    return icon;
}

}  // namespace

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

bool QtWindow::fullScreen() const { return fullScreen_; }

void QtWindow::setFullScreen(bool on) {
    // Kept here: without a window manager the platform reports no state at all.
    if (on == fullScreen_) return;
    fullScreen_ = on;
    // Entering or leaving the locked room: the typing before it is a step of its own.
    if (auto* body = qobject_cast<TextEdit*>(unitWidget(Unit::编辑框1))) body->endUndoStep();
    if (on) {
        beforeFullScreen_ = main_->geometry();
        wasMaximised_ = main_->isMaximized();
        main_->setWindowState(Qt::WindowFullScreen);
        // A bare X server has no window manager to grow the window.
        if (const QScreen* screen = main_->screen()) main_->setGeometry(screen->geometry());
    } else {
        main_->setWindowState(wasMaximised_ ? Qt::WindowMaximized : Qt::WindowNoState);
        if (!wasMaximised_ && beforeFullScreen_.isValid()) main_->setGeometry(beforeFullScreen_);
    }
    main_->raise();
    main_->activateWindow();
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
    // The strip's text colour may be chosen for a top image; here it must read on the background.
    const QColor fg = qcolour(readableOn(windowBackground_, slots_[index(Unit::标题栏)].textColour));
    // Disabled entries are paler, but still readable.
    qreal paler = 0.45;
    while (paler < 1 && contrastRatio(windowBackground_, colourFromQt(mix(bg, fg, paler))) < kReadableContrast) paler += 0.05;
    QPalette p = main_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        const QColor text = off ? mix(bg, fg, std::min<qreal>(paler, 1)) : fg;
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
    // Drop-down lists are windows of their own, which take no palette from their parent.
    // The combo box resets its list window's palette on its own changes: the list itself keeps this one.
    for (QComboBox* combo : main_->findChildren<QComboBox*>()) {
        themed(combo->view()->window());
        themed(combo->view());
    }
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
    if (menu != Unit::开始) return;
    // Opened from the keyboard (the glyph has the focus): under the glyph, its first entry chosen.
    if (QWidget* glyph = unitWidget(Unit::录音按钮1); glyph && glyph->hasFocus()) {
        menu_->popup(glyph->mapToGlobal(QPoint(0, glyph->height())));
        // Once shown (showing clears the menu's choice): the first entry that can be chosen.
        QTimer::singleShot(0, menu_, [menu = menu_] {
            for (QAction* entry : menu->actions())
                if (menu->isVisible() && entry->isEnabled() && entry->isVisible() && !entry->isSeparator()) {
                    menu->setActiveAction(entry);
                    return;
                }
        });
        return;
    }
    menu_->popup(QCursor::pos());
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

std::vector<Rect> QtWindow::screenAreas() const {
    std::vector<Rect> areas;
    QList<QScreen*> screens = QGuiApplication::screens();
    // The primary screen first: a window whose monitor is gone opens there.
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screens.removeAll(primary);
        screens.prepend(primary);
    }
    for (const QScreen* screen : screens) {
        const QRect g = screen->availableGeometry();
        if (!g.isEmpty()) areas.push_back({g.x(), g.y(), g.width(), g.height()});
    }
    return areas;
}

bool QtWindow::trayAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

Text QtWindow::userName() const {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return utf8ToGbkLossy(pw->pw_name);
    if (const char* user = std::getenv("USER"); user && *user) return utf8ToGbkLossy(user);
    return {};
}

Text QtWindow::clipboardText() const { return fromQt(QApplication::clipboard()->text()); }
void QtWindow::setClipboardText(const Text& text) { QApplication::clipboard()->setText(toQt(text)); }
bool QtWindow::openUrl(const std::string& url) { return QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); }

void QtWindow::watchFile(const Path& path) {
    delete watcher_;
    watcher_ = nullptr;
    watched_ = path;
    if (path.empty()) return;
    watcher_ = new QFileSystemWatcher(this);
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    const auto changed = [this, file] {
        // A file replaced by a rename is no longer watched: watch the new one.
        if (watcher_ && !watcher_->files().contains(file) && QFileInfo::exists(file)) watcher_->addPath(file);
        raise({.type = EventType::FileChanged, .path = watched_});
    };
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
    if (QFileInfo::exists(file)) watcher_->addPath(file);
    watcher_->addPath(QFileInfo(file).absolutePath());
}

}  // namespace talery
