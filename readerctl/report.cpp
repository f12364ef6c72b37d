#include "report.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

#include <algorithm>

namespace readerctl {

const char *verdictName(StepReport::Verdict verdict)
{
    switch (verdict) {
    case StepReport::Verdict::Pass: return "pass";
    case StepReport::Verdict::Fail: return "fail";
    case StepReport::Verdict::Hung: return "hung";
    case StepReport::Verdict::Skipped: return "skipped";
    }
    return "";
}

namespace {

double milliseconds(qint64 nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1e6;
}

// Three decimals below a millisecond, so that fast calls do not all read 0.
QString ms(qint64 nanoseconds)
{
    return QString::number(milliseconds(nanoseconds), 'f', nanoseconds < 1'000'000 ? 3 : 2);
}

QString percent(const StepReport &step)
{
    if (step.calls == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * static_cast<double>(step.successes) / static_cast<double>(step.calls), 'f', 1);
}

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

struct Totals
{
    qint64 pass = 0, fail = 0, hung = 0, skipped = 0, calls = 0, successes = 0;
};

Totals totals(const Report &report)
{
    Totals totals;
    for (const StepReport &step : report.steps) {
        switch (step.verdict) {
        case StepReport::Verdict::Pass: ++totals.pass; break;
        case StepReport::Verdict::Fail: ++totals.fail; break;
        case StepReport::Verdict::Hung: ++totals.hung; break;
        case StepReport::Verdict::Skipped: ++totals.skipped; break;
        }
        totals.calls += step.calls;
        totals.successes += step.successes;
    }
    return totals;
}

double seconds(const Report &report)
{
    return static_cast<double>(report.started.msecsTo(report.finished)) / 1000.0;
}

// The text explaining why a step did not pass: its missed expectations, then
// the first failure's status text.
QString failureDetails(const StepReport &step)
{
    QStringList lines;
    for (const ExpectationOutcome &expectation : step.expectations) {
        if (expectation.passed)
            continue;
        QString line = QStringLiteral("%1: expected %2, got %3").arg(expectation.name, expectation.expected, expectation.actual);
        if (expectation.missedCalls > 0)
            line += QStringLiteral(" (%1 of %2 calls missed it)").arg(expectation.missedCalls).arg(step.calls);
        lines << line;
    }
    if (step.firstFailure)
        lines << QStringLiteral("first failure at call %1 (%2): %3")
                     .arg(step.firstFailure->index)
                     .arg(isoTime(step.firstFailure->time), step.firstFailure->status);
    return lines.join(QLatin1Char('\n'));
}

QString failureMessage(const StepReport &step)
{
    if (step.verdict == StepReport::Verdict::Hung)
        return QStringLiteral("a call did not return in time");
    for (const ExpectationOutcome &expectation : step.expectations)
        if (!expectation.passed)
            return QStringLiteral("%1: expected %2, got %3").arg(expectation.name, expectation.expected, expectation.actual);
    return step.firstFailure ? step.firstFailure->status : QString();
}

} // namespace

QString textReport(const Report &report)
{
    int width = 4;
    for (const StepReport &step : report.steps)
        width = std::max(width, static_cast<int>(step.name.size()));
    QString out;
    if (!report.openFailure.isEmpty())
        out += QStringLiteral("open: %1\n").arg(report.openFailure);
    for (const StepReport &step : report.steps) {
        QString line = QStringLiteral("%1  %2  %3 calls  %4 %  p50 %5 ms  p95 %6 ms  max %7 ms")
                           .arg(step.name, -width)
                           .arg(QString::fromLatin1(verdictName(step.verdict)), -7)
                           .arg(step.calls, 6)
                           .arg(percent(step), 5)
                           .arg(ms(step.latency.percentile(0.50)), 8)
                           .arg(ms(step.latency.percentile(0.95)), 8)
                           .arg(ms(step.latency.maximum()), 8);
        if (step.firstFailure)
            line += QStringLiteral("  %1").arg(step.firstFailure->status);
        out += line + QLatin1Char('\n');
    }
    const Totals sum = totals(report);
    out += QStringLiteral("total: %1 steps, %2 passed, %3 failed, %4 hung, %5 skipped; %6 calls, %7 successes; "
                          "%8 s%9; exit status %10\n")
               .arg(report.steps.size())
               .arg(sum.pass)
               .arg(sum.fail)
               .arg(sum.hung)
               .arg(sum.skipped)
               .arg(sum.calls)
               .arg(sum.successes)
               .arg(seconds(report), 0, 'f', 1)
               .arg(report.interrupted ? QStringLiteral(", interrupted") : QString())
               .arg(report.exitStatus);
    return out;
}

QByteArray jsonReport(const Report &report)
{
    QJsonObject connection;
    for (auto it = report.connection.begin(); it != report.connection.end(); ++it)
        connection.insert(it.key(), it.value());
    QJsonArray steps;
    for (const StepReport &step : report.steps) {
        QJsonObject args;
        for (auto it = step.args.begin(); it != step.args.end(); ++it)
            args.insert(it.key(), it.value());
        QJsonObject results;
        for (auto it = step.results.begin(); it != step.results.end(); ++it)
            results.insert(it.key(), it.value());
        QJsonValue latency = QJsonValue::Null;
        if (step.calls > 0)
            latency = QJsonObject{{QStringLiteral("min"), milliseconds(step.latency.minimum())},
                                  {QStringLiteral("p50"), milliseconds(step.latency.percentile(0.50))},
                                  {QStringLiteral("p95"), milliseconds(step.latency.percentile(0.95))},
                                  {QStringLiteral("p99"), milliseconds(step.latency.percentile(0.99))},
                                  {QStringLiteral("max"), milliseconds(step.latency.maximum())}};
        QJsonArray expectations;
        for (const ExpectationOutcome &expectation : step.expectations) {
            QJsonObject object{{QStringLiteral("name"), expectation.name},
                               {QStringLiteral("expected"), expectation.expected},
                               {QStringLiteral("actual"), expectation.actual},
                               {QStringLiteral("outcome"), expectation.passed ? QStringLiteral("pass") : QStringLiteral("fail")}};
            if (expectation.missedCalls >= 0)
                object.insert(QStringLiteral("missed_calls"), expectation.missedCalls);
            expectations.append(object);
        }
        QJsonValue failure = QJsonValue::Null;
        if (step.firstFailure)
            failure = QJsonObject{{QStringLiteral("index"), step.firstFailure->index},
                                  {QStringLiteral("time"), isoTime(step.firstFailure->time)},
                                  {QStringLiteral("result"), step.firstFailure->code},
                                  {QStringLiteral("status"), step.firstFailure->status}};
        QJsonObject object{{QStringLiteral("name"), step.name},
                           {QStringLiteral("op"), step.op},
                           {QStringLiteral("args"), args},
                           {QStringLiteral("verdict"), QString::fromLatin1(verdictName(step.verdict))},
                           {QStringLiteral("calls"), step.calls},
                           {QStringLiteral("successes"), step.successes},
                           {QStringLiteral("results"), results},
                           {QStringLiteral("latency_ms"), latency},
                           {QStringLiteral("expectations"), expectations},
                           {QStringLiteral("first_failure"), failure}};
        if (!step.lastStatus.isNull()) {
            QJsonObject outputs;
            for (const calls::Output &output : step.outputs)
                outputs.insert(output.name, output.value);
            object.insert(QStringLiteral("status"), step.lastStatus);
            object.insert(QStringLiteral("outputs"), outputs);
        }
        steps.append(object);
    }
    const Totals sum = totals(report);
    QJsonObject root{
        {QStringLiteral("schema_version"), schemaVersion},
        {QStringLiteral("command"), report.command},
        {QStringLiteral("plan"), report.plan.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(report.plan)},
        {QStringLiteral("library"), report.library},
        {QStringLiteral("connection"), connection},
        {QStringLiteral("started"), isoTime(report.started)},
        {QStringLiteral("finished"), isoTime(report.finished)},
        {QStringLiteral("exit_status"), report.exitStatus},
        {QStringLiteral("interrupted"), report.interrupted},
        {QStringLiteral("open_failure"),
         report.openFailure.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(report.openFailure)},
        {QStringLiteral("steps"), steps},
        {QStringLiteral("totals"),
         QJsonObject{{QStringLiteral("steps"), static_cast<qint64>(report.steps.size())},
                     {QStringLiteral("pass"), sum.pass},
                     {QStringLiteral("fail"), sum.fail},
                     {QStringLiteral("hung"), sum.hung},
                     {QStringLiteral("skipped"), sum.skipped},
                     {QStringLiteral("calls"), sum.calls},
                     {QStringLiteral("successes"), sum.successes}}},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray junitReport(const Report &report)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    const Totals sum = totals(report);
    const QString suite = report.plan.isEmpty() ? QStringLiteral("readerctl %1").arg(report.command)
                                                : QFileInfo(report.plan).completeBaseName();
    const QString tests = QString::number(report.steps.size());
    const QString time = QString::number(seconds(report), 'f', 3);
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("readerctl"));
    xml.writeAttribute(QStringLiteral("tests"), tests);
    xml.writeAttribute(QStringLiteral("failures"), QString::number(sum.fail));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(sum.hung));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(sum.skipped));
    xml.writeAttribute(QStringLiteral("time"), time);
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), suite);
    xml.writeAttribute(QStringLiteral("tests"), tests);
    xml.writeAttribute(QStringLiteral("failures"), QString::number(sum.fail));
    xml.writeAttribute(QStringLiteral("errors"), QString::number(sum.hung));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(sum.skipped));
    xml.writeAttribute(QStringLiteral("time"), time);
    xml.writeAttribute(QStringLiteral("timestamp"), report.started.toUTC().toString(Qt::ISODate));
    xml.writeStartElement(QStringLiteral("properties"));
    const std::vector<std::pair<QString, QString>> properties{
        {QStringLiteral("library"), report.library},
        {QStringLiteral("port_type"), report.connection.value(QStringLiteral("port_type"))},
        {QStringLiteral("port_param"), report.connection.value(QStringLiteral("port_param"))},
        {QStringLiteral("extended"), report.connection.value(QStringLiteral("extended"))},
        {QStringLiteral("exit_status"), QString::number(report.exitStatus)}};
    for (const auto &[name, value] : properties) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("value"), value);
    }
    xml.writeEndElement();
    for (const StepReport &step : report.steps) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("name"), step.name);
        xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("%1.%2").arg(suite, step.op));
        xml.writeAttribute(QStringLiteral("time"), QString::number(static_cast<double>(step.totalNs) / 1e9, 'f', 3));
        switch (step.verdict) {
        case StepReport::Verdict::Pass:
            break;
        case StepReport::Verdict::Skipped:
            xml.writeEmptyElement(QStringLiteral("skipped"));
            break;
        case StepReport::Verdict::Fail:
        case StepReport::Verdict::Hung:
            xml.writeStartElement(step.verdict == StepReport::Verdict::Hung ? QStringLiteral("error")
                                                                              : QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), failureMessage(step));
            xml.writeAttribute(QStringLiteral("type"), QString::fromLatin1(verdictName(step.verdict)));
            xml.writeCharacters(failureDetails(step));
            xml.writeEndElement();
            break;
        }
        xml.writeStartElement(QStringLiteral("system-out"));
        xml.writeCharacters(QStringLiteral("calls %1, successes %2, p50 %3 ms, p95 %4 ms, max %5 ms")
                                .arg(step.calls)
                                .arg(step.successes)
                                .arg(ms(step.latency.percentile(0.5)), ms(step.latency.percentile(0.95)),
                                     ms(step.latency.maximum())));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

namespace {

const char *const style = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.pass { background: #d8f0d8; } .fail { background: #f6d0d0; }
.hung { background: #f0c090; } .skipped { background: #e8e8e8; }
td.details { white-space: pre-line; font-size: 90%; }
svg text { font-size: 11px; font-family: sans-serif; }
section { margin: 2em 0; page-break-inside: avoid; }
)";

void cell(QXmlStreamWriter &xml, const QString &text, const QString &cls = QString())
{
    xml.writeStartElement(QStringLiteral("td"));
    if (!cls.isEmpty())
        xml.writeAttribute(QStringLiteral("class"), cls);
    xml.writeCharacters(text);
    xml.writeEndElement();
}

void row(QXmlStreamWriter &xml, const QStringList &cells, const char *element = "td")
{
    xml.writeStartElement(QStringLiteral("tr"));
    for (const QString &text : cells)
        xml.writeTextElement(QLatin1String(element), text);
    xml.writeEndElement();
}

struct Bar
{
    QString label;
    QString tip;
    qint64 count;
};

// A bar chart as inline SVG: one bar per entry, labels under the bars.
void barChart(QXmlStreamWriter &xml, const QString &title, const std::vector<Bar> &bars, const QString &axis)
{
    const int barWidth = bars.size() > 12 ? 22 : 48, gap = 4, height = 160, top = 20, bottom = 40, left = 50;
    const int width = left + static_cast<int>(bars.size()) * (barWidth + gap) + 20;
    qint64 most = 1;
    for (const Bar &bar : bars)
        most = std::max(most, bar.count);
    xml.writeStartElement(QStringLiteral("svg"));
    xml.writeAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.w3.org/2000/svg"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(top + height + bottom));
    xml.writeAttribute(QStringLiteral("role"), QStringLiteral("img"));
    xml.writeTextElement(QStringLiteral("title"), title);
    auto text = [&xml](int x, int y, const QString &content, const char *anchor) {
        xml.writeStartElement(QStringLiteral("text"));
        xml.writeAttribute(QStringLiteral("x"), QString::number(x));
        xml.writeAttribute(QStringLiteral("y"), QString::number(y));
        xml.writeAttribute(QStringLiteral("text-anchor"), QLatin1String(anchor));
        xml.writeCharacters(content);
        xml.writeEndElement();
    };
    text(4, top + 4, QString::number(most), "start");
    text(4, top + height, QStringLiteral("0"), "start");
    xml.writeEmptyElement(QStringLiteral("line"));
    xml.writeAttribute(QStringLiteral("x1"), QString::number(left - 4));
    xml.writeAttribute(QStringLiteral("x2"), QString::number(width - 10));
    xml.writeAttribute(QStringLiteral("y1"), QString::number(top + height));
    xml.writeAttribute(QStringLiteral("y2"), QString::number(top + height));
    xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#666"));
    int x = left;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const Bar &bar = bars[i];
        const int h = static_cast<int>(static_cast<double>(bar.count) * height / static_cast<double>(most));
        xml.writeStartElement(QStringLiteral("rect"));
        xml.writeAttribute(QStringLiteral("x"), QString::number(x));
        xml.writeAttribute(QStringLiteral("y"), QString::number(top + height - h));
        xml.writeAttribute(QStringLiteral("width"), QString::number(barWidth));
        xml.writeAttribute(QStringLiteral("height"), QString::number(h));
        xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#4a7ab5"));
        xml.writeTextElement(QStringLiteral("title"), QStringLiteral("%1: %2").arg(bar.tip).arg(bar.count));
        xml.writeEndElement();
        // Labels under every bar when there is room, otherwise under the ends.
        if (bars.size() <= 12 || i == 0 || i + 1 == bars.size())
            text(x + barWidth / 2, top + height + 16, bar.label, "middle");
        x += barWidth + gap;
    }
    text(left, top + height + 34, axis, "start");
    xml.writeEndElement();
}

} // namespace

QByteArray htmlReport(const Report &report)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeDTD(QStringLiteral("<!DOCTYPE html>"));
    xml.writeStartElement(QStringLiteral("html"));
    xml.writeAttribute(QStringLiteral("lang"), QStringLiteral("zh"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeEmptyElement(QStringLiteral("meta"));
    xml.writeAttribute(QStringLiteral("charset"), QStringLiteral("utf-8"));
    const QString title = report.plan.isEmpty() ? QStringLiteral("readerctl %1").arg(report.command)
                                                : QStringLiteral("readerctl: %1").arg(QFileInfo(report.plan).fileName());
    xml.writeTextElement(QStringLiteral("title"), title);
    xml.writeTextElement(QStringLiteral("style"), QString::fromLatin1(style));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("body"));
    xml.writeTextElement(QStringLiteral("h1"), title);

    const Totals sum = totals(report);
    xml.writeStartElement(QStringLiteral("table"));
    const std::vector<std::pair<QString, QString>> facts{
        {QStringLiteral("Library"), report.library},
        {QStringLiteral("Connection"), QStringLiteral("%1, %2, \"%3\"")
                                           .arg(report.connection.value(QStringLiteral("port_type")),
                                                report.connection.value(QStringLiteral("port_param")),
                                                report.connection.value(QStringLiteral("extended")))},
        {QStringLiteral("Started"), isoTime(report.started)},
        {QStringLiteral("Finished"), isoTime(report.finished)},
        {QStringLiteral("Steps"), QStringLiteral("%1 passed, %2 failed, %3 hung, %4 skipped")
                                      .arg(sum.pass).arg(sum.fail).arg(sum.hung).arg(sum.skipped)},
        {QStringLiteral("Calls"), QStringLiteral("%1, %2 successes").arg(sum.calls).arg(sum.successes)},
        {QStringLiteral("Exit status"), QStringLiteral("%1%2").arg(report.exitStatus).arg(
                                            report.interrupted ? QStringLiteral(" (interrupted)") : QString())},
    };
    for (const auto &[name, value] : facts) {
        xml.writeStartElement(QStringLiteral("tr"));
        xml.writeTextElement(QStringLiteral("th"), name);
        cell(xml, value);
        xml.writeEndElement();
    }
    if (!report.openFailure.isEmpty())
        row(xml, {QStringLiteral("Open"), report.openFailure});
    xml.writeEndElement();

    xml.writeTextElement(QStringLiteral("h2"), QStringLiteral("Steps"));
    xml.writeStartElement(QStringLiteral("table"));
    row(xml, {QStringLiteral("Step"), QStringLiteral("Operation"), QStringLiteral("Verdict"), QStringLiteral("Calls"),
              QStringLiteral("Success %"), QStringLiteral("p50 ms"), QStringLiteral("p95 ms"), QStringLiteral("p99 ms"),
              QStringLiteral("max ms"), QStringLiteral("First failure")},
        "th");
    for (const StepReport &step : report.steps) {
        const QString verdict = QString::fromLatin1(verdictName(step.verdict));
        xml.writeStartElement(QStringLiteral("tr"));
        cell(xml, step.name);
        cell(xml, step.op);
        cell(xml, verdict, verdict);
        cell(xml, QString::number(step.calls), QStringLiteral("n"));
        cell(xml, percent(step), QStringLiteral("n"));
        cell(xml, ms(step.latency.percentile(0.50)), QStringLiteral("n"));
        cell(xml, ms(step.latency.percentile(0.95)), QStringLiteral("n"));
        cell(xml, ms(step.latency.percentile(0.99)), QStringLiteral("n"));
        cell(xml, ms(step.latency.maximum()), QStringLiteral("n"));
        cell(xml, failureDetails(step), QStringLiteral("details"));
        xml.writeEndElement();
    }
    xml.writeEndElement();

    for (const StepReport &step : report.steps) {
        if (step.calls < 2)
            continue;
        xml.writeStartElement(QStringLiteral("section"));
        xml.writeTextElement(QStringLiteral("h2"), step.name);
        std::vector<Bar> latency;
        for (const LatencyHistogram::Bin &bin : step.latency.bins(24))
            latency.push_back({ms(bin.from), QStringLiteral("%1-%2 ms").arg(ms(bin.from), ms(bin.to)), bin.count});
        barChart(xml, QStringLiteral("Latency of %1").arg(step.name), latency,
                 QStringLiteral("latency, ms (logarithmic)"));
        std::vector<Bar> codes;
        for (auto it = step.results.begin(); it != step.results.end(); ++it)
            codes.push_back({it.key(), QStringLiteral("result %1").arg(it.key()), it.value()});
        barChart(xml, QStringLiteral("Result codes of %1").arg(step.name), codes, QStringLiteral("result code"));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

} // namespace readerctl
