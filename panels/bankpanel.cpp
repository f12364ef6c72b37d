// Tab "银行卡": bank chip card data, ARQC, issuer script and logs.
//
// The library does all the card work; these slots pass the typed texts
// through unchanged (no trimming, no case change) and show what comes back.
// The reference combo box only helps the operator type tag letters: nothing
// here reads it.
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

namespace {
constexpr std::size_t iccTextSize = 4096;
// The library's card selector and its reserved text and flags; the program
// always passes exactly these values.
constexpr int iccKind = 2;
constexpr const char *iccReserved = "";
constexpr int iccFlags = 0;

// Both logs are read alike (the two entry points share one signature) and shown
// under the same prefix; only the status line tells them apart.
void readIccLog(QLabel *status, QTextEdit *info, EntryPoint entry, IccGetTrDetailFunction *call,
                const char *failureText, const QString &successText)
{
    const Operation log(status, failureText);
    if (!log.entriesBound({entry}))
        return;
    TextBuffer<iccTextSize> text;
    if (log.failed(call(iccKind, iccReserved, text.data(), iccFlags)))
        return;
    log.report(successText);
    info->setPlainText(QStringLiteral("TxDetail：") + text.utf8());
}
} // namespace

void MainWindow::on_pushButton_6_clicked()
{
    const Operation cardInfo(ui->label_Tip, "读取银行卡信息失败，错误代码：");
    if (!cardInfo.entriesBound({EntryPoint::IccGetCardInfo}))
        return;
    TextBuffer<iccTextSize> cardData;
    const QByteArray tags = ui->lineEdit_TagList->text().toUtf8();
    if (cardInfo.failed(pIccGetCardInfo(iccKind, iccReserved, tags.constData(), cardData.data())))
        return;
    cardInfo.report(QStringLiteral("读取银行卡信息成功"));
    ui->textEdit_IccInfo->setPlainText(cardData.utf8());
}

void MainWindow::on_pushButton_7_clicked()
{
    const Operation arqc(ui->label_Tip, "获取ARQC失败，错误代码：");
    if (!arqc.entriesBound({EntryPoint::IccGetARQC}))
        return;
    TextBuffer<iccTextSize> cryptogram;
    TextBuffer<iccTextSize> trAppData;
    const QByteArray txData = ui->lineEdit_ARQCData->text().toUtf8();
    if (arqc.failed(pIccGetARQC(iccKind, txData.constData(), iccReserved, cryptogram.data(),
                                trAppData.data())))
        return;
    arqc.report(QStringLiteral("获取ARQC成功"));
    const QString appData = trAppData.utf8();
    ui->textEdit_IccInfo->setPlainText(QStringLiteral("ARQC：") + cryptogram.utf8()
                                       + QStringLiteral("\r\ntrAppData：") + appData);
    // Kept in the tab for the issuer-script step.
    ui->lineEdit_TrAppData->setText(appData);
}

void MainWindow::on_pushButton_8_clicked()
{
    const Operation script(ui->label_Tip, "执行脚本失败，错误代码：");
    if (!script.entriesBound({EntryPoint::IccARPCExeScript}))
        return;
    TextBuffer<iccTextSize> scriptResult;
    TextBuffer<iccTextSize> tc;
    const QByteArray trAppData = ui->lineEdit_TrAppData->text().toUtf8();
    const QByteArray arpc = ui->lineEdit_ARPC->text().toUtf8();
    const QByteArray txData = ui->lineEdit_ARQCData->text().toUtf8();
    if (script.failed(pIccARPCExeScript(iccKind, txData.constData(), arpc.constData(),
                                        trAppData.constData(), scriptResult.data(), tc.data())))
        return;
    script.report(QStringLiteral("执行脚本成功"));
    ui->textEdit_IccInfo->setPlainText(QStringLiteral("ScriptResult：") + scriptResult.utf8()
                                       + QStringLiteral("\r\nTC：") + tc.utf8());
}

void MainWindow::on_pushButton_9_clicked()
{
    readIccLog(ui->label_Tip, ui->textEdit_IccInfo, EntryPoint::IccGetTrDetail, pIccGetTrDetail,
               "读交易明细失败，错误代码：", QStringLiteral("读交易明细成功"));
}

void MainWindow::on_pushButton_10_clicked()
{
    readIccLog(ui->label_Tip, ui->textEdit_IccInfo, EntryPoint::IccGetLoadDetail, pIccGetLoadDetail,
               "读圈存记录失败，错误代码：", QStringLiteral("读圈存记录成功"));
}
