#include "bridgemain.h"
#include "config.h"
#include "loader.h"
#include "origin.h"
#include "service.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>

namespace bridge {

namespace {

constexpr const char *adminFilePath = "/etc/readerdemo/bridge.toml";

void print(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int runMain(int argc, char *argv[])
{
    bool prompt = hasDisplay();
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--no-prompt" || argument == "--origins" || argument == "--revoke"
            || argument.startsWith("--revoke="))
            prompt = false;
    }
    // Without a display there is nobody to ask: no widgets at all then.
    std::unique_ptr<QCoreApplication> app(prompt ? new QApplication(argc, argv)
                                                 : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("readerbridge"));
    if (prompt)
        QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the card reader's operations for allowed web pages, over a WebSocket on the\n"
        "loopback addresses only.\n\n"
        "Exit status: 0 success, 1 the service could not start or --revoke found no such\n"
        "origin, 2 wrong options or an administrator's file that is refused."));
    parser.addHelpOption();
    const QCommandLineOption foreground(
        QStringLiteral("foreground"),
        QStringLiteral("Log every connection and request to standard error, for a terminal."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Listen on this port instead of the file's or %1.").arg(defaultPort),
        QStringLiteral("port"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("The administrator's file (default %1).").arg(QLatin1String(adminFilePath)),
        QStringLiteral("file"), QString::fromLatin1(adminFilePath));
    const QCommandLineOption noPrompt(
        QStringLiteral("no-prompt"),
        QStringLiteral(
            "Never ask: only the file's origins and stored \"Always allow\" answers connect."));
    const QCommandLineOption origins(
        QStringLiteral("origins"),
        QStringLiteral("List the origins allowed by the file and by \"Always allow\", then end."));
    const QCommandLineOption revoke(
        QStringLiteral("revoke"),
        QStringLiteral("Forget the \"Always allow\" answers given to this origin, then end."),
        QStringLiteral("origin"));
    parser.addOptions({foreground, port, config, noPrompt, origins, revoke});
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        print(stderr, parser.errorText().isEmpty()
                          ? QStringLiteral("readerbridge takes no arguments")
                          : parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        print(stdout, parser.helpText());
        return 0;
    }

    ConsentStore store(consentStorePath());
    if (parser.isSet(revoke)) {
        const QString origin = normaliseOrigin(parser.value(revoke).toLatin1());
        if (origin.isEmpty()) {
            print(stderr, QStringLiteral("%1 is not an origin").arg(parser.value(revoke)));
            return 2;
        }
        if (!store.revoke(origin)) {
            print(stderr, QStringLiteral("%1 was not always allowed").arg(origin));
            return 1;
        }
        print(stdout, QStringLiteral("%1 revoked").arg(origin));
        return 0;
    }

    AdminFile admin = readAdminFile(parser.value(config));
    if (!admin.error.isEmpty()) {
        print(stderr, QStringLiteral("%1: %2").arg(parser.value(config), admin.error));
        return 2;
    }
    if (parser.isSet(origins)) {
        for (auto it = admin.origins.begin(); it != admin.origins.end(); ++it)
            print(stdout, QStringLiteral("%1 file %2")
                              .arg(it.key(), grantNames(it.value()).join(QLatin1Char(','))));
        const QMap<QString, Grants> stored = store.all();
        for (auto it = stored.begin(); it != stored.end(); ++it)
            print(stdout, QStringLiteral("%1 always %2")
                              .arg(it.key(), grantNames(it.value()).join(QLatin1Char(','))));
        return 0;
    }

    Options options;
    options.verbose = parser.isSet(foreground);
    options.port = admin.port;
    if (parser.isSet(port)) {
        bool ok = false;
        const uint value = parser.value(port).toUInt(&ok);
        if (!ok || value == 0 || value > 65535) {
            print(stderr, QStringLiteral("--port takes a number from 1 to 65535"));
            return 2;
        }
        options.port = static_cast<quint16>(value);
    }

    char library[] = "libCommonInterface.so";
    if (!LoadCommonInterface(library)) {
        print(stderr, QStringLiteral("libCommonInterface.so加载失败"));
        return 1;
    }

    AuditLog audit(auditLogPath());
    DialogAsker dialogs;
    Service service(options, admin, &store, &audit,
                    prompt && !parser.isSet(noPrompt) ? &dialogs : nullptr);
    QString error;
    if (!service.listen(&error)) {
        print(stderr, QStringLiteral("cannot listen on %1").arg(error));
        return 1;
    }
    return app->exec();
}

} // namespace bridge
