// Test plans as readerctl reads them: arbitrary bytes through the TOML
// reader and the plan's checks. Either the plan is read, with every step
// naming a known operation, or every error names the file, a line and a
// column, and no step is left.
#include "fuzzcheck.h"
#include "plan.h"

#include <QRegularExpression>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QRegularExpression position(QStringLiteral("^plan\\.toml:\\d+:\\d+: \\S"));
    readerctl::Plan plan;
    const QStringList errors = readerctl::parsePlan(
        QStringLiteral("plan.toml"), QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)), plan);
    if (!errors.isEmpty()) {
        check(plan.steps.empty());
        for (const QString &error : errors)
            check(position.match(error).hasMatch());
        return 0;
    }
    check(!plan.steps.empty());
    for (const readerctl::Step &step : plan.steps) {
        check(step.definition != nullptr && !step.name.isEmpty() && step.repeat >= 1);
        check(calls::unknownInput(*step.definition, step.args).isEmpty());
    }
    return 0;
}
