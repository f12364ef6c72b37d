// Tab "CPU卡": CPU cards by raw APDU.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_18_clicked()
{
    const calls::Result powerOn =
        calls::run("cpu-on", {{QStringLiteral("slot"), ui->comboBox_Slot->currentText()}});
    ui->label_Tip->setText(powerOn.status);
    if (powerOn.succeeded())
        ui->lineEdit_ATRS->setText(powerOn.value(QStringLiteral("atr")));
}

void MainWindow::on_pushButton_19_clicked()
{
    const calls::Result apdu =
        calls::run("cpu-apdu", {{QStringLiteral("slot"), ui->comboBox_Slot->currentText()},
                                {QStringLiteral("apdu"), ui->comboBox_SendApdu->currentText()}});
    ui->label_Tip->setText(apdu.status);
    if (apdu.succeeded())
        ui->textEdit_RecvApdu->setPlainText(apdu.value(QStringLiteral("response")));
}

void MainWindow::on_pushButton_20_clicked()
{
    ui->label_Tip->setText(
        calls::run("cpu-off", {{QStringLiteral("slot"), ui->comboBox_Slot->currentText()}}).status);
}
