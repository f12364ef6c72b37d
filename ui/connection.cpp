// The tool bar actions: open the reader, close it, clear the status line.
#include "dialog.h"
#include "mainwindow.h"
#include "operation.h"
#include "ui_mainwindow.h"

void MainWindow::on_action_triggered()
{
    Dialog dialog(this);
    dialog.exec();
    if (dialog.Result == -1) {
        ui->label_Tip->setText(QStringLiteral("已取消端口选择"));
        return;
    }

    const Operation open(ui->label_Tip, "打开设备失败，错误代码：");
    if (!open.entriesBound({EntryPoint::OpenDevice}))
        return;
    const QByteArray portType = dialog.PortType.toUtf8();
    const QByteArray portPara = dialog.PortPara.toUtf8();
    const QByteArray extendPara = dialog.ExtendPara.toUtf8();
    const qint64 handle =
        pOpenDevice(portType.constData(), portPara.constData(), extendPara.constData());
    if (handle <= 0) {
        open.report(open.failure(handle));
        return;
    }
    open.report(QStringLiteral("打开设备成功，设备句柄：") + codeText(handle));
    ui->tabWidget->setVisible(true);
}

void MainWindow::on_action_2_triggered()
{
    const Operation close(ui->label_Tip, "关闭设备失败，错误代码：");
    if (!close.entriesBound({EntryPoint::CloseDevice}) || close.failed(pCloseDevice()))
        return;
    close.report(QStringLiteral("关闭设备成功"));
    ui->tabWidget->setVisible(false);
}

void MainWindow::on_action_3_triggered()
{
    ui->label_Tip->setText(QString());
}
