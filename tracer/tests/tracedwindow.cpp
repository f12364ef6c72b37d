#include "tracedwindow.h"

#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextEdit>

#include <cstdio>

using namespace windowtest;

namespace tracedwindow {

// What every named widget of the window shows, in creation order.
QStringList widgetStates(const QWidget *window)
{
    QStringList states;
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QString shown;
        if (auto *edit = qobject_cast<const QLineEdit *>(w))
            shown = edit->text();
        else if (auto *textEdit = qobject_cast<const QTextEdit *>(w))
            shown = textEdit->toPlainText();
        else if (auto *combo = qobject_cast<const QComboBox *>(w))
            shown = combo->currentText();
        else if (auto *button = qobject_cast<const QAbstractButton *>(w))
            shown = button->text() + (button->isChecked() ? " checked" : "");
        else if (auto *tabs = qobject_cast<const QTabWidget *>(w))
            shown = QString::number(tabs->currentIndex());
        else if (auto *label = qobject_cast<const QLabel *>(w)) {
            const QImage image =
                label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
            const QByteArray pixels(reinterpret_cast<const char *>(image.constBits()),
                                    static_cast<int>(image.sizeInBytes()));
            shown = label->text() + " pixmap "
                    + QCryptographicHash::hash(pixels, QCryptographicHash::Sha1).toHex();
        }
        states << QStringLiteral("%1 %2 %3 %4")
                      .arg(QLatin1String(w->metaObject()->className()), w->objectName(),
                           w->isEnabled() ? "enabled" : "disabled", shown);
    }
    return states;
}

// Clicks control in a fresh window and returns the status and every widget.
QStringList clickInNewWindow(const char *control)
{
    MainWindow window;
    if (qstrcmp(control, "action") == 0)
        confirmNextDialog();
    click(&window, control);
    return widgetStates(&window);
}

// Every tab's operations on the simulated reader with the form's defaults,
// or a whole identity read as the README shows it. A step is a control,
// optionally typing into a field first: "control:field=text". The predefined
// GET CHALLENGE answers random bytes, so two SELECTs go to the CPU card.
QStringList runSteps(bool everyTab)
{
    const QString steps =
        everyTab
            ? "action pushButton_22 pushButton_23 pushButton_24 pushButton_25 pushButton_27 "
              "pushButton_26 pushButton_28 pushButton pushButton_2 pushButton pushButton_3 "
              "pushButton_6 pushButton_7 pushButton_8:lineEdit_ARPC=0123456789ABCDEF "
              "pushButton_9 pushButton_10 pushButton_11 pushButton_12 pushButton_13 "
              "pushButton_14 pushButton_15:lineEdit_WBlockData=000102030405060708090A0B0C0D0E0F "
              "pushButton_14 pushButton_16 pushButton_17 pushButton_18 "
              "pushButton_19:comboBox_SendApdu=00A40000023F00 "
              "pushButton_19:comboBox_SendApdu=00A4040008A000000333010101 "
              "pushButton_20 pushButton_21 action_2"
            : "action pushButton pushButton_3 action_2";
    MainWindow window;
    QStringList states;
    for (const QString &step : steps.split(' ')) {
        const QByteArray control = step.section(':', 0, 0).toLatin1();
        if (const QString typing = step.section(':', 1); !typing.isEmpty())
            setText(&window, typing.section('=', 0, 0).toLatin1(), typing.section('=', 1));
        if (control == "action")
            confirmNextDialog();
        click(&window, control);
        states << step << widgetStates(&window);
    }
    return states;
}

// The call lines of a trace without their timestamp and duration, e.g.
// "CloseDevice(); result 0".
QStringList tracedCalls(const QByteArray &trace)
{
    static const QRegularExpression call(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z (\\w+\\(.*); \\d+ us$"));
    QStringList calls;
    for (const QByteArray &line : trace.split('\n')) {
        const QRegularExpressionMatch match = call.match(QString::fromUtf8(line));
        if (match.hasMatch())
            calls << match.captured(1);
    }
    return calls;
}

QStringList entryNames(QStringList calls)
{
    for (QString &call : calls)
        call = call.section(QLatin1Char('('), 0, 0);
    return calls;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// This test program in one of its child modes, with extra environment.
Child runChild(const QStringList &arguments, const QStringList &environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"READER_SPY_LIBRARY", "READER_SPY_LOG", "READER_SPY_REDACT",
                             "READER_REPLAY_TRACE", "READER_REPLAY_MODE", "READER_REPLAY_TIMING"})
        env.remove(QString::fromLatin1(name));
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    process.waitForFinished(60000);
    return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
}

int runChildMode(const QStringList &arguments)
{
    if (arguments.size() < 3 || !arguments[1].startsWith(QLatin1String("--")))
        return -1;
    const QString mode = arguments[1];
    QByteArray library = arguments[2].toUtf8();
    if (!LoadCommonInterface(library.data()))
        return 2;
    if (mode == QLatin1String("--every-tab") || mode == QLatin1String("--identity-read")) {
        printf("%s",
               runSteps(mode == QLatin1String("--every-tab")).join('\n').toUtf8().constData());
    } else if (mode == QLatin1String("--three-calls")) {
        // In this order: the arguments of one call are evaluated in any order.
        const long long open = pOpenDevice("USB", "E4A50701", "");
        const long long heartBeat = pTerminalHeartBeat();
        const long long autoPara = pSetAutoPara();
        printf("%lld %lld %lld", open, heartBeat, autoPara);
    } else if (mode == QLatin1String("--click") && arguments.size() >= 4) {
        if (arguments.size() == 8) {
            fakedevice::Reply reply;
            reply.result = arguments[5].toLongLong();
            for (const QString &hex : arguments[6].split(',', Qt::SkipEmptyParts))
                reply.buffers << QByteArray::fromHex(hex.toLatin1());
            for (const QString &count : arguments[7].split(',', Qt::SkipEmptyParts))
                reply.counts << count.toLongLong();
            fakedevice::script(arguments[4].toLatin1().constData(), reply);
        }
        printf(
            "%s",
            clickInNewWindow(arguments[3].toLatin1().constData()).join('\n').toUtf8().constData());
    } else if (mode == QLatin1String("--slow-read")) {
        pOpenDevice("COM/dev/ttyS3", "115200", "slow");
        static char record[10240];
        QElapsedTimer timer;
        timer.start();
        const long long result = pIdReadCard(0, 1, record, 0);
        printf("%lld %lld", result, static_cast<long long>(timer.elapsed()));
    } else {
        return 3;
    }
    return 0;
}

} // namespace tracedwindow
