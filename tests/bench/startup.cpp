// The program's start-up, from main() to the first turn of the event loop,
// then quits. Prints the wall clock at that turn (CLOCK_REALTIME, ns) so the
// caller can subtract the moment it started the process, and the peak
// resident memory so far (KiB).
//
// The first argument says what is built besides the form: "floor" (nothing,
// the default), "program" (the program's window icon, as main() sets it) or
// "eager" (the same icon with every size decoded at once, as QIcon::addFile
// does), so that the icon's share of start-up can be measured.
#include "loader.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

int main(int argc, char *argv[])
{
    followDesktopScale();
    QApplication app(argc, argv);
    const QString mode = QApplication::arguments().value(1, QStringLiteral("floor"));
    if (mode == QLatin1String("program")) {
        app.setWindowIcon(programIcon({16, 24, 32, 48, 64, 128, 256}));
    } else if (mode == QLatin1String("eager")) {
        QIcon icon;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
        app.setWindowIcon(icon);
    }
    char library[] = "libCommonInterface.so";
    if (!LoadCommonInterface(library)) {
        std::fprintf(stderr, "libCommonInterface.so not on the search path\n");
        return 1;
    }
    MainWindow window;
    window.show();
    QTimer::singleShot(0, &app, [&app] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%lld %ld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                    usage.ru_maxrss);
        app.quit();
    });
    return app.exec();
}
