// Tab "二代证": identity documents, the GA467 reading and the card serial number.
#include "calls.h"
#include "mainwindow.h"
#include "records.h"
#include "ui_mainwindow.h"

#include <QPixmap>

void MainWindow::on_pushButton_clicked()
{
    readIdentityDocument(false);
}

void MainWindow::on_pushButton_2_clicked()
{
    readIdentityDocument(true);
}

void MainWindow::on_pushButton_3_clicked()
{
    ui->label_Tip->setText(calls::run("identity-serial").status);
}

void MainWindow::readIdentityDocument(bool ga467)
{
    const calls::Result reading = calls::run(ga467 ? "identity-ga467" : "identity");
    ui->label_Tip->setText(reading.status);
    if (!reading.succeeded())
        return;
    const IdentityDisplay display = identityDisplay(reading.record);
    ui->lineEdit_name->setText(display.name);
    ui->lineEdit_gender->setText(display.gender);
    ui->lineEdit_nation->setText(display.nation);
    ui->lineEdit_birthday->setText(display.birthday);
    ui->textEdit_address->setPlainText(display.address);
    ui->lineEdit_idnumber->setText(display.idNumber);
    ui->lineEdit_signorg->setText(display.signOrg);
    ui->lineEdit_valid->setText(display.validity);
    ui->lineEdit_other->setText(display.other);
    ui->label_photo->setPixmap(QPixmap::fromImage(identityPhoto(display.photo)));
}
