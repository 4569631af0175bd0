// Talery: a writing tool for Chinese novels, notes and diaries.

#include "app/application.h"
#include "app/paths.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talery"));

    talery::QtWindow window;
    talery::SystemClock clock;
    talery::Application app(window, clock,
                            talery::SettingsStore(talery::programDirectory(), talery::currentDirectory()));
    app.start();
    window.widget()->show();
    return QApplication::exec();
}
