// Tab "二维码": QR codes.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_21_clicked()
{
}
