// Where allowed origins come from: the administrator's file and a person's
// stored consent.
//
// The administrator's file (TOML, /etc/readerdemo/bridge.toml):
//
//   port = 47211
//   [[origin]]
//   url = "https://registration.example.org"
//   grants = ["reader", "identity", "bank"]
//   [[origin]]
//   url = "http://kiosk.test:8080"   # http beyond localhost needs allow_http
//   grants = ["reader", "identity", "full"]
//   allow_http = true
//
// A file with anything else in it (an unknown key or grant, an origin that is
// not plain, http without allow_http) is refused whole, with the line, so that
// a mistake is noticed at once instead of silently allowing less or more.
#pragma once

#include "grants.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace bridge {

constexpr quint16 defaultPort = 47211;

struct AdminFile
{
    quint16 port = defaultPort;
    QMap<QString, Grants> origins; // by normalised origin
    QString error;                 // not empty: the file was refused, with why and where
};

// Parses the file's text (pure: no I/O).
AdminFile parseAdminFile(const QByteArray &text);
// Reads and parses the file; a file that does not exist allows nothing and
// keeps the default port.
AdminFile readAdminFile(const QString &path);

// "Always allow" answers, per user: a JSON file of origins and the grants a
// person gave each. Only consentable grants are ever read from it or written
// to it.
class ConsentStore
{
public:
    explicit ConsentStore(QString path);

    Grants grants(const QString &origin) const;
    QMap<QString, Grants> all() const;
    // Adds grants to the origin's and saves; false when it could not be saved.
    bool allow(const QString &origin, Grants grants);
    // Forgets the origin; false when it was not stored or the file could not be saved.
    bool revoke(const QString &origin);

private:
    QMap<QString, Grants> load() const;
    bool save(const QMap<QString, Grants> &origins) const;

    QString m_path;
};

// The per-user files: $XDG_CONFIG_HOME/readerdemo/bridge-consent.json and
// $XDG_STATE_HOME/readerdemo/bridge-audit.log (with their usual defaults
// ~/.config and ~/.local/state).
QString consentStorePath();
QString auditLogPath();

} // namespace bridge
