// Running the real readerctl from a test: the program (READERCTL) on the
// simulated reader (SIMULATOR_DIR on the loader's path), with no display.
#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace readerctltest {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

inline QProcessEnvironment environment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_LIBRARY_PATH", qEnvironmentVariable("SIMULATOR_DIR"));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    return env;
}

// Starts readerctl with arguments; standard input is closed (not a terminal).
inline void start(QProcess &process, const QStringList &arguments)
{
    process.setProcessEnvironment(environment());
    process.start(qEnvironmentVariable("READERCTL"), arguments);
    process.closeWriteChannel();
    QVERIFY(process.waitForStarted());
}

inline Run finish(QProcess &process, int ms = 60000)
{
    Run run;
    if (!process.waitForFinished(ms))
        process.kill();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline Run readerctl(const QStringList &arguments)
{
    QProcess process;
    start(process, arguments);
    return finish(process);
}

inline QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

inline QJsonObject json(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace readerctltest
