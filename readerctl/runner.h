// Runs the steps of a plan against the loaded library: opens the reader,
// calls each step's operation as often as asked, gathers the statistics and
// verdicts, closes the reader and writes the reports.
//
// Between opening and closing only the steps' own operations are called. A
// call that does not come back within its step's timeout cannot be cancelled:
// a watchdog writes the reports with the step marked hung and ends the
// process with status 1. SIGINT and SIGTERM end the run after the call under
// way; the reports are written with what was gathered (status 5).
#pragma once

#include "plan.h"
#include "report.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace readerctl {

enum ExitStatus {
    ExitPassed = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitLibrary = 3,
    ExitOpen = 4,
    ExitInterrupted = 5,
};

struct ReportFiles
{
    QString json;
    QString junit;
    QString html;
    // What goes to standard output: the text report, unless a command
    // prints something else (call: the status and outputs); none when empty.
    std::function<QByteArray(const Report &)> standardOutput = [](const Report &report) {
        return textReport(report).toUtf8();
    };
};

struct RunOptions
{
    qint64 passes = 1;         // run --repeat: the whole plan this many times
    qint64 durationMs = 0;     // loop --duration: calls stop once it is over
    bool unlimited = false;    // loop --duration: the step's repeat is no limit
    bool prompts = true;       // wait for Enter at a step's prompt
    bool showPersonal = false; // reports show personal data in full
    bool progress = false;     // the progress line on standard error
    // One call (the call command): the last call's status, outputs and result
    // are kept, typed input the window refuses is a usage error, and the
    // watchdog is a timer with the hung call's output made ready beforehand,
    // not a thread: a thread is a good part of a short call's cost. Standard
    // output is then the only report.
    bool singleCall = false;
};

class Runner
{
public:
    Runner(Report &report, const ReportFiles &files, const RunOptions &options);
    ~Runner();
    Runner(const Runner &) = delete;
    Runner &operator=(const Runner &) = delete;

    // Opens the reader with the connection, runs the steps, closes the reader
    // and writes the reports. Returns the exit status.
    int run(const Plan &plan, const calls::Arguments &connection);

    // Writes the text, JSON, JUnit and HTML reports; false (and a message on
    // standard error) when a file cannot be written.
    static bool write(const Report &report, const ReportFiles &files);

    // Catches SIGINT and SIGTERM for the run (a second signal ends the process
    // at once); whether one came.
    static void catchSignals();
    static bool interrupted();

    // The last call's result, for a single call.
    const calls::Result &lastResult() const { return m_last; }

private:
    class Watchdog;
    class ThreadWatchdog;
    class TimerWatchdog;
    bool runStep(const Step &step, StepReport &out, qint64 limit, qint64 deadlineMs);
    static void finishStep(const Step &step, StepReport &out);
    calls::Result timedCall(const calls::Definition &definition, const calls::Arguments &args, double timeoutSeconds,
                            qint64 &nanoseconds);
    // The report as it stands, with the call under way marked hung at that time.
    Report hungReport(const QDateTime &at) const;
    int finish(int status);

    Report &m_report;
    ReportFiles m_files;
    RunOptions m_options;
    calls::Session m_session;
    calls::Result m_last;
    const Plan *m_plan = nullptr;
    std::atomic<int> m_current{-1}; // the step under way; -1 while opening or closing
    // Held while the report changes, so that a watchdog thread never sees it
    // half done; never held during a call.
    mutable std::mutex m_reportMutex;
    std::unique_ptr<Watchdog> m_watchdog;
};

} // namespace readerctl
