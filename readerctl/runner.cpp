#include "runner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

#include <signal.h>
#include <time.h>
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

// Ends the process with the reports of a hung call when the call under way
// does not come back in time.
class Runner::Watchdog
{
public:
    virtual ~Watchdog() = default;
    virtual void arm(double seconds) = 0; // a call starts
    virtual void disarm() = 0;            // it came back
};

// For loops and plans: a thread of its own writes the reports when the time
// is up. The main thread marks the start of each call in atomics; the thread
// reads the report only under the runner's report mutex.
class Runner::ThreadWatchdog : public Runner::Watchdog
{
public:
    explicit ThreadWatchdog(const Runner &runner)
    {
        m_thread = std::thread([this, &runner] {
            std::unique_lock<std::mutex> lock(m_wakeMutex);
            while (!m_stopping) {
                m_wake.wait_for(lock, std::chrono::milliseconds(50));
                const qint64 started = m_callStarted.load(std::memory_order_acquire);
                if (m_stopping || started == 0 || steadyNanoseconds() - started < m_timeout.load())
                    continue;
                std::lock_guard<std::mutex> report(runner.m_reportMutex);
                write(runner.hungReport(QDateTime::currentDateTimeUtc()), runner.m_files);
                std::fflush(nullptr);
                _exit(ExitFailed);
            }
        });
    }

    ~ThreadWatchdog() override
    {
        {
            std::lock_guard<std::mutex> lock(m_wakeMutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void arm(double seconds) override
    {
        m_timeout.store(static_cast<qint64>(seconds * 1e9));
        m_callStarted.store(steadyNanoseconds(), std::memory_order_release);
    }

    void disarm() override { m_callStarted.store(0, std::memory_order_release); }

private:
    std::atomic<qint64> m_callStarted{0}; // steady ns; 0 when no call is under way
    std::atomic<qint64> m_timeout{0};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

namespace {

// What the timer's signal handler writes: made before each call, read only
// by the handler, which may do nothing but write and end the process.
QByteArray hungOutput;

void onTimeout(int)
{
    const char *bytes = hungOutput.constData();
    std::size_t left = static_cast<std::size_t>(hungOutput.size());
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    _exit(ExitFailed);
}

} // namespace

// For a single call: a one-shot timer whose signal writes what the command
// would print for the hung call, prepared before the call, since a signal
// handler can neither allocate nor lock.
class Runner::TimerWatchdog : public Runner::Watchdog
{
public:
    explicit TimerWatchdog(const Runner &runner) : m_runner(runner)
    {
        struct sigaction action = {};
        action.sa_handler = onTimeout;
        sigemptyset(&action.sa_mask);
        sigaction(SIGRTMIN, &action, nullptr);
        sigevent event = {};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = SIGRTMIN;
        m_created = timer_create(CLOCK_MONOTONIC, &event, &m_timer) == 0;
    }

    ~TimerWatchdog() override
    {
        if (m_created)
            timer_delete(m_timer);
    }

    // False when the system gave no timer: the thread watches instead.
    bool created() const { return m_created; }

    void arm(double seconds) override
    {
        const ReportFiles &files = m_runner.m_files;
        const QDateTime due = QDateTime::currentDateTimeUtc().addMSecs(static_cast<qint64>(seconds * 1000));
        hungOutput = files.standardOutput ? files.standardOutput(m_runner.hungReport(due)) : QByteArray();
        itimerspec in = {};
        in.it_value.tv_sec = static_cast<time_t>(seconds);
        in.it_value.tv_nsec = static_cast<long>((seconds - static_cast<double>(in.it_value.tv_sec)) * 1e9);
        if (in.it_value.tv_sec == 0 && in.it_value.tv_nsec == 0)
            in.it_value.tv_nsec = 1;
        timer_settime(m_timer, 0, &in, nullptr);
    }

    void disarm() override
    {
        const itimerspec stop = {};
        timer_settime(m_timer, 0, &stop, nullptr);
    }

private:
    const Runner &m_runner;
    timer_t m_timer = {};
    bool m_created = false;
};

Runner::Runner(Report &report, const ReportFiles &files, const RunOptions &options)
    : m_report(report), m_files(files), m_options(options)
{
    if (options.singleCall) {
        auto timer = std::make_unique<TimerWatchdog>(*this);
        if (timer->created())
            m_watchdog = std::move(timer);
    }
    if (!m_watchdog)
        m_watchdog = std::make_unique<ThreadWatchdog>(*this);
}

Runner::~Runner() = default;

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
    if (files.standardOutput) {
        const QByteArray text = files.standardOutput(report);
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        std::fflush(stdout);
    }
    return written;
}

calls::Result Runner::timedCall(const calls::Definition &definition, const calls::Arguments &args, double timeoutSeconds,
                                qint64 &nanoseconds)
{
    m_watchdog->arm(timeoutSeconds);
    const qint64 start = steadyNanoseconds();
    calls::Result result = calls::run(definition, args, m_session);
    const qint64 end = steadyNanoseconds();
    m_watchdog->disarm();
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
        std::lock_guard<std::mutex> lock(m_reportMutex);
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
        if (m_options.singleCall) {
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
    std::lock_guard<std::mutex> lock(m_reportMutex);
    finishStep(step, out);
    return out.verdict == StepReport::Verdict::Pass;
}

Report Runner::hungReport(const QDateTime &at) const
{
    Report report = m_report;
    const int index = m_current.load();
    if (index >= 0) {
        StepReport &out = report.steps[static_cast<std::size_t>(index)];
        const Step &step = m_plan->steps[static_cast<std::size_t>(index)];
        const QString status = QLatin1String("no answer within ") + QString::number(step.timeoutSeconds)
                               + QLatin1String(" s");
        ++out.calls;
        ++out.results[QStringLiteral("hung")];
        if (!out.firstFailure)
            out.firstFailure = Failure{out.calls, at, 0, status};
        out.verdict = StepReport::Verdict::Hung;
        finishStep(step, out);
    } else if (report.openFailure.isEmpty()) {
        report.openFailure = QStringLiteral("no answer in time");
    }
    report.finished = at;
    report.exitStatus = ExitFailed;
    return report;
}

int Runner::finish(int status)
{
    std::lock_guard<std::mutex> lock(m_reportMutex);
    if (m_options.singleCall && status == ExitFailed && m_last.stage == calls::Result::Stage::Refused)
        status = ExitUsage;
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

    m_plan = &plan;

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
            m_current.store(static_cast<int>(i));
            const qint64 limit = m_options.unlimited ? -1 : step.repeat;
            const bool passed = runStep(step, m_report.steps[i], limit, m_options.durationMs);
            m_current.store(-1);
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
