// Tab "社保卡": social security card.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_11_clicked()
{
}
