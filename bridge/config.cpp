#include "config.h"
#include "origin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <toml++/toml.h>

#include <string_view>

namespace bridge {

namespace {

QString where(const toml::node &node)
{
    return QStringLiteral(" (line %1)").arg(node.source().begin.line);
}

QString parseOrigin(const toml::table &entry, AdminFile *file)
{
    for (const auto &[key, value] : entry)
        if (key != "url" && key != "grants" && key != "allow_http")
            return QStringLiteral("unknown key %1 in an origin")
                       .arg(QString::fromStdString(std::string(key.str())))
                   + where(value);
    const auto url = entry["url"].value<std::string>();
    if (!url)
        return QStringLiteral("an origin without a url text") + where(entry);
    const QString origin = normaliseOrigin(QByteArray::fromStdString(*url));
    if (origin.isEmpty())
        return QStringLiteral("\"%1\" is not a plain http or https origin")
                   .arg(QString::fromStdString(*url))
               + where(entry);
    const auto allowHttp = entry["allow_http"].value_or(false);
    if (entry.contains("allow_http") && !entry["allow_http"].is_boolean())
        return QStringLiteral("allow_http must be true or false") + where(entry);
    if (!secureOrLocal(origin) && !allowHttp)
        return QStringLiteral("%1 is http: add allow_http = true to allow it").arg(origin)
               + where(entry);
    const toml::array *names = entry["grants"].as_array();
    if (!names)
        return QStringLiteral("%1 has no grants list").arg(origin) + where(entry);
    Grants grants = NoGrant;
    for (const toml::node &name : *names) {
        const auto text = name.value<std::string>();
        const Grant grant = text ? grantNamed(QString::fromStdString(*text)) : NoGrant;
        if (grant == NoGrant)
            return QStringLiteral("unknown grant in %1").arg(origin) + where(name);
        grants |= grant;
    }
    if (file->origins.contains(origin))
        return QStringLiteral("%1 is listed twice").arg(origin) + where(entry);
    file->origins.insert(origin, grants);
    return {};
}

} // namespace

AdminFile parseAdminFile(const QByteArray &text)
{
    AdminFile file;
    toml::table root;
    try {
        root = toml::parse(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    } catch (const toml::parse_error &error) {
        file.error = QString::fromUtf8(error.description().data(),
                                       static_cast<int>(error.description().size()))
                     + QStringLiteral(" (line %1)").arg(error.source().begin.line);
        return file;
    }
    for (const auto &[key, value] : root) {
        if (key == "port") {
            const auto port = value.value<int64_t>();
            if (!value.is_integer() || !port || *port < 1 || *port > 65535) {
                file.error =
                    QStringLiteral("port must be an integer from 1 to 65535") + where(value);
                return file;
            }
            file.port = static_cast<quint16>(*port);
        } else if (key == "origin" && value.is_array_of_tables()) {
            for (const toml::node &entry : *value.as_array()) {
                file.error = parseOrigin(*entry.as_table(), &file);
                if (!file.error.isEmpty())
                    return file;
            }
        } else {
            file.error =
                QStringLiteral("unknown key %1").arg(QString::fromStdString(std::string(key.str())))
                + where(value);
            return file;
        }
    }
    return file;
}

AdminFile readAdminFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        AdminFile refused;
        refused.error = file.errorString();
        return refused;
    }
    AdminFile parsed = parseAdminFile(file.read(1024 * 1024));
    if (!parsed.error.isEmpty())
        parsed.origins.clear();
    return parsed;
}

ConsentStore::ConsentStore(QString path) : m_path(std::move(path)) {}

QMap<QString, Grants> ConsentStore::load() const
{
    QFile file(m_path);
    QMap<QString, Grants> origins;
    if (!file.open(QIODevice::ReadOnly))
        return origins;
    const QJsonObject stored = QJsonDocument::fromJson(file.read(1024 * 1024)).object();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const QString origin = normaliseOrigin(it.key().toLatin1());
        if (origin != it.key() || !secureOrLocal(origin))
            continue;
        Grants grants = NoGrant;
        for (const QJsonValue name : it.value().toArray())
            grants |= grantNamed(name.toString()) & consentable;
        if (grants)
            origins.insert(origin, grants);
    }
    return origins;
}

bool ConsentStore::save(const QMap<QString, Grants> &origins) const
{
    QJsonObject stored;
    for (auto it = origins.begin(); it != origins.end(); ++it)
        stored.insert(it.key(), QJsonArray::fromStringList(grantNames(it.value())));
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(stored).toJson());
    return file.commit();
}

Grants ConsentStore::grants(const QString &origin) const
{
    return load().value(origin, NoGrant);
}

QMap<QString, Grants> ConsentStore::all() const
{
    return load();
}

bool ConsentStore::allow(const QString &origin, Grants grants)
{
    QMap<QString, Grants> origins = load();
    origins[origin] |= grants & consentable;
    return save(origins);
}

bool ConsentStore::revoke(const QString &origin)
{
    QMap<QString, Grants> origins = load();
    if (!origins.remove(origin))
        return false;
    return save(origins);
}

namespace {
QString xdgFolder(const char *variable, const char *fallback)
{
    const QString set = qEnvironmentVariable(variable);
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return set;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}
} // namespace

QString consentStorePath()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config")
           + QStringLiteral("/readerdemo/bridge-consent.json");
}

QString auditLogPath()
{
    return xdgFolder("XDG_STATE_HOME", ".local/state")
           + QStringLiteral("/readerdemo/bridge-audit.log");
}

} // namespace bridge
