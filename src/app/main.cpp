// Talery: a writing tool for Chinese novels, notes and diaries.

#include "app/application.h"
#include "app/open_named_file.h"
#include "app/paths.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talery"));
    // The toolkit's own dialogs and buttons speak the program's language.
    QTranslator toolkit;
    if (toolkit.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkit);

    talery::QtWindow window;
    talery::SystemClock clock;
    talery::Application app(window, clock,
                            talery::SettingsStore(talery::programDirectory(), talery::currentDirectory()));
    app.start();
    window.widget()->show();
    // A file named on the command line opens as the open command would open it.
    if (argc > 1) talery::openNamedFile(app.session(), argv[1]);
    return QApplication::exec();
}
