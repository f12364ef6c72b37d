#include "origin.h"

#include <QList>

namespace bridge {

namespace {

bool isPort(const QByteArray &digits, quint16 *value)
{
    if (digits.isEmpty() || digits.size() > 5 || digits.startsWith('0'))
        return false;
    quint32 number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<quint32>(c - '0');
    }
    if (number == 0 || number > 65535)
        return false;
    *value = static_cast<quint16>(number);
    return true;
}

// A host name or IPv4 address of labels [a-z0-9-], none empty (so no leading,
// doubled or trailing dot), at most 253 characters.
bool isNameHost(const QByteArray &host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const QByteArray &label : host.split('.')) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        for (char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
    }
    return true;
}

bool isBracketedIpv6(const QByteArray &host)
{
    if (host.size() < 4 || !host.startsWith('[') || !host.endsWith(']'))
        return false;
    for (char c : host.mid(1, host.size() - 2))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.'))
            return false;
    return host.contains(':');
}

} // namespace

bool hostAllowed(const QByteArray &host, quint16 port)
{
    const QByteArray suffix = ':' + QByteArray::number(port);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix || host == "[::1]" + suffix;
}

QString normaliseOrigin(const QByteArray &text)
{
    if (text.size() > 300)
        return {};
    for (char c : text)
        if (c <= ' ' || c > '~')
            return {};
    const QByteArray lower = text.toLower();
    QByteArray scheme;
    if (lower.startsWith("https://"))
        scheme = "https";
    else if (lower.startsWith("http://"))
        scheme = "http";
    else
        return {};
    const QByteArray authority = lower.mid(scheme.size() + 3);
    if (authority.contains('/') || authority.contains('?') || authority.contains('#')
        || authority.contains('@') || authority.contains('\\'))
        return {};

    QByteArray host = authority;
    QByteArray portText;
    const int closing = authority.lastIndexOf(']');
    const int colon = authority.lastIndexOf(':');
    if (colon > closing) {
        host = authority.left(colon);
        portText = authority.mid(colon + 1);
    }
    if (!isNameHost(host) && !isBracketedIpv6(host))
        return {};
    QString origin = QString::fromLatin1(scheme + "://" + host);
    if (colon > closing) {
        quint16 port = 0;
        if (!isPort(portText, &port))
            return {};
        const quint16 defaultPort = scheme == "https" ? 443 : 80;
        if (port != defaultPort)
            origin += QLatin1Char(':') + QString::number(port);
    }
    return origin;
}

bool secureOrLocal(const QString &origin)
{
    if (origin.startsWith(QLatin1String("https://")))
        return true;
    for (const char *local : {"http://localhost", "http://127.0.0.1"}) {
        const QLatin1String prefix(local);
        if (origin == prefix
            || (origin.startsWith(prefix) && origin.at(prefix.size()) == QLatin1Char(':')))
            return true;
    }
    return false;
}

} // namespace bridge
