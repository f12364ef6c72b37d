// Tab "二代证": identity documents, the GA467 reading and the card serial number.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

namespace {
constexpr std::size_t recordSize = 10240;
constexpr std::size_t serialSize = 16;
constexpr std::size_t serialTextSize = 2 * serialSize + 1;

// Identity photos are about a hundred pixels on each side. The photo comes
// from the card, so an image header declaring more than this is refused
// before anything is decoded or allocated for it.
constexpr int largestPhotoSide = 2048;

// The photo field: Base64 of an image file in whatever format its header
// names. A null image when it is empty, does not decode or is too large.
QImage identityPhoto(const QString &field)
{
    QByteArray file = QByteArray::fromBase64(field.toLatin1());
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > largestPhotoSide || size.height() > largestPhotoSide)
        return QImage();
    return reader.read();
}
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

    // A record shorter than its 15 fields empties the widgets of the missing
    // ones, so one document's data is never shown beside another's.
    const QStringList fields = cardTextRecord(record.text());
    ui->lineEdit_name->setText(recordField(fields, 1));
    ui->lineEdit_gender->setText(recordField(fields, 3));
    ui->lineEdit_nation->setText(recordField(fields, 5));
    ui->lineEdit_birthday->setText(recordField(fields, 7));
    ui->textEdit_address->setPlainText(recordField(fields, 8));
    ui->lineEdit_idnumber->setText(recordField(fields, 9));
    ui->lineEdit_signorg->setText(recordField(fields, 10));
    ui->lineEdit_valid->setText(fields.size() > 11 ? recordField(fields, 11) + QStringLiteral(" - ")
                                                         + recordField(fields, 12)
                                                   : QString());

    const QString typeFlag = recordField(fields, 0);
    QString other = QStringLiteral("证件类型标识：") + typeFlag;
    const QChar kind = typeFlag.isEmpty() ? QChar() : typeFlag.at(0);
    if (kind == QLatin1Char('I')) {
        other += QStringLiteral("  英文姓名：") + recordField(fields, 2)
                 + QStringLiteral("  证件版本号：") + recordField(fields, 13);
    } else if (kind == QLatin1Char('J')) {
        other += QStringLiteral("  通行证号码：") + recordField(fields, 6)
                 + QStringLiteral("  签发次数：") + recordField(fields, 13);
    }
    ui->lineEdit_other->setText(other);

    ui->label_photo->setPixmap(QPixmap::fromImage(identityPhoto(recordField(fields, 14))));
}
