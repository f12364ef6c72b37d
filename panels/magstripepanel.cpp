// Tab "磁条卡": read and write the three tracks of a magnetic stripe card.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_16_clicked()
{
    const calls::Result read =
        calls::run("mag-read", {{QStringLiteral("timeout"), ui->lineEdit_MagTimeOut->text()},
                                {QStringLiteral("tracks"), ui->comboBox_MagTracks->currentText()}});
    ui->label_Tip->setText(read.status);
    if (!read.succeeded())
        return;
    // Every field is overwritten: a track the reader did not fill shows empty.
    ui->lineEdit_MagTrack1->setText(read.value(QStringLiteral("track1")));
    ui->lineEdit_MagTrack2->setText(read.value(QStringLiteral("track2")));
    ui->lineEdit_MagTrack3->setText(read.value(QStringLiteral("track3")));
}

void MainWindow::on_pushButton_17_clicked()
{
    ui->label_Tip->setText(
        calls::run("mag-write", {{QStringLiteral("timeout"), ui->lineEdit_MagTimeOut->text()},
                                 {QStringLiteral("tracks"), ui->comboBox_MagTracks->currentText()},
                                 {QStringLiteral("track1"), ui->lineEdit_MagTrack1->text()},
                                 {QStringLiteral("track2"), ui->lineEdit_MagTrack2->text()},
                                 {QStringLiteral("track3"), ui->lineEdit_MagTrack3->text()}})
            .status);
}
