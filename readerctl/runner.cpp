#include "runner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace readerctl {

namespace {

volatile std::sig_atomic_t signalled = 0;

void onSignal(int)
{
    signalled = 1;
}

qint64 steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString resultKey(const calls::Result &result)
{
    switch (result.stage) {
    case calls::Result::Stage::Refused: return QStringLiteral("refused");
    case calls::Result::Stage::Missing: return QStringLiteral("missing");
    case calls::Result::Stage::Called: break;
    }
    return QString::number(result.code);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "readerctl: cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace

// Watches the call under way from a thread of its own. The main thread marks
// the start of each call in atomics; the report itself is only touched under
// the mutex, which the main thread never holds while it is inside a call.
struct Runner::Watchdog
{
    std::mutex reportMutex;
    std::atomic<qint64> callStarted{0}; // steady ns; 0 when no call is under way
    std::atomic<qint64> timeout{0};
    std::function<void()> onHang; // called with reportMutex held, never returns
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;

    Watchdog()
    {
        thread = std::thread([this] {
            std::unique_lock<std::mutex> lock(wakeMutex);
            while (!stopping) {
                wake.wait_for(lock, std::chrono::milliseconds(50));
                const qint64 started = callStarted.load(std::memory_order_acquire);
                if (stopping || started == 0 || steadyNanoseconds() - started < timeout.load())
                    continue;
                std::lock_guard<std::mutex> report(reportMutex);
                onHang();
            }
        });
    }

    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(wakeMutex);
            stopping = true;
        }
        wake.notify_all();
        thread.join();
    }
};

Runner::Runner(Report &report, const ReportFiles &files, const RunOptions &options)
    : m_report(report), m_files(files), m_options(options), m_watchdog(new Watchdog)
{
}

Runner::~Runner()
{
    delete m_watchdog;
}

void Runner::catchSignals()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a prompt waiting for Enter returns at once. A second
    // signal finds the default action back and ends the process.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Runner::interrupted()
{
    return signalled != 0;
}

bool Runner::write(const Report &report, const ReportFiles &files)
{
    bool written = true;
    if (!files.json.isEmpty())
        written = writeFile(files.json, jsonReport(report)) && written;
    if (!files.junit.isEmpty())
        written = writeFile(files.junit, junitReport(report)) && written;
    if (!files.html.isEmpty())
        written = writeFile(files.html, htmlReport(report)) && written;
    if (files.text) {
        const QByteArray text = textReport(report).toUtf8();
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        std::fflush(stdout);
    }
    return written;
}

calls::Result Runner::timedCall(const calls::Definition &definition, const calls::Arguments &args, double timeoutSeconds,
                                qint64 &nanoseconds)
{
    m_watchdog->timeout.store(static_cast<qint64>(timeoutSeconds * 1e9));
    const qint64 start = steadyNanoseconds();
    m_watchdog->callStarted.store(start, std::memory_order_release);
    calls::Result result = calls::run(definition, args, m_session);
    const qint64 end = steadyNanoseconds();
    m_watchdog->callStarted.store(0, std::memory_order_release);
    nanoseconds = end - start;
    return result;
}

void Runner::finishStep(const Step &step, StepReport &out)
{
    for (ExpectationOutcome &expectation : out.expectations) {
        if (expectation.name == QLatin1String("min_success_percent")) {
            const double percent = out.calls ? 100.0 * static_cast<double>(out.successes) / static_cast<double>(out.calls) : 0.0;
            expectation.actual = QString::number(percent, 'f', 2);
            expectation.passed = out.calls > 0 && percent + 1e-9 >= step.minSuccessPercent;
        } else if (expectation.name == QLatin1String("max_ms")) {
            expectation.actual = QString::number(static_cast<double>(out.latency.maximum()) / 1e6, 'f', 2);
            expectation.passed = expectation.missedCalls == 0;
        } else {
            expectation.passed = expectation.missedCalls == 0;
        }
    }
    if (out.verdict == StepReport::Verdict::Hung)
        return;
    if (out.calls == 0) {
        out.verdict = StepReport::Verdict::Skipped;
        return;
    }
    const bool enough = static_cast<double>(out.successes) * 100.0 + 1e-9
                        >= step.minSuccessPercent * static_cast<double>(out.calls);
    out.verdict = enough ? StepReport::Verdict::Pass : StepReport::Verdict::Fail;
}

bool Runner::runStep(const Step &step, StepReport &out, qint64 limit, qint64 deadlineMs)
{
    if (out.expectations.empty()) {
        out.expectations.push_back({QStringLiteral("result"), step.expectedResult(), QString(), 0, true});
        for (const FieldExpectation &field : step.fields)
            out.expectations.push_back({QStringLiteral("fields.") + field.output,
                                        field.describe(m_options.showPersonal), QString(), 0, true});
        if (step.maxMs)
            out.expectations.push_back({QStringLiteral("max_ms"), QString::number(*step.maxMs), QString(), 0, true});
        out.expectations.push_back({QStringLiteral("min_success_percent"),
                                    QString::number(step.minSuccessPercent), QString(), -1, true});
    }
    QElapsedTimer clock;
    clock.start();
    qint64 lastProgress = -1000;
    qint64 failures = 0;
    for (qint64 i = 0; limit < 0 || i < limit; ++i) {
        qint64 nanoseconds = 0;
        const calls::Result result = timedCall(*step.definition, step.args, step.timeoutSeconds, nanoseconds);
        const QString key = resultKey(result);
        std::lock_guard<std::mutex> lock(m_watchdog->reportMutex);
        bool met = true;
        const bool first = out.calls == 0;
        auto check = [&](std::size_t index, bool ok, const QString &actual) {
            ExpectationOutcome &expectation = out.expectations[index];
            if (first || (!ok && expectation.missedCalls == 0))
                expectation.actual = actual;
            if (!ok) {
                ++expectation.missedCalls;
                met = false;
            }
        };
        check(0, step.resultMet(result), key);
        std::size_t index = 1;
        for (const FieldExpectation &field : step.fields) {
            const QString value = result.value(field.output);
            check(index++, field.matches(value), m_options.showPersonal ? value : masked(field.kind, value));
        }
        if (step.maxMs)
            check(index, static_cast<double>(nanoseconds) <= *step.maxMs * 1e6,
                  QString::number(static_cast<double>(nanoseconds) / 1e6, 'f', 2));
        ++out.calls;
        ++out.results[key];
        out.latency.add(nanoseconds);
        out.totalNs += nanoseconds;
        if (met) {
            ++out.successes;
        } else {
            ++failures;
            if (!out.firstFailure)
                out.firstFailure = Failure{out.calls, QDateTime::currentDateTimeUtc(), result.code, result.status};
        }
        if (m_options.keepLast) {
            out.lastStatus = result.status;
            out.outputs = calls::shownOutputs(result, m_options.showPersonal);
            m_last = result;
        }
        if (interrupted())
            break;
        const qint64 elapsed = clock.elapsed();
        if (deadlineMs > 0 && elapsed >= deadlineMs)
            break;
        if (m_options.progress && elapsed - lastProgress >= 200) {
            lastProgress = elapsed;
            const double rate = elapsed > 0 ? 1000.0 * static_cast<double>(i + 1) / static_cast<double>(elapsed) : 0.0;
            double left = 0;
            if (deadlineMs > 0)
                left = static_cast<double>(deadlineMs - elapsed) / 1000.0;
            else if (limit > 0 && rate > 0)
                left = static_cast<double>(limit - i - 1) / rate;
            const qint64 seconds = static_cast<qint64>(left);
            std::fprintf(stderr, "\r%s: %lld%s calls, %.1f/s, %lld failed, %lld:%02lld left\x1b[K",
                         qPrintable(step.name), static_cast<long long>(i + 1),
                         limit > 0 ? qPrintable(QStringLiteral("/%1").arg(limit)) : "", rate,
                         static_cast<long long>(failures), static_cast<long long>(seconds / 60),
                         static_cast<long long>(seconds % 60));
            std::fflush(stderr);
        }
    }
    if (m_options.progress && lastProgress >= 0) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
    std::lock_guard<std::mutex> lock(m_watchdog->reportMutex);
    finishStep(step, out);
    return out.verdict == StepReport::Verdict::Pass;
}

int Runner::finish(int status)
{
    std::lock_guard<std::mutex> lock(m_watchdog->reportMutex);
    m_report.finished = QDateTime::currentDateTimeUtc();
    m_report.exitStatus = status;
    if (!write(m_report, m_files) && status == ExitPassed)
        return m_report.exitStatus = ExitFailed;
    return status;
}

int Runner::run(const Plan &plan, const calls::Arguments &connection)
{
    m_report.connection = connection;
    m_report.started = QDateTime::currentDateTimeUtc();
    for (const Step &step : plan.steps) {
        StepReport out;
        out.name = step.name;
        out.op = step.op;
        out.args = step.args;
        m_report.steps.push_back(out);
    }

    // The step under way, or -1 while the reader is opened or closed.
    std::atomic<int> current{-1};
    m_watchdog->onHang = [this, &plan, &current] {
        const int index = current.load();
        if (index >= 0) {
            StepReport &out = m_report.steps[static_cast<std::size_t>(index)];
            const Step &step = plan.steps[static_cast<std::size_t>(index)];
            const QString status = QStringLiteral("no answer within %1 s").arg(step.timeoutSeconds);
            ++out.calls;
            ++out.results[QStringLiteral("hung")];
            if (!out.firstFailure)
                out.firstFailure = Failure{out.calls, QDateTime::currentDateTimeUtc(), 0, status};
            out.verdict = StepReport::Verdict::Hung;
            finishStep(step, out);
        } else if (m_report.openFailure.isEmpty()) {
            m_report.openFailure = QStringLiteral("no answer in time");
        }
        m_report.finished = QDateTime::currentDateTimeUtc();
        m_report.exitStatus = ExitFailed;
        write(m_report, m_files);
        std::fflush(nullptr);
        _exit(ExitFailed);
    };

    const calls::Definition *open = calls::find(QStringLiteral("open"));
    const calls::Definition *close = calls::find(QStringLiteral("close"));
    qint64 ignored = 0;
    const calls::Result opened = timedCall(*open, connection, 60, ignored);
    if (!opened.succeeded()) {
        m_report.openFailure = opened.status;
        return finish(ExitOpen);
    }

    bool stop = false;
    for (qint64 pass = 0; pass < m_options.passes && !stop && !interrupted(); ++pass) {
        for (std::size_t i = 0; i < plan.steps.size() && !stop && !interrupted(); ++i) {
            const Step &step = plan.steps[i];
            if (pass == 0 && m_options.prompts && !step.prompt.isEmpty()) {
                std::fprintf(stderr, "%s: %s ", qPrintable(step.name), qPrintable(step.prompt));
                std::fflush(stderr);
                char line[256];
                if (!std::fgets(line, sizeof line, stdin) || interrupted()) {
                    signalled = 1;
                    break;
                }
            }
            current.store(static_cast<int>(i));
            const qint64 limit = m_options.unlimited ? -1 : step.repeat;
            const bool passed = runStep(step, m_report.steps[i], limit, m_options.durationMs);
            current.store(-1);
            stop = !passed && step.stopOnFail;
        }
    }
    timedCall(*close, {}, 60, ignored);

    int status = ExitPassed;
    for (const StepReport &out : m_report.steps)
        if (out.verdict == StepReport::Verdict::Fail || out.verdict == StepReport::Verdict::Hung)
            status = ExitFailed;
    if (interrupted()) {
        m_report.interrupted = true;
        status = ExitInterrupted;
    }
    return finish(status);
}

} // namespace readerctl
