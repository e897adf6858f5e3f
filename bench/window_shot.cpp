// window_shot: a screenshot of the running window, fed live with a recorded capture from a
// local port, for the documentation. Under an X server with a window manager the picture
// includes the frame; offscreen it is the window's own rendering.
#include "app/clock.h"
#include "app/qt/dialogs.h"
#include "app/qt/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 7) {
        std::fprintf(stderr, "usage: window_shot OUT.png CAPTURE LAT LON RANGE_NM MILLISECONDS\n");
        return 2;
    }
    QFile captureFile(args[2]);
    if (!captureFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "window_shot: cannot read %s\n", qPrintable(args[2]));
        return 2;
    }
    const QByteArray capture = captureFile.readAll();

    QTcpServer feed;
    feed.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&feed, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = feed.nextPendingConnection();
        s->write(capture);
    });

    QTemporaryDir dir;
    rizuzez::SystemClock clock;
    rizuzez::MessageBoxDialogs dialogs;
    rizuzez::TForm1::Setup setup;
    setup.dataDir = dir.filePath(QStringLiteral("rizuzez1"));
    setup.outlinesDir = dir.filePath(QStringLiteral("outlines"));
    setup.clock = &clock;
    setup.dialogs = &dialogs;
    rizuzez::TForm1 form(setup);
    dialogs.setParent(&form);
    form.TelnetPort = feed.serverPort();
    form.Saveevery6hours1->trigger();
    form.FormCreate();
    form.tbrange->setValue(args[5].toInt());
    form.Edit3->setText(args[3]);
    form.Edit4->setText(args[4]);
    form.move(40, 40);
    form.show();
    form.Button1->click();

    QTimer::singleShot(args[6].toInt(), [&] {
        QPixmap shot;
        QScreen* screen = form.screen();
        const QRect frame = form.frameGeometry();
        if (screen && QGuiApplication::platformName() == QLatin1String("xcb")) {
            shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        } else {
            shot = form.grab();
        }
        const bool ok = shot.save(args[1]);
        std::printf("%s %dx%d\n", ok ? "wrote" : "could not write", shot.width(), shot.height());
        QCoreApplication::exit(ok ? 0 : 1);
    });
    return QApplication::exec();
}
