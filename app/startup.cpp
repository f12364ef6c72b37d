#include "startup.h"

#include <QMessageBox>

void showLibraryLoadError()
{
    QMessageBox::critical(nullptr, QStringLiteral("错误提示"),
                          QStringLiteral("libCommonInterface.so加载失败"), QMessageBox::Ok,
                          QMessageBox::NoButton);
}
