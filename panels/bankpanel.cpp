// Tab "银行卡": bank chip card data, ARQC, issuer script and logs.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_6_clicked()
{
}

void MainWindow::on_pushButton_7_clicked()
{
}

void MainWindow::on_pushButton_8_clicked()
{
}

void MainWindow::on_pushButton_9_clicked()
{
}

void MainWindow::on_pushButton_10_clicked()
{
}
