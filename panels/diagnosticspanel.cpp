// Tab "内部测试": the reader itself (connection, model, versions, security
// module), through the plain and the GA467 route.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t textSize = 256;
} // namespace

void MainWindow::on_pushButton_22_clicked()
{
    const Operation heartBeat(ui->label_Tip, "设备连接状态异常，错误代码：");
    const QString failureInfo = QStringLiteral("设备未连接或状态异常");
    // The one operation that explains a failure in its output area too.
    if (!heartBeat.entriesBound({EntryPoint::TerminalHeartBeat})
        || heartBeat.failed(pTerminalHeartBeat())) {
        ui->textEdit_TestInfo->setPlainText(failureInfo);
        return;
    }
    const QString connected = QStringLiteral("设备连接状态正常");
    heartBeat.report(connected);
    ui->textEdit_TestInfo->setPlainText(connected);
}

void MainWindow::on_pushButton_23_clicked()
{
    const Operation model(ui->label_Tip, "读取设备型号失败，错误代码：");
    if (!model.entriesBound({EntryPoint::TerminalGetModel}))
        return;
    TextBuffer<textSize> text;
    if (model.failed(pTerminalGetModel(text.data())))
        return;
    model.report(QStringLiteral("读取设备型号成功"));
    ui->textEdit_TestInfo->setPlainText(text.utf8());
}

void MainWindow::on_pushButton_24_clicked()
{
    const Operation version(ui->label_Tip, "读取固件版本号失败，错误代码：");
    if (!version.entriesBound({EntryPoint::TerminalGetFirmVersion}))
        return;
    TextBuffer<textSize> firmware;
    TextBuffer<textSize> hardware;
    if (version.failed(pTerminalGetFirmVersion(firmware.data(), hardware.data())))
        return;
    version.report(QStringLiteral("读取固件版本号成功"));
    ui->textEdit_TestInfo->setPlainText(QStringLiteral("固件版本：") + firmware.utf8()
                                        + QStringLiteral("\r\n硬件版本：") + hardware.utf8());
}

namespace {
// The security module's identity and state through either route; the status
// texts do not say which route was taken.
void readSamId(QLabel *status, QTextEdit *info, EntryPoint entry, SamGetIdStrFunction *call)
{
    const Operation samId(status, "读取SAM模块号失败，错误代码：");
    if (!samId.entriesBound({entry}))
        return;
    TextBuffer<textSize> text;
    if (samId.failed(call(text.data())))
        return;
    samId.report(QStringLiteral("读取SAM模块号成功"));
    info->setPlainText(text.utf8());
}

void readSamStatus(QLabel *status, QTextEdit *info, EntryPoint entry, SamGetStatusFunction *call)
{
    const Operation samStatus(status, "获取SAM模块状态失败，错误代码：");
    if (!samStatus.entriesBound({entry}) || samStatus.failed(call()))
        return;
    samStatus.report(QStringLiteral("获取SAM模块状态成功"));
    info->setPlainText(QStringLiteral("SAM模块状态正常"));
}
} // namespace

void MainWindow::on_pushButton_25_clicked()
{
    readSamId(ui->label_Tip, ui->textEdit_TestInfo, EntryPoint::SamGetIdStr, pSamGetIdStr);
}

void MainWindow::on_pushButton_27_clicked()
{
    readSamId(ui->label_Tip, ui->textEdit_TestInfo, EntryPoint::SdtSamGetIdStr, pSdtSamGetIdStr);
}

void MainWindow::on_pushButton_26_clicked()
{
    readSamStatus(ui->label_Tip, ui->textEdit_TestInfo, EntryPoint::SamGetStatus, pSamGetStatus);
}

void MainWindow::on_pushButton_28_clicked()
{
    readSamStatus(ui->label_Tip, ui->textEdit_TestInfo, EntryPoint::SdtSamGetStatus,
                  pSdtSamGetStatus);
}
