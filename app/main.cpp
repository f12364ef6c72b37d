#include "loader.h"
#include "startup.h"
#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    followDesktopScale();
    QApplication app(argc, argv);
    // The icon the desktop menu shows for the program, for every window and
    // box; its files are decoded only when a size is first shown.
    app.setWindowIcon(programIcon({16, 24, 32, 48, 64, 128, 256}));

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
