// The tool bar actions: open the reader, close it, clear the status line.
#include "calls.h"
#include "dialog.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::on_action_triggered()
{
    Dialog dialog(this);
    dialog.exec();
    if (dialog.Result == -1) {
        ui->label_Tip->setText(QStringLiteral("已取消端口选择"));
        return;
    }

    const calls::Result open =
        calls::run("open", {{QStringLiteral("port_type"), dialog.PortType},
                            {QStringLiteral("port_param"), dialog.PortPara},
                            {QStringLiteral("extended"), dialog.ExtendPara}});
    ui->label_Tip->setText(open.status);
    if (open.succeeded())
        ui->tabWidget->setVisible(true);
}

void MainWindow::on_action_2_triggered()
{
    const calls::Result close = calls::run("close");
    ui->label_Tip->setText(close.status);
    if (close.succeeded())
        ui->tabWidget->setVisible(false);
}

void MainWindow::on_action_3_triggered()
{
    ui->label_Tip->setText(QString());
}
