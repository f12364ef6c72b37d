// Tab "内部测试": the reader itself (connection, model, versions, security
// module), through the plain and the GA467 route.
#include "calls.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_22_clicked()
{
    const calls::Result heartBeat = calls::run("heartbeat");
    ui->label_Tip->setText(heartBeat.status);
    // The one operation that explains a failure in its output area too.
    ui->textEdit_TestInfo->setPlainText(heartBeat.succeeded() ? QStringLiteral("设备连接状态正常")
                                                              : QStringLiteral("设备未连接或状态异常"));
}

void MainWindow::on_pushButton_23_clicked()
{
    const calls::Result model = calls::run("model");
    ui->label_Tip->setText(model.status);
    if (model.succeeded())
        ui->textEdit_TestInfo->setPlainText(model.value(QStringLiteral("model")));
}

void MainWindow::on_pushButton_24_clicked()
{
    const calls::Result version = calls::run("firmware");
    ui->label_Tip->setText(version.status);
    if (version.succeeded())
        ui->textEdit_TestInfo->setPlainText(
            QStringLiteral("固件版本：") + version.value(QStringLiteral("firmware"))
            + QStringLiteral("\r\n硬件版本：") + version.value(QStringLiteral("hardware")));
}

void MainWindow::on_pushButton_25_clicked()
{
    showSamId("sam-id");
}

void MainWindow::on_pushButton_27_clicked()
{
    showSamId("sam-id-ga467");
}

void MainWindow::on_pushButton_26_clicked()
{
    showSamStatus("sam-status");
}

void MainWindow::on_pushButton_28_clicked()
{
    showSamStatus("sam-status-ga467");
}

// The security module's identity and state through either route; the status
// texts do not say which route was taken.
void MainWindow::showSamId(const char *operation)
{
    const calls::Result samId = calls::run(operation);
    ui->label_Tip->setText(samId.status);
    if (samId.succeeded())
        ui->textEdit_TestInfo->setPlainText(samId.value(QStringLiteral("sam_id")));
}

void MainWindow::showSamStatus(const char *operation)
{
    const calls::Result samStatus = calls::run(operation);
    ui->label_Tip->setText(samStatus.status);
    if (samStatus.succeeded())
        ui->textEdit_TestInfo->setPlainText(QStringLiteral("SAM模块状态正常"));
}
