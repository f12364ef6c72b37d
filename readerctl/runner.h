// Runs the steps of a plan against the loaded library: opens the reader,
// calls each step's operation as often as asked, gathers the statistics and
// verdicts, closes the reader and writes the reports.
//
// Between opening and closing only the steps' own operations are called. A
// call that does not come back within its step's timeout cannot be cancelled:
// a watchdog thread writes the reports with the step marked hung and ends the
// process with status 1. SIGINT and SIGTERM end the run after the call under
// way; the reports are written with what was gathered (status 5).
#pragma once

#include "plan.h"
#include "report.h"

#include <QString>

#include <functional>

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
    bool text = true; // the text report on standard output
};

struct RunOptions
{
    qint64 passes = 1;         // run --repeat: the whole plan this many times
    qint64 durationMs = 0;     // loop --duration: calls stop once it is over
    bool unlimited = false;    // loop --duration: the step's repeat is no limit
    bool prompts = true;       // wait for Enter at a step's prompt
    bool showPersonal = false; // reports show personal data in full
    bool progress = false;     // the progress line on standard error
    bool keepLast = false;     // keep the last call's status, outputs and result (call)
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

    // The last call's result, when keepLast was asked for.
    const calls::Result &lastResult() const { return m_last; }

private:
    struct Watchdog;
    bool runStep(const Step &step, StepReport &out, qint64 limit, qint64 deadlineMs);
    void finishStep(const Step &step, StepReport &out);
    calls::Result timedCall(const calls::Definition &definition, const calls::Arguments &args, double timeoutSeconds,
                            qint64 &nanoseconds);
    int finish(int status);

    Report &m_report;
    ReportFiles m_files;
    RunOptions m_options;
    calls::Session m_session;
    calls::Result m_last;
    Watchdog *m_watchdog;
};

} // namespace readerctl
