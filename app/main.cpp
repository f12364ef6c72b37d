#include "loader.h"
#include "startup.h"
#include "mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The form has fixed positions and sizes: follow the desktop's scale
    // factor as Qt 6 does by default rather than show it at half size on a
    // 200 % screen. Without Xft.dpi, Qt 5 on X11 takes the monitor's physical
    // DPI (Qt 6 takes 96), so factors below 1.75 stay 1.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
#endif
    QApplication app(argc, argv);

    // A bare file name: the dynamic loader's search path decides where the
    // device library comes from, never the program's own directory.
    char path[1024] = {};
    std::snprintf(path, sizeof path, "%s%s", "", "libCommonInterface.so");
    if (!LoadCommonInterface(path)) {
        showLibraryLoadError();
        return -1;
    }

    MainWindow window;
    window.show();
    return app.exec();
}
