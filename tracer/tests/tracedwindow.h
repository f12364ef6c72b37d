// The window driven through a device library in a child process, for the
// suites of the tracing and the replaying library: what every widget shows,
// the steps that exercise every tab, the calls of a trace, and the child
// modes the suites start themselves in.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QWidget;

namespace tracedwindow {

// What every named widget of the window shows, in creation order.
QStringList widgetStates(const QWidget *window);

// Clicks control in a fresh window and returns every widget.
QStringList clickInNewWindow(const char *control);

// Every tab's operations on the simulated reader with the form's defaults,
// or a whole identity read, with every widget after each step.
QStringList runSteps(bool everyTab);

// The call lines of a trace without their timestamp and duration, e.g.
// "CloseDevice(); result 0".
QStringList tracedCalls(const QByteArray &trace);
QStringList entryNames(QStringList calls);

QByteArray readFile(const QString &path);

struct Child
{
    QByteArray out;
    QByteArray err;
    int status;
};

// This test program in one of its child modes, with extra environment
// ("NAME=value"); the tracing and replaying settings of the parent are left
// out.
Child runChild(const QStringList &arguments, const QStringList &environment);

// Runs a child mode and returns its exit status, or -1 when arguments name
// none. Every mode first opens the library given after the mode:
//   --every-tab LIB, --identity-read LIB  print what runSteps() returns;
//   --three-calls LIB  prints the codes of OpenDevice, TerminalHeartBeat and
//                      the never-called SetAutoPara;
//   --click LIB CONTROL [ENTRY RESULT HEX,HEX... COUNT,COUNT...]  scripts the
//                      fake's ENTRY (buffers in hexadecimal), clicks CONTROL
//                      in a fresh window and prints every widget;
//   --slow-read LIB    opens the reader with the "slow" scenario, reads the
//                      identity card and prints the read's code and its time
//                      in milliseconds.
int runChildMode(const QStringList &arguments);

} // namespace tracedwindow
