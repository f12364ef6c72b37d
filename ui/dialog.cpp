#include "dialog.h"
#include "ui_dialog.h"

namespace {
// Defaults of the simulated reader: its USB vendor and product identifiers
// (four hexadecimal digits each) and its Bluetooth device name.
const char defaultUsbIds[] = "E4A50701";
const char defaultBluetoothName[] = "SR";
} // namespace

Dialog::Dialog(QWidget *parent) : QDialog(parent), ui(new Ui::Dialog)
{
    ui->setupUi(this);
    Result = -1;
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::applyTransport(const char *portType, const char *portPara, const char *portTypeHint,
                            const char *portParaHint, const char *extendParaHint)
{
    ui->lineEdit_PortType->setText(QString::fromUtf8(portType));
    ui->lineEdit_PortPara->setText(QString::fromUtf8(portPara));
    ui->lineEdit_ExtendPara->setText(QString());
    ui->label_PortType->setText(QString::fromUtf8(portTypeHint));
    ui->label_PortPara->setText(QString::fromUtf8(portParaHint));
    ui->label_ExtendPara->setText(QString::fromUtf8(extendParaHint));
}

void Dialog::on_radioButton_com_clicked()
{
    applyTransport("COM/dev/ttyS3", "115200", "（串口号）", "（波特率）", "（扩展盒）");
}

void Dialog::on_radioButton_usb_clicked()
{
    applyTransport("USB", defaultUsbIds, "（USB）", "（VID_PID）", "（传输方式）");
}

void Dialog::on_radioButton_bth_clicked()
{
    applyTransport("BTH", defaultBluetoothName, "（BTH）", "（蓝牙名称）", "（无）");
}

void Dialog::on_radioButton_skt_clicked()
{
    applyTransport("SKT", "127.0.0.1:8888", "（SKT）", "（IP:端口）", "（无）");
}

void Dialog::on_pushButton_clicked()
{
    PortType = ui->lineEdit_PortType->text();
    PortPara = ui->lineEdit_PortPara->text();
    ExtendPara = ui->lineEdit_ExtendPara->text();
    Result = 0;
    close();
}
