// Tab "二代证": identity documents, the GA467 reading and the card serial number.
#include "mainwindow.h"
#include "operation.h"
#include "records.h"
#include "ui_mainwindow.h"

#include <QPixmap>

namespace {
constexpr std::size_t recordSize = 10240;
constexpr std::size_t serialSize = 16;
constexpr std::size_t serialTextSize = 2 * serialSize + 1;
} // namespace

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
    const Operation serialNumber(ui->label_Tip, "读二代证卡体管理号SN失败，错误代码：");
    if (!serialNumber.entriesBound({EntryPoint::IdReadSn, EntryPoint::HexToAsc}))
        return;
    ByteBuffer<serialSize> serial;
    int64_t length = 0;
    if (serialNumber.failed(pIdReadSn(serial.data(), &length)))
        return;
    serialNumber.report(QStringLiteral("读二代证卡体管理号SN成功：")
                        + bytesToHex<serialTextSize>(serial, length));
}

void MainWindow::readIdentityDocument(bool ga467)
{
    const Operation reading(ui->label_Tip, "读取证件信息失败，错误代码：");
    const EntryPoint entry = ga467 ? EntryPoint::SdtReadCard : EntryPoint::IdReadCard;
    if (!reading.entriesBound({entry}))
        return;
    IdReadCardFunction *const readCard = ga467 ? pSdtReadCard : pIdReadCard;
    TextBuffer<recordSize> record;
    if (reading.failed(readCard(0, 1, record.data(), 0)))
        return;
    reading.report(QStringLiteral("读取证件信息成功"));

    const IdentityDisplay display = identityDisplay(cardTextRecord(record.text()));
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
