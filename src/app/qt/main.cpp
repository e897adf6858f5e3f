// rizuzez: the station window. The data folder "rizuzez1" and the folder "outlines" sit
// beside the program, or in the user's application data folder when the program's folder
// takes no files.
#include "app/clock.h"
#include "app/qt/dialogs.h"
#include "app/qt/mainwindow.h"

#include <QApplication>
#include <QStandardPaths>

#include <clocale>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // QApplication adopts the user's locale for the C library too. The core formats numbers
    // with printf and parses them itself, taking the desktop's decimal separator from QLocale
    // as an explicit input: printf must keep "." whatever the desktop uses.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Rizuzez"));

    rizuzez::SystemClock clock;
    rizuzez::MessageBoxDialogs dialogs;
    rizuzez::TForm1::Setup setup;
    setup.exeDir = QCoreApplication::applicationDirPath();
    setup.userDataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    setup.clock = &clock;
    setup.dialogs = &dialogs;
    setup.locale = QLocale::system();

    rizuzez::TForm1 form(setup);
    dialogs.setParent(&form);
    form.FormCreate(); // its questions stand alone in front: the window is not shown yet
    form.show();
    form.bringToFront();
    return QApplication::exec();
}
