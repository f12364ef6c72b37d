// Tab "银行卡": bank chip card data, ARQC, issuer script and logs.
//
// The library does all the card work; these slots pass the typed texts
// through unchanged (no trimming, no case change) and show what comes back.
// The reference combo box only helps the operator type tag letters: nothing
// here reads it.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_6_clicked()
{
    const calls::Result cardInfo =
        calls::run("bank-info", {{QStringLiteral("letters"), ui->lineEdit_TagList->text()}});
    ui->label_Tip->setText(cardInfo.status);
    if (cardInfo.succeeded())
        ui->textEdit_IccInfo->setPlainText(cardInfo.value(QStringLiteral("card_info")));
}

void MainWindow::on_pushButton_7_clicked()
{
    const calls::Result arqc = calls::run(
        "bank-arqc", {{QStringLiteral("transaction_data"), ui->lineEdit_ARQCData->text()}});
    ui->label_Tip->setText(arqc.status);
    if (!arqc.succeeded())
        return;
    const QString appData = arqc.value(QStringLiteral("app_data"));
    ui->textEdit_IccInfo->setPlainText(QStringLiteral("ARQC：") + arqc.value(QStringLiteral("arqc"))
                                       + QStringLiteral("\r\ntrAppData：") + appData);
    // Kept in the tab for the issuer-script step.
    ui->lineEdit_TrAppData->setText(appData);
}

void MainWindow::on_pushButton_8_clicked()
{
    const calls::Result script =
        calls::run("bank-script", {{QStringLiteral("transaction_data"), ui->lineEdit_ARQCData->text()},
                                   {QStringLiteral("arpc"), ui->lineEdit_ARPC->text()},
                                   {QStringLiteral("app_data"), ui->lineEdit_TrAppData->text()}});
    ui->label_Tip->setText(script.status);
    if (script.succeeded())
        ui->textEdit_IccInfo->setPlainText(
            QStringLiteral("ScriptResult：") + script.value(QStringLiteral("script_result"))
            + QStringLiteral("\r\nTC：") + script.value(QStringLiteral("tc")));
}

// Both logs are shown under the same prefix; only the status line tells them
// apart.
void MainWindow::on_pushButton_9_clicked()
{
    showBankLog("bank-log");
}

void MainWindow::on_pushButton_10_clicked()
{
    showBankLog("bank-load-log");
}

void MainWindow::showBankLog(const char *operation)
{
    const calls::Result log = calls::run(operation);
    ui->label_Tip->setText(log.status);
    if (log.succeeded())
        ui->textEdit_IccInfo->setPlainText(QStringLiteral("TxDetail：")
                                           + log.value(QStringLiteral("log")));
}
