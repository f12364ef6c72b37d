// Tab "M1卡": find an M1 contactless card, authenticate one of its sectors,
// read and write one block.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_12_clicked()
{
    const calls::Result found = calls::run("m1-find");
    ui->label_Tip->setText(found.status);
    if (found.succeeded())
        ui->lineEdit_UID->setText(found.value(QStringLiteral("uid")));
}

void MainWindow::on_pushButton_13_clicked()
{
    // The UID field is empty until the first card is found.
    ui->label_Tip->setText(
        calls::run("m1-auth", {{QStringLiteral("key_type"), ui->comboBox_KeyType->currentText()},
                               {QStringLiteral("sector"), ui->lineEdit_SecAddr->text()},
                               {QStringLiteral("key"), ui->lineEdit_Key->text()},
                               {QStringLiteral("uid"), ui->lineEdit_UID->text()}})
            .status);
}

void MainWindow::on_pushButton_14_clicked()
{
    const calls::Result read =
        calls::run("m1-read", {{QStringLiteral("block"), ui->lineEdit_BlockAddr->text()}});
    ui->label_Tip->setText(read.status);
    if (read.succeeded())
        ui->lineEdit_BlockData->setText(read.value(QStringLiteral("data")));
}

void MainWindow::on_pushButton_15_clicked()
{
    ui->label_Tip->setText(
        calls::run("m1-write", {{QStringLiteral("block"), ui->lineEdit_BlockAddr->text()},
                                {QStringLiteral("data"), ui->lineEdit_WBlockData->text()}})
            .status);
}
