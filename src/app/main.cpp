// Talery: a writing tool for Chinese novels, notes and diaries.

#include "app/application.h"
#include "app/paths.h"
#include "audio/qt/qt_audio.h"
#include "ui/qt/qt_logging.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talery"));
    talery::installQtLogging();
    // The toolkit's own dialogs and buttons speak the program's language.
    QTranslator toolkit;
    if (toolkit.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkit);

    talery::QtWindow window;
    // The sound devices outlive the application that records and plays through them.
    talery::QtCaptureDevice captureDevice;
    talery::QtMediaBackend mediaBackend;
    talery::QtCuePlayer cuePlayer;
    talery::SystemClock clock;
    talery::Application app(window, clock, talery::SettingsStore(talery::programDirectory()));
    app.audio().attach(captureDevice, mediaBackend, cuePlayer);
    app.start();
    window.widget()->show();
    app.tellAboutEarlierFolder(talery::earlierProgramDirectory());
    // A file named on the command line opens as if it had been dropped on the window.
    if (argc > 1) app.openNamedFile(argv[1]);
    return QApplication::exec();
}
