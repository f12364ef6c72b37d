// A test plan: the connection and the steps, read from TOML.
//
// Everything a plan can get wrong is found here, before the reader is
// opened: TOML syntax, unknown keys, operations, inputs and outputs, wrong
// types and ranges, duplicate step names and regular expressions that do not
// compile. Each error is "FILE:LINE:COLUMN: what is wrong".
#pragma once

#include "calls.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace readerctl {

struct FieldExpectation
{
    QString output;
    Personal kind = Personal::No;
    QString equals;           // the full value, when regex is not set
    QRegularExpression regex; // matched against the full value
    bool isRegex = false;

    bool matches(const QString &value) const;
    // "= value" or "~ /regex/", shown masked by the output's kind unless full.
    QString describe(bool full) const;
};

struct Step
{
    QString name;
    QString op;
    const calls::Definition *definition = nullptr;
    calls::Arguments args;
    QString prompt;
    qint64 repeat = 1;
    // The result every call must give: the operation's success (0, a positive
    // handle for open) unless a code or "nonzero" is asked for.
    enum class Result { Success, Code, Nonzero } result = Result::Success;
    qint64 code = 0;
    std::vector<FieldExpectation> fields;
    std::optional<double> maxMs;
    double minSuccessPercent = 100.0;
    bool stopOnFail = false;
    double timeoutSeconds = 60.0;

    // Whether one call's answer meets the result and field expectations.
    bool resultMet(const calls::Result &result) const;
    QString expectedResult() const;
};

struct Plan
{
    QString file;
    calls::Arguments connection; // only what the plan sets
    std::vector<Step> steps;

    bool hasPrompts() const;
};

// Reads a plan from its text; file names it in the errors. Returns the
// errors, empty when plan was filled.
QStringList parsePlan(const QString &file, const QByteArray &text, Plan &plan);

// "NAME=VALUE" words of the command line as the operation's inputs; an error
// text for the first that is malformed or names no input of the operation.
QString parseArguments(const calls::Definition &definition, const QStringList &words, calls::Arguments &out);

} // namespace readerctl
