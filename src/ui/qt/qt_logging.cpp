#include "ui/qt/qt_logging.h"

#include "core/log.h"

#include <QLoggingCategory>
#include <QString>

namespace talery {
namespace {

// Quiet by default: only a rule turns the notes on.
Q_LOGGING_CATEGORY(sessionLog, "talery.session", QtCriticalMsg)
Q_LOGGING_CATEGORY(backupLog, "talery.backup", QtCriticalMsg)
Q_LOGGING_CATEGORY(audioLog, "talery.audio", QtCriticalMsg)
Q_LOGGING_CATEGORY(settingsLog, "talery.settings", QtCriticalMsg)

const QLoggingCategory& categoryOf(LogArea area) {
    switch (area) {
        case LogArea::Session: return sessionLog();
        case LogArea::Backup: return backupLog();
        case LogArea::Audio: return audioLog();
        case LogArea::Settings: return settingsLog();
    }
    return sessionLog();
}

void toQt(LogArea area, std::string_view utf8) {
    qCWarning(categoryOf(area)).noquote() << QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

void installQtLogging() { setLogSink(&toQt); }

}  // namespace talery
