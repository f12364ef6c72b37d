// Helpers for the suites that drive the real window with our device library
// on virtual cards behind a real pcscd (add_pcsc_test ... WINDOW).
#pragma once

#include "mainwindow.h"
#include "windowtest.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

namespace pcscwindow {

// Opens a PC/SC reader through the real dialog: port type "PCSC".
inline void open(MainWindow &window, const QString &portPara, const QString &extendPara = {})
{
    windowtest::onNextModal([portPara, extendPara](QWidget *dialog) {
        windowtest::child<QLineEdit>(dialog, "lineEdit_PortType")->setText(QStringLiteral("PCSC"));
        windowtest::child<QLineEdit>(dialog, "lineEdit_PortPara")->setText(portPara);
        windowtest::child<QLineEdit>(dialog, "lineEdit_ExtendPara")->setText(extendPara);
        windowtest::child<QPushButton>(dialog, "pushButton")->click();
    });
    windowtest::click(&window, "action");
}

// Runs tests/pcsc/fixture.sh with an action on this run's state; its exit
// status (77: the running pcscd is not the fixture's own).
inline int fixture(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(
        QString::fromLocal8Bit(qgetenv("PCSC_FIXTURE")),
        QStringList{arguments.first(), QString::fromLocal8Bit(qgetenv("PCSC_FIXTURE_STATE"))}
            + arguments.mid(1));
    process.waitForFinished(20000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace pcscwindow
