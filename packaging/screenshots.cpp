// Pictures of the window for the README and the AppStream metadata: the
// simulated reader opened through the real dialog on a real X display, then
// for each tab its main button pressed and the window saved as FOLDER/<tab>.png.
#include "mainwindow.h"
#include "windowtest.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QtTest>

#include <cstdio>

using namespace windowtest;

namespace {

struct Page
{
    const char *file;
    const char *button;
};

// In the order of the tabs.
const Page pages[] = {
    {"identity", "pushButton"},          {"bank", "pushButton_6"},
    {"socialsecurity", "pushButton_11"}, {"m1card", "pushButton_12"},
    {"magstripe", "pushButton_16"},      {"cpucard", "pushButton_18"},
    {"qrcode", "pushButton_21"},         {"diagnostics", "pushButton_22"},
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2 || QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "usage: screenshots FOLDER (on an X display, with the simulated "
                             "reader on LD_LIBRARY_PATH)\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    bindLoadedLibrary();

    MainWindow window;
    window.show();
    auto *tabs = child<QTabWidget>(&window, "tabWidget");
    confirmNextDialog();
    click(&window, "action");
    if (!QTest::qWaitForWindowExposed(&window)
        || !QTest::qWaitFor([tabs] { return tabs->isVisible(); })) {
        std::fprintf(stderr, "the reader did not open: %s\n", qPrintable(status(&window)));
        return 1;
    }

    for (int index = 0; index < int(std::size(pages)); ++index) {
        tabs->setCurrentIndex(index);
        child<QPushButton>(&window, pages[index].button)->click();
        // Lets the X server draw the new page before it is read back.
        QTest::qWait(300);
        const QString file = folder.filePath(QString::fromLatin1(pages[index].file) + ".png");
        if (!window.screen()->grabWindow(window.winId()).save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s: %s\n", qPrintable(file), qPrintable(status(&window)));
    }
    return 0;
}
