// The record of what left: one JSON line per request with the time, the
// origin, the verb, the outcome and the names of the fields handed out,
// never their values. When the file reaches its bounded size it becomes
// "<file>.1" (replacing the one before) and a new file is begun.
#pragma once

#include <QString>
#include <QStringList>

namespace bridge {

class AuditLog
{
public:
    explicit AuditLog(QString path, qint64 maxBytes = 1024 * 1024);

    // False when the line could not be written.
    bool record(const QString &origin, const QString &verb, const QString &outcome,
                const QStringList &fields);

    QString path() const { return m_path; }

private:
    QString m_path;
    qint64 m_maxBytes;
};

} // namespace bridge
