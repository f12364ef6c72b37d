// Tab "M1卡": M1 contactless card.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_12_clicked()
{
}

void MainWindow::on_pushButton_13_clicked()
{
}

void MainWindow::on_pushButton_14_clicked()
{
}

void MainWindow::on_pushButton_15_clicked()
{
}
