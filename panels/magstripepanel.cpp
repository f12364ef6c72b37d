// Tab "磁条卡": magnetic stripe card.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_16_clicked()
{
}

void MainWindow::on_pushButton_17_clicked()
{
}
