// Tab "磁条卡": read and write the three tracks of a magnetic stripe card.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t trackSize = 512;
} // namespace

void MainWindow::on_pushButton_16_clicked()
{
    const Operation read(ui->label_Tip, "读取磁条卡失败，错误代码：");
    if (!read.entriesBound({EntryPoint::MagRead}))
        return;
    TextBuffer<trackSize> track1;
    TextBuffer<trackSize> track2;
    TextBuffer<trackSize> track3;
    const unsigned char timeout = decimalByte(ui->lineEdit_MagTimeOut->text());
    // Not a bit mask: the decimal digits name the tracks (123 is all three).
    const unsigned char tracks = decimalByte(ui->comboBox_MagTracks->currentText());
    if (read.failed(pMagRead(tracks, track1.data(), track2.data(), track3.data(), timeout)))
        return;
    // Every field is overwritten: a track the reader did not fill shows empty.
    ui->lineEdit_MagTrack1->setText(track1.utf8());
    ui->lineEdit_MagTrack2->setText(track2.utf8());
    ui->lineEdit_MagTrack3->setText(track3.utf8());
    read.report(QStringLiteral("读取磁条卡成功"));
}

void MainWindow::on_pushButton_17_clicked()
{
    const Operation write(ui->label_Tip, "写入磁条卡失败，错误代码：");
    if (!write.entriesBound({EntryPoint::MagWrite}))
        return;
    const unsigned char timeout = decimalByte(ui->lineEdit_MagTimeOut->text());
    // An empty field is passed as an empty text (one zero byte), never as null.
    const QByteArray track3 = ui->lineEdit_MagTrack3->text().toUtf8();
    const QByteArray track2 = ui->lineEdit_MagTrack2->text().toUtf8();
    const QByteArray track1 = ui->lineEdit_MagTrack1->text().toUtf8();
    const unsigned char tracks = decimalByte(ui->comboBox_MagTracks->currentText());
    if (write.failed(
            pMagWrite(tracks, track1.constData(), track2.constData(), track3.constData(), timeout)))
        return;
    write.report(QStringLiteral("写入磁条卡成功"));
}
