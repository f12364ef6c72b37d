#include "plan.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <QSet>

#include <cmath>
#include <string_view>

namespace readerctl {

bool FieldExpectation::matches(const QString &value) const
{
    return isRegex ? regex.match(value).hasMatch() : value == equals;
}

QString FieldExpectation::describe(bool full) const
{
    if (isRegex)
        return QStringLiteral("~ /%1/").arg(full ? regex.pattern() : masked(kind, regex.pattern()));
    return QStringLiteral("= %1").arg(full ? equals : masked(kind, equals));
}

bool Step::resultMet(const calls::Result &result) const
{
    switch (this->result) {
    case Result::Success:
        return result.succeeded();
    case Result::Code:
        return result.stage == calls::Result::Stage::Called && result.code == code;
    case Result::Nonzero:
        return result.stage == calls::Result::Stage::Called && result.code != 0;
    }
    return false;
}

QString Step::expectedResult() const
{
    switch (result) {
    case Result::Success:
        return op == QLatin1String("open") ? QStringLiteral("> 0") : QStringLiteral("0");
    case Result::Code:
        return QString::number(code);
    case Result::Nonzero:
        return QStringLiteral("nonzero");
    }
    return {};
}

bool Plan::hasPrompts() const
{
    for (const Step &step : steps)
        if (!step.prompt.isEmpty())
            return true;
    return false;
}

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), static_cast<int>(view.size()));
}

const char *typeName(toml::node_type type)
{
    switch (type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a number";
    case toml::node_type::boolean: return "a boolean";
    default: return "a date or time";
    }
}

class Reader
{
public:
    Reader(const QString &file, Plan &plan) : m_file(file), m_plan(plan) {}

    void error(const toml::source_region &where, const QString &what)
    {
        m_errors << QStringLiteral("%1:%2:%3: %4")
                        .arg(m_file)
                        .arg(where.begin.line)
                        .arg(where.begin.column)
                        .arg(what);
    }

    void wrongType(const toml::node &node, const QString &key, const char *wanted)
    {
        error(node.source(), QStringLiteral("%1 must be %2, not %3").arg(key, QLatin1String(wanted),
                                                                          QLatin1String(typeName(node.type()))));
    }

    std::optional<QString> string(const toml::node &node, const QString &key)
    {
        if (const auto *value = node.as_string())
            return QString::fromStdString(value->get());
        wrongType(node, key, "a string");
        return std::nullopt;
    }

    std::optional<double> number(const toml::node &node, const QString &key, double low, double high)
    {
        double value = 0;
        if (const auto *integer = node.as_integer())
            value = static_cast<double>(integer->get());
        else if (const auto *floating = node.as_floating_point())
            value = floating->get();
        else {
            wrongType(node, key, "a number");
            return std::nullopt;
        }
        if (!(value >= low && value <= high) || !std::isfinite(value)) {
            error(node.source(), QStringLiteral("%1 must be between %2 and %3").arg(key).arg(low).arg(high));
            return std::nullopt;
        }
        return value;
    }

    void connection(const toml::node &node)
    {
        const auto *table = node.as_table();
        if (!table)
            return wrongType(node, QStringLiteral("connection"), "a table");
        const calls::Spec *open = calls::find(QStringLiteral("open"));
        for (auto &&[key, value] : *table) {
            const QString name = text(key.str());
            bool known = false;
            for (const calls::Input &input : open ? open->inputs : std::vector<calls::Input>{})
                known = known || name == QLatin1String(input.name);
            if (!known) {
                error(key.source(), QStringLiteral("unknown key connection.%1").arg(name));
                continue;
            }
            if (auto string = this->string(value, QStringLiteral("connection.") + name))
                m_plan.connection.insert(name, *string);
        }
    }

    void arguments(const toml::node &node, Step &step)
    {
        const auto *table = node.as_table();
        if (!table)
            return wrongType(node, QStringLiteral("args"), "a table");
        for (auto &&[key, value] : *table) {
            const QString name = text(key.str());
            bool known = false;
            for (const calls::Input &input : step.spec->inputs)
                known = known || name == QLatin1String(input.name);
            if (!known) {
                error(key.source(), QStringLiteral("operation %1 has no input %2").arg(step.op, name));
                continue;
            }
            if (const auto *integer = value.as_integer())
                step.args.insert(name, QString::number(integer->get()));
            else if (auto string = this->string(value, QStringLiteral("args.") + name))
                step.args.insert(name, *string);
        }
    }

    void fields(const toml::node &node, Step &step)
    {
        const auto *table = node.as_table();
        if (!table)
            return wrongType(node, QStringLiteral("expect.fields"), "a table");
        for (auto &&[key, value] : *table) {
            const QString name = text(key.str());
            const calls::OutputSpec *output = nullptr;
            for (const calls::OutputSpec &candidate : step.spec->outputs)
                if (name == QLatin1String(candidate.name))
                    output = &candidate;
            if (!output) {
                error(key.source(), QStringLiteral("operation %1 has no output %2").arg(step.op, name));
                continue;
            }
            FieldExpectation field;
            field.output = name;
            field.kind = output->kind;
            if (const auto *inner = value.as_table()) {
                const toml::node *regex = inner->get("regex");
                if (!regex || inner->size() != 1) {
                    error(value.source(), QStringLiteral("expect.fields.%1 must be a string or { regex = \"...\" }").arg(name));
                    continue;
                }
                auto pattern = string(*regex, QStringLiteral("expect.fields.%1.regex").arg(name));
                if (!pattern)
                    continue;
                field.isRegex = true;
                field.regex = QRegularExpression(*pattern);
                if (!field.regex.isValid()) {
                    error(regex->source(), QStringLiteral("bad regular expression: %1").arg(field.regex.errorString()));
                    continue;
                }
            } else if (auto equals = string(value, QStringLiteral("expect.fields.") + name)) {
                field.equals = *equals;
            } else {
                continue;
            }
            step.fields.push_back(field);
        }
    }

    void expect(const toml::node &node, Step &step)
    {
        const auto *table = node.as_table();
        if (!table)
            return wrongType(node, QStringLiteral("expect"), "a table");
        for (auto &&[key, value] : *table) {
            const QString name = text(key.str());
            if (name == QLatin1String("result")) {
                if (const auto *integer = value.as_integer()) {
                    step.result = Step::Result::Code;
                    step.code = integer->get();
                } else if (const auto *string = value.as_string(); string && string->get() == "nonzero") {
                    step.result = Step::Result::Nonzero;
                } else {
                    error(value.source(), QStringLiteral("expect.result must be an integer or \"nonzero\""));
                }
            } else if (name == QLatin1String("fields")) {
                fields(value, step);
            } else if (name == QLatin1String("max_ms")) {
                step.maxMs = number(value, QStringLiteral("expect.max_ms"), 0, 1e9);
            } else if (name == QLatin1String("min_success_percent")) {
                if (auto percent = number(value, QStringLiteral("expect.min_success_percent"), 0, 100))
                    step.minSuccessPercent = *percent;
            } else {
                error(key.source(), QStringLiteral("unknown key expect.%1").arg(name));
            }
        }
    }

    void step(const toml::node &node)
    {
        const auto *table = node.as_table();
        if (!table)
            return wrongType(node, QStringLiteral("step"), "a table");
        Step step;
        const toml::node *op = table->get("op");
        if (!op) {
            error(node.source(), QStringLiteral("step has no op"));
            return;
        }
        if (auto name = string(*op, QStringLiteral("op"))) {
            step.op = *name;
            step.spec = calls::find(*name);
            if (!step.spec)
                error(op->source(), QStringLiteral("unknown operation %1").arg(*name));
        }
        for (auto &&[key, value] : *table) {
            const QString name = text(key.str());
            if (name == QLatin1String("name")) {
                if (auto string = this->string(value, name)) {
                    step.name = *string;
                    if (string->isEmpty())
                        error(value.source(), QStringLiteral("name is empty"));
                    else if (m_names.contains(*string))
                        error(value.source(), QStringLiteral("duplicate step name \"%1\"").arg(*string));
                    m_names.insert(*string);
                }
            } else if (name == QLatin1String("op")) {
                continue;
            } else if (name == QLatin1String("args")) {
                if (step.spec)
                    arguments(value, step);
            } else if (name == QLatin1String("prompt")) {
                if (auto string = this->string(value, name))
                    step.prompt = *string;
            } else if (name == QLatin1String("repeat")) {
                if (auto count = number(value, name, 1, 1e12); count && value.is_integer())
                    step.repeat = static_cast<qint64>(*count);
                else if (count)
                    wrongType(value, name, "an integer");
            } else if (name == QLatin1String("expect")) {
                if (step.spec)
                    expect(value, step);
            } else if (name == QLatin1String("on_fail")) {
                if (auto string = this->string(value, name)) {
                    if (*string == QLatin1String("stop"))
                        step.stopOnFail = true;
                    else if (*string != QLatin1String("continue"))
                        error(value.source(), QStringLiteral("on_fail must be \"continue\" or \"stop\""));
                }
            } else if (name == QLatin1String("timeout_s")) {
                if (auto seconds = number(value, name, 0.001, 86400))
                    step.timeoutSeconds = *seconds;
            } else {
                error(key.source(), QStringLiteral("unknown key %1 in a step").arg(name));
            }
        }
        if (step.name.isEmpty() && !table->get("name"))
            error(node.source(), QStringLiteral("step has no name"));
        m_plan.steps.push_back(step);
    }

    QStringList read(const QByteArray &bytes)
    {
        const std::string path = m_file.toStdString();
        toml::parse_result parsed = toml::parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), path);
        if (!parsed) {
            error(parsed.error().source(), text(parsed.error().description()));
            return m_errors;
        }
        const toml::table &root = parsed.table();
        for (auto &&[key, value] : root) {
            const QString name = text(key.str());
            if (name == QLatin1String("connection")) {
                connection(value);
            } else if (name == QLatin1String("step")) {
                const auto *array = value.as_array();
                if (!array) {
                    wrongType(value, name, "an array of tables ([[step]])");
                    continue;
                }
                for (const toml::node &element : *array)
                    step(element);
            } else {
                error(key.source(), QStringLiteral("unknown key %1").arg(name));
            }
        }
        if (m_errors.isEmpty() && m_plan.steps.empty())
            m_errors << QStringLiteral("%1:1:1: the plan has no [[step]]").arg(m_file);
        return m_errors;
    }

private:
    QString m_file;
    Plan &m_plan;
    QStringList m_errors;
    QSet<QString> m_names;
};

} // namespace

QStringList parsePlan(const QString &file, const QByteArray &text, Plan &plan)
{
    plan = Plan{};
    plan.file = file;
    QStringList errors = Reader(file, plan).read(text);
    if (!errors.isEmpty())
        plan = Plan{};
    return errors;
}

QString parseArguments(const calls::Spec &spec, const QStringList &words, calls::Arguments &out)
{
    for (const QString &word : words) {
        const int equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return QStringLiteral("%1: not NAME=VALUE").arg(word);
        const QString name = word.left(equals);
        bool known = false;
        for (const calls::Input &input : spec.inputs)
            known = known || name == QLatin1String(input.name);
        if (!known)
            return QStringLiteral("operation %1 has no input %2").arg(QLatin1String(spec.name), name);
        out.insert(name, word.mid(equals + 1));
    }
    return {};
}

} // namespace readerctl
