#include "auditlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace bridge {

AuditLog::AuditLog(QString path, qint64 maxBytes) : m_path(std::move(path)), m_maxBytes(maxBytes) {}

bool AuditLog::record(const QString &origin, const QString &verb, const QString &outcome,
                      const QStringList &fields)
{
    const QJsonObject line{
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("origin"), origin},
        {QStringLiteral("verb"), verb},
        {QStringLiteral("outcome"), outcome},
        {QStringLiteral("fields"), QJsonArray::fromStringList(fields)},
    };
    const QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (QFileInfo(m_path).size() + text.size() > m_maxBytes) {
        const QString previous = m_path + QStringLiteral(".1");
        QFile::remove(previous);
        QFile::rename(m_path, previous);
    }
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return file.write(text) == text.size();
}

} // namespace bridge
