// Tab "CPU卡": CPU cards by raw APDU.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_18_clicked()
{
}

void MainWindow::on_pushButton_19_clicked()
{
}

void MainWindow::on_pushButton_20_clicked()
{
}
