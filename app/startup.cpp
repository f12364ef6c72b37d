#include "startup.h"

#include <QApplication>
#include <QMessageBox>

void followDesktopScale()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Without Xft.dpi, Qt 5 on X11 takes the monitor's physical DPI where
    // Qt 6 takes 96, so factors below 1.75 stay 1 as they do under Qt 6.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
#endif
}

void showLibraryLoadError()
{
    QMessageBox::critical(nullptr, QStringLiteral("错误提示"),
                          QStringLiteral("libCommonInterface.so加载失败"), QMessageBox::Ok,
                          QMessageBox::NoButton);
}
