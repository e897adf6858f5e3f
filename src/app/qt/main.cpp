// rizuzez: the station window. The data folder "rizuzez1" and the folder "outlines" sit
// beside the program.
#include "app/clock.h"
#include "app/qt/dialogs.h"
#include "app/qt/mainwindow.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rizuzez"));
    const QDir programDir(QCoreApplication::applicationDirPath());

    rizuzez::SystemClock clock;
    rizuzez::MessageBoxDialogs dialogs;
    rizuzez::TForm1::Setup setup;
    setup.dataDir = programDir.filePath(QStringLiteral("rizuzez1"));
    setup.outlinesDir = programDir.filePath(QStringLiteral("outlines"));
    setup.clock = &clock;
    setup.dialogs = &dialogs;

    rizuzez::TForm1 form(setup);
    dialogs.setParent(&form);
    form.FormCreate();
    form.show();
    return QApplication::exec();
}
