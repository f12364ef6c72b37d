// Tab "二代证": identity documents, the GA467 reading and the card serial number.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_clicked()
{
}

void MainWindow::on_pushButton_2_clicked()
{
}

void MainWindow::on_pushButton_3_clicked()
{
}

void MainWindow::readIdentityDocument(bool)
{
}
