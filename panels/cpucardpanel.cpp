// Tab "CPU卡": CPU cards by raw APDU.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t slotSize = 16;
constexpr std::size_t atrSize = 128;
constexpr std::size_t atrTextSize = 256;
constexpr std::size_t commandSize = 1024;
constexpr std::size_t responseSize = 1024;
constexpr std::size_t responseTextSize = 2048;

// A command text longer than this would not fit the command buffer. It is
// refused rather than cut: a shortened command is a different command.
constexpr int longestCommandText = 2 * static_cast<int>(commandSize);

// The first two characters of the slot text as one hexadecimal byte; the
// description after them ("01 <==> 大卡1") takes no part. A shorter text is
// padded with '0' for the conversion, so "7" gives 0x70 and "" gives 0x00.
unsigned char slotNumber(const QComboBox *slotBox)
{
    ByteBuffer<slotSize> slot;
    hexToBytes(slotBox->currentText(), 1, slot);
    return slot.bytes[0];
}
} // namespace

void MainWindow::on_pushButton_18_clicked()
{
    const Operation powerOn(ui->label_Tip, "CPU卡上电失败，错误代码：");
    if (!powerOn.entriesBound({EntryPoint::CpuPowerOn, EntryPoint::AscToHex, EntryPoint::HexToAsc}))
        return;
    const unsigned char slot = slotNumber(ui->comboBox_Slot);
    ByteBuffer<atrSize> atr;
    int64_t atrLength = 0;
    if (powerOn.failed(pCpuPowerOn(slot, atr.data(), &atrLength)))
        return;
    powerOn.report(QStringLiteral("CPU卡上电成功"));
    ui->lineEdit_ATRS->setText(bytesToHex<atrTextSize>(atr, atrLength));
}

void MainWindow::on_pushButton_19_clicked()
{
    const Operation apdu(ui->label_Tip, "CPU卡发送APDU失败，错误代码：");
    if (!apdu.entriesBound({EntryPoint::CpuApdu, EntryPoint::AscToHex, EntryPoint::HexToAsc}))
        return;
    const QString commandText = ui->comboBox_SendApdu->currentText();
    const int textLength = commandText.size();
    // Only the number of characters is checked; what they are is the
    // conversion's business.
    if (textLength % 2 != 0) {
        apdu.report(QStringLiteral("发送APDU的数据应为偶数个HEX字符"));
        return;
    }
    if (textLength > longestCommandText) {
        apdu.report(QStringLiteral("发送APDU的数据过长，最多2048个HEX字符（1024个字节）"));
        return;
    }
    const int64_t commandLength = textLength / 2;
    ByteBuffer<commandSize> command;
    hexToBytes(commandText, commandLength, command);
    const unsigned char slot = slotNumber(ui->comboBox_Slot);
    ByteBuffer<responseSize> response;
    int64_t responseLength = 0;
    if (apdu.failed(
            pCpuApdu(slot, commandLength, command.data(), response.data(), &responseLength)))
        return;
    apdu.report(QStringLiteral("CPU卡发送APDU成功"));
    ui->textEdit_RecvApdu->setPlainText(bytesToHex<responseTextSize>(response, responseLength));
}

void MainWindow::on_pushButton_20_clicked()
{
    const Operation powerOff(ui->label_Tip, "CPU卡下电失败，错误代码：");
    if (!powerOff.entriesBound({EntryPoint::CpuPowerOff, EntryPoint::AscToHex}))
        return;
    if (powerOff.failed(pCpuPowerOff(slotNumber(ui->comboBox_Slot))))
        return;
    powerOff.report(QStringLiteral("CPU卡下电成功"));
}
