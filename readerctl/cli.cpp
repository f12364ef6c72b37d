#include "cli.h"

#include "loader.h"
#include "photomodule.h"
#include "runner.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace readerctl {

namespace {

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

// QCommandLineParser names the program after the application object's
// arguments; readerctl makes one only to print help (see main.cpp).
QString helpFor(const QCommandLineParser &parser, const QString &program)
{
    if (QCoreApplication::instance())
        return parser.helpText();
    QByteArray name = QFile::encodeName(program);
    int argc = 1;
    char *argv[] = {name.data(), nullptr};
    const QCoreApplication application(argc, argv);
    return parser.helpText();
}

int usage(const QString &message)
{
    std::fprintf(stderr, "readerctl: %s\nTry 'readerctl --help'.\n", qPrintable(message));
    return ExitUsage;
}

const char *const helpText = R"(Tests a card reader from the command line through libCommonInterface.so,
with the same calls, conversions and texts as the window.

Commands:
  info                       the library's entry points, then the reader's
                             model, versions, connection test and security
                             module (--json: as JSON)
  call OP [NAME=VALUE...]    one operation; prints the status text and the
                             outputs (--json: the report as JSON;
                             --photo FILE: the identity photo as PNG)
  run PLAN.toml              the steps of a test plan (--repeat N: the whole
                             plan N times; --no-prompt: do not wait at prompts)
  loop OP [NAME=VALUE...]    one operation again and again (--count N or
                             --duration 10m), with statistics
  ops                        the operations with their inputs, defaults and
                             outputs (--json: as JSON)

Reports (run and loop): --json FILE, --junit FILE, --html FILE.
Personal data (names, identity and card numbers, track data) is masked in
every output and report by default; --show-personal-data shows it in full.
Photos are never part of a report.

Exit status: 0 every step met its expectations; 1 at least one did not, or a
call hung; 2 usage or plan error, nothing was called; 3 the library could not
be loaded; 4 the reader could not be opened; 5 interrupted, reports written.)";

struct Options
{
    QCommandLineOption library{QStringLiteral("library"), QStringLiteral("Open the device library at <path> instead of "
                               "libCommonInterface.so on the loader's search path."), QStringLiteral("path")};
    QCommandLineOption portType{QStringLiteral("port-type"), QStringLiteral("Port type of the connection."), QStringLiteral("type")};
    QCommandLineOption portParam{QStringLiteral("port-param"), QStringLiteral("Port parameter of the connection."), QStringLiteral("param")};
    QCommandLineOption extended{QStringLiteral("extended"), QStringLiteral("Extended parameter of the connection."), QStringLiteral("text")};
    QCommandLineOption showPersonal{QStringLiteral("show-personal-data"),
                                    QStringLiteral("Show personal data in full (masked by default).")};
    QCommandLineOption timeout{QStringLiteral("timeout"), QStringLiteral("Seconds a call may take before it counts as hung "
                               "(call and loop; default 60)."), QStringLiteral("seconds"), QStringLiteral("60")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("Write the JSON report to <file>."), QStringLiteral("file")};
    QCommandLineOption jsonFlag{QStringLiteral("json"), QStringLiteral("Print JSON instead of text.")};
    QCommandLineOption junit{QStringLiteral("junit"), QStringLiteral("Write the JUnit XML report to <file>."), QStringLiteral("file")};
    QCommandLineOption html{QStringLiteral("html"), QStringLiteral("Write the HTML report to <file>."), QStringLiteral("file")};
    QCommandLineOption photo{QStringLiteral("photo"), QStringLiteral("Save the identity photo as PNG."), QStringLiteral("file")};
    QCommandLineOption repeat{QStringLiteral("repeat"), QStringLiteral("Run the whole plan <n> times."), QStringLiteral("n"), QStringLiteral("1")};
    QCommandLineOption noPrompt{QStringLiteral("no-prompt"), QStringLiteral("Do not wait for Enter at the steps' prompts.")};
    QCommandLineOption count{QStringLiteral("count"), QStringLiteral("Call <n> times."), QStringLiteral("n")};
    QCommandLineOption duration{QStringLiteral("duration"), QStringLiteral("Call for <time> (e.g. 90s, 10m, 1h)."), QStringLiteral("time")};

    QList<QCommandLineOption> common() const { return {library, portType, portParam, extended, showPersonal}; }
};

// A parser of one command's words, with the options every command takes.
struct Command
{
    QCommandLineParser parser;
    const QCommandLineParser &global;
    const Options &options;

    Command(const QCommandLineParser &global, const Options &options, const QList<QCommandLineOption> &own)
        : global(global), options(options)
    {
        parser.addOptions(options.common());
        parser.addOptions(own);
    }
    // The options every command takes may also come before the command.
    bool common(const QCommandLineOption &option) const
    {
        for (const QCommandLineOption &candidate : options.common())
            if (candidate.names() == option.names())
                return true;
        return false;
    }
    bool isSet(const QCommandLineOption &option) const
    {
        return parser.isSet(option) || (common(option) && global.isSet(option));
    }
    QString value(const QCommandLineOption &option) const
    {
        return parser.isSet(option) || !common(option) ? parser.value(option) : global.value(option);
    }
};

// "10m", "90s", "1.5h", "500ms": milliseconds, or -1.
qint64 durationMs(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)(ms|s|m|h)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return -1;
    const double value = match.captured(1).toDouble();
    const QString unit = match.captured(2);
    const double factor = unit == QLatin1String("ms") ? 1 : unit == QLatin1String("m") ? 60000
                        : unit == QLatin1String("h") ? 3600000 : 1000;
    const double ms = value * factor;
    // Beyond a hundred years the digits would overflow the clock, not wait longer.
    return ms <= 3.2e12 ? static_cast<qint64>(ms) : -1;
}

qint64 positive(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value > 0 ? value : -1;
}

QString libraryPath(const QString &requested)
{
    void *handle = dlopen(QFile::encodeName(requested).constData(), RTLD_LAZY | RTLD_NOLOAD);
    link_map *map = nullptr;
    QString path = requested;
    if (handle && dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name)
        path = QFile::decodeName(map->l_name);
    if (handle)
        dlclose(handle);
    // A folder on LD_LIBRARY_PATH may be relative; the report names the file.
    if (!path.contains(QLatin1Char('/')) || path.startsWith(QLatin1Char('/')))
        return path;
    return QFileInfo(path).absoluteFilePath();
}

// Loads the library (the window's bare name unless --library) and gives its
// resolved path; exit status 3 with the window's words when it cannot.
int load(const Command &command, QString &path)
{
    const QString requested = command.isSet(command.options.library) ? command.value(command.options.library)
                                                                    : QStringLiteral("libCommonInterface.so");
    QByteArray name = QFile::encodeName(requested);
    if (!LoadCommonInterface(name.data())) {
        const char *reason = dlerror();
        std::fprintf(stderr, "libCommonInterface.so加载失败: %s\n", reason ? reason : qPrintable(requested));
        return ExitLibrary;
    }
    path = libraryPath(requested);
    return ExitPassed;
}

// The connection: the dialog's defaults, then the plan's, then the options.
calls::Arguments connection(const Command &command, const calls::Arguments &plan)
{
    calls::Arguments out;
    for (const calls::Input &input : calls::find(QStringLiteral("open"))->inputs)
        out.insert(QLatin1String(input.name), QString::fromUtf8(input.defaultValue));
    for (auto it = plan.begin(); it != plan.end(); ++it)
        out.insert(it.key(), it.value());
    const std::pair<const QCommandLineOption *, const char *> options[] = {
        {&command.options.portType, "port_type"}, {&command.options.portParam, "port_param"},
        {&command.options.extended, "extended"}};
    for (const auto &[option, name] : options)
        if (command.isSet(*option))
            out.insert(QLatin1String(name), command.value(*option));
    return out;
}

const char *kindName(Personal kind)
{
    switch (kind) {
    case Personal::No: return "no";
    case Personal::Name: return "name";
    case Personal::IdNumber: return "id_number";
    case Personal::CardNumber: return "card_number";
    case Personal::Secret: return "secret";
    case Personal::Photo: return "photo";
    case Personal::BankElements: return "bank_elements";
    }
    return "";
}

int ops(const Command &command)
{
    if (command.isSet(command.options.jsonFlag)) {
        QJsonArray array;
        for (const calls::Definition &definition : calls::definitions()) {
            QJsonArray inputs, outputs;
            for (const calls::Input &input : definition.inputs)
                inputs.append(QJsonObject{{QStringLiteral("name"), QLatin1String(input.name)},
                                          {QStringLiteral("default"), QString::fromUtf8(input.defaultValue)}});
            for (const calls::OutputDefinition &output : definition.outputs)
                outputs.append(QJsonObject{{QStringLiteral("name"), QLatin1String(output.name)},
                                           {QStringLiteral("personal"), QLatin1String(kindName(output.kind))}});
            array.append(QJsonObject{{QStringLiteral("op"), QLatin1String(definition.name)},
                                     {QStringLiteral("entry_point"), QLatin1String(definition.entryPoint)},
                                     {QStringLiteral("description"), QString::fromUtf8(definition.description)},
                                     {QStringLiteral("inputs"), inputs},
                                     {QStringLiteral("outputs"), outputs}});
        }
        print(QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("schema_version"), schemaVersion},
                                                          {QStringLiteral("ops"), array}})
                                    .toJson(QJsonDocument::Indented)));
        return ExitPassed;
    }
    for (const calls::Definition &definition : calls::definitions()) {
        QStringList inputs, outputs;
        for (const calls::Input &input : definition.inputs)
            inputs << QStringLiteral("%1=%2").arg(QLatin1String(input.name), QString::fromUtf8(input.defaultValue));
        for (const calls::OutputDefinition &output : definition.outputs)
            outputs << QLatin1String(output.name);
        print(QStringLiteral("%1  %2  %3\n").arg(QLatin1String(definition.name), -18).arg(QLatin1String(definition.entryPoint), -22)
                  .arg(QString::fromUtf8(definition.description)));
        if (!inputs.isEmpty())
            print(QStringLiteral("    inputs:  %1\n").arg(inputs.join(QLatin1Char(' '))));
        if (!outputs.isEmpty())
            print(QStringLiteral("    outputs: %1\n").arg(outputs.join(QLatin1Char(' '))));
    }
    return ExitPassed;
}

// The entry points the window calls, then the rest, split by whether the
// library exports them.
void entryPoints(QStringList &exported, QStringList &missing)
{
    QStringList calledExported, calledMissing, restExported, restMissing;
#define READERCTL_CALLED(name, params, args)                                                       \
    (isBound(EntryPoint::name) ? calledExported : calledMissing) << QStringLiteral(#name);
#define READERCTL_UNCALLED(name)                                                                   \
    (isBound(EntryPoint::name) ? restExported : restMissing) << QStringLiteral(#name);
    COMMON_INTERFACE_ENTRY_POINTS(READERCTL_CALLED, READERCTL_UNCALLED)
#undef READERCTL_CALLED
#undef READERCTL_UNCALLED
    exported = calledExported + restExported;
    missing = calledMissing + restMissing;
}

int info(const Command &command)
{
    QString path;
    if (const int status = load(command, path))
        return status;
    const bool full = command.isSet(command.options.showPersonal);
    const bool json = command.isSet(command.options.jsonFlag);
    QStringList exported, missing;
    entryPoints(exported, missing);
    const calls::Arguments with = connection(command, {});
    calls::Session session;
    QJsonObject root{{QStringLiteral("schema_version"), schemaVersion},
                     {QStringLiteral("command"), QStringLiteral("info")},
                     {QStringLiteral("library"), path},
                     {QStringLiteral("exported"), QJsonArray::fromStringList(exported)},
                     {QStringLiteral("missing"), QJsonArray::fromStringList(missing)}};
    if (!json) {
        print(QStringLiteral("library: %1\n").arg(path));
        print(QStringLiteral("exported (%1 of %2): %3\n").arg(exported.size()).arg(entryPointCount).arg(exported.join(QLatin1Char(' '))));
        print(QStringLiteral("missing (%1): %2\n").arg(missing.size()).arg(missing.join(QLatin1Char(' '))));
    }
    const calls::Result opened = calls::run(*calls::find(QStringLiteral("open")), with, session);
    root.insert(QStringLiteral("open"), QJsonObject{{QStringLiteral("result"), opened.code},
                                                    {QStringLiteral("status"), opened.status}});
    if (!json)
        print(QStringLiteral("open: %1\n").arg(opened.status));
    int status = ExitPassed;
    if (!opened.succeeded()) {
        status = ExitOpen;
    } else {
        QJsonArray answers;
        for (const char *op : {"model", "firmware", "heartbeat", "sam-status", "sam-id", "sam-status-ga467", "sam-id-ga467"}) {
            const calls::Definition *definition = calls::find(QLatin1String(op));
            if (!definition)
                continue;
            const calls::Result result = calls::run(*definition, {}, session);
            if (!result.succeeded())
                status = ExitFailed;
            QJsonObject outputs;
            QString line = QStringLiteral("%1: %2").arg(QLatin1String(op), result.status);
            for (const calls::Output &output : calls::shownOutputs(result, full)) {
                outputs.insert(output.name, output.value);
                line += QStringLiteral("\n    %1: %2").arg(output.name, output.value);
            }
            answers.append(QJsonObject{{QStringLiteral("op"), QLatin1String(op)},
                                       {QStringLiteral("result"), result.code},
                                       {QStringLiteral("status"), result.status},
                                       {QStringLiteral("outputs"), outputs}});
            if (!json)
                print(line + QLatin1Char('\n'));
        }
        root.insert(QStringLiteral("calls"), answers);
        calls::run(*calls::find(QStringLiteral("close")), {}, session);
    }
    root.insert(QStringLiteral("exit_status"), status);
    if (json)
        print(QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
    std::fflush(stdout);
    return status;
}

ReportFiles reportFiles(const Command &command)
{
    ReportFiles files;
    files.json = command.value(command.options.json);
    files.junit = command.value(command.options.junit);
    files.html = command.value(command.options.html);
    return files;
}

RunOptions runOptions(const Command &command)
{
    RunOptions options;
    options.showPersonal = command.isSet(command.options.showPersonal);
    options.progress = isatty(STDERR_FILENO) == 1;
    return options;
}

// One operation as a plan of one step, from "OP NAME=VALUE..." words.
int oneStep(const Command &command, const QStringList &words, Plan &plan)
{
    if (words.isEmpty())
        return usage(QStringLiteral("name an operation (readerctl ops lists them)"));
    Step step;
    step.name = step.op = words.first();
    step.definition = calls::find(step.op);
    if (!step.definition)
        return usage(QStringLiteral("unknown operation %1 (readerctl ops lists them)").arg(step.op));
    const QString error = parseArguments(*step.definition, words.mid(1), step.args);
    if (!error.isEmpty())
        return usage(error);
    if (command.isSet(command.options.timeout)) { // else the step's default, 60 s
        // The bounds of a plan's timeout_s; "inf" or 1e300 would overflow the
        // watchdog's clock.
        bool ok = false;
        step.timeoutSeconds = command.value(command.options.timeout).toDouble(&ok);
        if (!ok || !(step.timeoutSeconds >= 0.001 && step.timeoutSeconds <= 86400))
            return usage(QStringLiteral("--timeout wants a number of seconds between 0.001 and 86400"));
    }
    plan.steps.push_back(step);
    return ExitPassed;
}

// Saves the photo through the photo module, beside the program or in the
// package's private folder; false when there is no module or no photo.
bool savePhoto(const QByteArray &photo, const QString &path)
{
    const QDir folder(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
    for (const char *candidate : {photoModuleName, photoModuleInstalled}) {
        void *module = dlopen(QFile::encodeName(folder.filePath(QLatin1String(candidate))).constData(), RTLD_NOW);
        if (!module)
            continue;
        auto save = reinterpret_cast<ReaderctlSavePhoto>(dlsym(module, "readerctlSavePhoto"));
        return save && save(photo.toBase64().constData(), QFile::encodeName(path).constData());
    }
    std::fprintf(stderr, "readerctl: %s not found beside the program\n", photoModuleName);
    return false;
}

// What call prints: the status text and the outputs by name; the open's
// status when the reader was not opened.
QByteArray callText(const Report &report)
{
    const StepReport *step = report.steps.empty() ? nullptr : &report.steps.front();
    if (!step || step->calls == 0)
        return (report.openFailure + QLatin1Char('\n')).toUtf8();
    if (step->verdict == StepReport::Verdict::Hung)
        return (step->firstFailure->status + QLatin1Char('\n')).toUtf8();
    QString text = step->lastStatus + QLatin1Char('\n');
    for (const calls::Output &output : step->outputs)
        text += QStringLiteral("%1: %2\n").arg(output.name, output.value);
    return text.toUtf8();
}

int call(const Command &command)
{
    Plan plan;
    if (const int status = oneStep(command, command.parser.positionalArguments(), plan))
        return status;
    Report report;
    report.command = QStringLiteral("call");
    if (const int status = load(command, report.library))
        return status;
    ReportFiles files;
    files.standardOutput = [json = command.isSet(command.options.jsonFlag)](const Report &report) {
        return json ? jsonReport(report) : callText(report);
    };
    RunOptions options = runOptions(command);
    options.progress = false;
    options.singleCall = true;
    Runner::catchSignals();
    Runner runner(report, files, options);
    int status = runner.run(plan, connection(command, {}));
    const calls::Result &result = runner.lastResult();
    if (command.isSet(command.options.photo) && status != ExitOpen) {
        if (!savePhoto(result.photo, command.value(command.options.photo))) {
            std::fprintf(stderr, "readerctl: no photo saved to %s\n", qPrintable(command.value(command.options.photo)));
            if (status == ExitPassed)
                status = ExitFailed;
        }
    }
    return status;
}

int loop(const Command &command)
{
    Plan plan;
    if (const int status = oneStep(command, command.parser.positionalArguments(), plan))
        return status;
    RunOptions options = runOptions(command);
    const bool counted = command.isSet(command.options.count), timed = command.isSet(command.options.duration);
    if (counted == timed)
        return usage(QStringLiteral("loop wants one of --count N and --duration TIME"));
    if (counted) {
        plan.steps.front().repeat = positive(command.value(command.options.count));
        if (plan.steps.front().repeat < 0)
            return usage(QStringLiteral("--count wants a positive whole number"));
    } else {
        options.durationMs = durationMs(command.value(command.options.duration));
        if (options.durationMs <= 0)
            return usage(QStringLiteral("--duration wants a time such as 90s, 10m or 1h"));
        options.unlimited = true;
    }
    Report report;
    report.command = QStringLiteral("loop");
    if (const int status = load(command, report.library))
        return status;
    Runner::catchSignals();
    return Runner(report, reportFiles(command), options).run(plan, connection(command, {}));
}

int runPlan(const Command &command)
{
    const QStringList words = command.parser.positionalArguments();
    if (words.size() != 1)
        return usage(QStringLiteral("run wants one plan file"));
    RunOptions options = runOptions(command);
    options.passes = positive(command.value(command.options.repeat));
    if (options.passes < 0)
        return usage(QStringLiteral("--repeat wants a positive whole number"));
    options.prompts = !command.isSet(command.options.noPrompt);
    QFile file(words.first());
    if (!file.open(QIODevice::ReadOnly))
        return usage(QStringLiteral("cannot read %1: %2").arg(words.first(), file.errorString()));
    Plan plan;
    const QStringList errors = parsePlan(words.first(), file.readAll(), plan);
    if (!errors.isEmpty()) {
        for (const QString &error : errors)
            std::fprintf(stderr, "%s\n", qPrintable(error));
        return ExitUsage;
    }
    if (options.prompts && plan.hasPrompts() && isatty(STDIN_FILENO) != 1)
        return usage(QStringLiteral("the plan has prompts and standard input is not a terminal; use --no-prompt"));
    Report report;
    report.command = QStringLiteral("run");
    report.plan = words.first();
    if (const int status = load(command, report.library))
        return status;
    Runner::catchSignals();
    return Runner(report, reportFiles(command), options).run(plan, connection(command, plan.connection));
}

} // namespace

int run(const QStringList &arguments)
{
    Options options;
    QCommandLineParser global;
    global.setApplicationDescription(QString::fromUtf8(helpText));
    const QCommandLineOption help = global.addHelpOption();
    global.addOptions(options.common());
    global.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info, call, run, loop or ops"));
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!global.parse(arguments))
        return usage(global.errorText());
    if (global.isSet(help)) {
        print(helpFor(global, arguments.value(0)));
        return ExitPassed;
    }
    QStringList words = global.positionalArguments();
    if (words.isEmpty())
        return usage(QStringLiteral("name a command: info, call, run, loop or ops"));
    const QString name = words.takeFirst();

    QList<QCommandLineOption> own;
    int (*command)(const Command &) = nullptr;
    if (name == QLatin1String("info")) {
        own = {options.jsonFlag};
        command = info;
    } else if (name == QLatin1String("ops")) {
        own = {options.jsonFlag};
        command = ops;
    } else if (name == QLatin1String("call")) {
        own = {options.jsonFlag, options.photo, options.timeout};
        command = call;
    } else if (name == QLatin1String("loop")) {
        own = {options.json, options.junit, options.html, options.count, options.duration, options.timeout};
        command = loop;
    } else if (name == QLatin1String("run")) {
        own = {options.json, options.junit, options.html, options.repeat, options.noPrompt};
        command = runPlan;
    } else {
        return usage(QStringLiteral("unknown command %1").arg(name));
    }
    Command parsed(global, options, own);
    parsed.parser.setApplicationDescription(QString::fromUtf8(helpText));
    const QCommandLineOption commandHelp = parsed.parser.addHelpOption();
    parsed.parser.addPositionalArgument(name, QStringLiteral("the command"));
    if (!parsed.parser.parse(QStringList{arguments.value(0)} + words))
        return usage(parsed.parser.errorText());
    if (parsed.parser.isSet(commandHelp)) {
        print(helpFor(parsed.parser, arguments.value(0)));
        return ExitPassed;
    }
    return command(parsed);
}

} // namespace readerctl
