// Tab "二维码": QR codes.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t contentSize = 512;
} // namespace

void MainWindow::on_pushButton_21_clicked()
{
    const Operation read(ui->label_Tip, "读取二维码失败，错误代码：");
    if (!read.entriesBound({EntryPoint::QrRead}))
        return;
    TextBuffer<contentSize> content;
    const unsigned char timeout = decimalByte(ui->lineEdit_QrTimeOut->text());
    if (read.failed(pQrRead(content.data(), timeout)))
        return;
    read.report(QStringLiteral("读取二维码成功"));
    // Whatever code is held to the scanner ends up here: markup in it is shown
    // as the characters it is, never rendered.
    ui->textEdit_QrData->setPlainText(content.utf8());
}
