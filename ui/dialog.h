// The connection dialog: the operator picks a transport and edits its three
// connection strings. It opens nothing itself; the window's open action reads
// Result and the strings after exec() returns.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class Dialog;
}

class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    Ui::Dialog *ui;

    // Set only by "连接设备", exactly as typed.
    QString PortType;
    QString PortPara;
    QString ExtendPara;

    // -1 until "连接设备" is pressed, then 0. exec() reports a rejection in
    // both cases, so this is how a confirmation is told from a cancellation.
    int Result;

private slots:
    void on_radioButton_com_clicked();
    void on_radioButton_usb_clicked();
    void on_radioButton_bth_clicked();
    void on_radioButton_skt_clicked();
    void on_pushButton_clicked();

private:
    void applyTransport(const char *portType, const char *portPara, const char *portTypeHint,
                        const char *portParaHint, const char *extendParaHint);
};
