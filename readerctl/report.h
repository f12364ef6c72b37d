// What a run gathered, and the four ways it is written: text on standard
// output, JSON, JUnit XML and one self-contained HTML page.
//
// Personal data (by the output's kind) is masked in all of them unless the
// report is made with showPersonal.
#pragma once

#include "calls.h"
#include "histogram.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

class QIODevice;

namespace readerctl {

constexpr int schemaVersion = 1;

struct ExpectationOutcome
{
    QString name;     // "result", "fields.NAME", "max_ms", "min_success_percent"
    QString expected; // masked already where the value is personal
    QString actual;
    qint64 missedCalls = -1; // calls that missed it; -1 for step-wide ones
    bool passed = true;
};

struct Failure
{
    qint64 index = 0; // 1-based, among the step's calls
    QDateTime time;
    qint64 code = 0;
    QString status;
};

struct StepReport
{
    QString name;
    QString op;
    calls::Arguments args;
    enum class Verdict { Pass, Fail, Hung, Skipped } verdict = Verdict::Skipped;
    qint64 calls = 0;
    qint64 successes = 0;
    // Result code in decimal ("refused" for typed input the window refuses,
    // "missing" for an entry point the library lacks) -> count.
    QMap<QString, qint64> results;
    LatencyHistogram latency;
    qint64 totalNs = 0; // the calls' time added up
    std::vector<ExpectationOutcome> expectations;
    std::optional<Failure> firstFailure;
    // The last call's status text and shown outputs (the call command).
    QString lastStatus;
    std::vector<calls::Output> outputs;
};

struct Report
{
    QString command; // call, loop or run
    QString plan;    // the plan file, for run
    QString library;
    calls::Arguments connection;
    QDateTime started;
    QDateTime finished;
    int exitStatus = 0;
    bool interrupted = false;
    // When the reader could not be opened: its status text.
    QString openFailure;
    std::vector<StepReport> steps;
};

const char *verdictName(StepReport::Verdict verdict);

// One line per step, then the totals.
QString textReport(const Report &report);
QByteArray jsonReport(const Report &report);
QByteArray junitReport(const Report &report);
QByteArray htmlReport(const Report &report);

} // namespace readerctl
