// Tab "社保卡": social security card.
#include "calls.h"
#include "mainwindow.h"
#include "records.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_11_clicked()
{
    const calls::Result reading = calls::run("ssse");
    ui->label_Tip->setText(reading.status);
    if (!reading.succeeded())
        return;
    const std::array<QString, 13> display = socialSecurityDisplay(reading.record);
    QLineEdit *const shown[] = {
        ui->lineEdit_SsseIdentityNumber,
        ui->lineEdit_SsseCategory,
        ui->lineEdit_SsseStandardVersion,
        ui->lineEdit_SsseInitOrg,
        ui->lineEdit_SsseBegin,
        ui->lineEdit_SsseValid,
        ui->lineEdit_SsseCardNumber,
        ui->lineEdit_SsseIdNumber,
        ui->lineEdit_SsseName,
        ui->lineEdit_SsseGender,
        ui->lineEdit_SsseNation,
        ui->lineEdit_SsseBirthPlace,
        ui->lineEdit_SsseBirthDate,
    };
    for (std::size_t i = 0; i < display.size(); ++i)
        shown[i]->setText(display[i]);
}
