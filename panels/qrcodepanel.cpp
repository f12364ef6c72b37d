// Tab "二维码": QR codes.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_21_clicked()
{
    const calls::Result read =
        calls::run("qr", {{QStringLiteral("timeout"), ui->lineEdit_QrTimeOut->text()}});
    ui->label_Tip->setText(read.status);
    // Whatever code is held to the scanner ends up here: markup in it is shown
    // as the characters it is, never rendered.
    if (read.succeeded())
        ui->textEdit_QrData->setPlainText(read.value(QStringLiteral("content")));
}
