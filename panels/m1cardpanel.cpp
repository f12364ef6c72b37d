// Tab "M1卡": find an M1 contactless card, authenticate one of its sectors,
// read and write one block.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr int keyTextLength = 12;
constexpr qint64 keyBytes = 6;
// Authentication takes the first four UID bytes, whatever the card's UID size.
constexpr qint64 authenticationUidBytes = 4;
constexpr int blockTextLength = 32;
constexpr qint64 blockBytes = 16;

// The key type is the character code of the first character typed or chosen:
// "A" gives 0x41, "b" gives 0x62, anything beyond Latin-1 or nothing gives 0.
unsigned char keyTypeByte(const QString &text)
{
    return text.isEmpty() ? 0 : static_cast<unsigned char>(text.at(0).toLatin1());
}
} // namespace

void MainWindow::on_pushButton_12_clicked()
{
    const Operation findCard(ui->label_Tip, "M1卡寻卡失败，错误代码：");
    if (!findCard.entriesBound({EntryPoint::M1FindCard, EntryPoint::HexToAsc}))
        return;
    ByteBuffer<16> uid;
    int64_t uidLength = 0;
    if (findCard.failed(pM1FindCard(uid.data(), &uidLength)))
        return;
    findCard.report(QStringLiteral("M1卡寻卡成功"));
    ui->lineEdit_UID->setText(bytesToHex<32>(uid, uidLength));
}

void MainWindow::on_pushButton_13_clicked()
{
    const Operation authentication(ui->label_Tip, "M1卡密钥认证失败，错误代码：");
    if (!authentication.entriesBound({EntryPoint::M1Authentication, EntryPoint::AscToHex}))
        return;
    const unsigned char keyType = keyTypeByte(ui->comboBox_KeyType->currentText());
    const unsigned char sector = decimalByte(ui->lineEdit_SecAddr->text());
    ByteBuffer<16> key;
    ByteBuffer<16> uid;
    const QString keyText = ui->lineEdit_Key->text();
    if (keyText.length() != keyTextLength) {
        authentication.report(QStringLiteral("M1卡密钥长度错误，应为12个HEX字符（6个字节）"));
        return;
    }
    hexToBytes(keyText, keyBytes, key);
    // Empty until the first card is found; a short UID text is padded, not overread.
    hexToBytes(ui->lineEdit_UID->text(), authenticationUidBytes, uid);
    if (authentication.failed(pM1Authentication(keyType, sector, key.data(), uid.data())))
        return;
    authentication.report(QStringLiteral("M1卡密钥认证成功"));
}

void MainWindow::on_pushButton_14_clicked()
{
    const Operation readBlock(ui->label_Tip, "M1卡读块数据失败，错误代码：");
    if (!readBlock.entriesBound({EntryPoint::M1ReadBlock, EntryPoint::HexToAsc}))
        return;
    const unsigned char block = decimalByte(ui->lineEdit_BlockAddr->text());
    ByteBuffer<32> data;
    int64_t dataLength = 0;
    if (readBlock.failed(pM1ReadBlock(block, data.data(), &dataLength)))
        return;
    readBlock.report(QStringLiteral("M1卡读块数据成功"));
    ui->lineEdit_BlockData->setText(bytesToHex<64>(data, dataLength));
}

void MainWindow::on_pushButton_15_clicked()
{
    const Operation writeBlock(ui->label_Tip, "M1卡写块数据失败，错误代码：");
    if (!writeBlock.entriesBound({EntryPoint::M1WriteBlock, EntryPoint::AscToHex}))
        return;
    const unsigned char block = decimalByte(ui->lineEdit_BlockAddr->text());
    ByteBuffer<32> data;
    const QString dataText = ui->lineEdit_WBlockData->text();
    if (dataText.length() != blockTextLength) {
        writeBlock.report(QStringLiteral("M1卡写块数据长度错误，应为32个HEX字符（16个字节）"));
        return;
    }
    hexToBytes(dataText, blockBytes, data);
    if (writeBlock.failed(pM1WriteBlock(block, blockBytes, data.data())))
        return;
    writeBlock.report(QStringLiteral("M1卡写块数据成功"));
}
