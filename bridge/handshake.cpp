#include "handshake.h"
#include "origin.h"

namespace bridge {

QList<QByteArray> HttpHead::values(const char *lowerName) const
{
    QList<QByteArray> found;
    for (const auto &header : headers)
        if (header.first == lowerName)
            found.append(header.second);
    return found;
}

int headLength(const QByteArray &bytes)
{
    const int end = bytes.indexOf("\r\n\r\n");
    if (end >= 0 && end + 4 <= maxHeadSize)
        return end + 4;
    return bytes.size() >= maxHeadSize ? -1 : 0;
}

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c <= ' ' || c > '~' || QByteArray("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    return true;
}

bool listContains(const QList<QByteArray> &values, const char *token)
{
    for (const QByteArray &value : values)
        for (const QByteArray &item : value.split(','))
            if (item.trimmed().toLower() == token)
                return true;
    return false;
}

} // namespace

bool parseHead(const QByteArray &bytes, HttpHead *head)
{
    if (headLength(bytes) != bytes.size() || bytes.isEmpty())
        return false;
    QList<QByteArray> lines = bytes.left(bytes.size() - 4).split('\n');
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r') && &line != &lines.last())
            return false;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.contains('\r') || line.contains('\0'))
            return false;
    }
    const QList<QByteArray> request = lines.takeFirst().split(' ');
    if (request.size() != 3 || !isToken(request[0]) || request[1].isEmpty()
        || request[2] != "HTTP/1.1")
        return false;
    head->method = request[0];
    head->target = request[1];
    head->headers.clear();
    for (const QByteArray &line : lines) {
        const int colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return false; // also refuses obsolete line folding
        head->headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

Verdict checkHead(const HttpHead &head, quint16 port,
                  const std::function<bool(const QString &origin)> &mayConnect)
{
    if (head.method != "GET" || !listContains(head.values("upgrade"), "websocket")
        || !listContains(head.values("connection"), "upgrade")
        || head.values("sec-websocket-key").size() != 1)
        return {400, "not a WebSocket upgrade", {}};
    const QList<QByteArray> hosts = head.values("host");
    if (hosts.size() != 1 || !hostAllowed(hosts.first(), port))
        return {403, "Host is not the loopback address with this port", {}};
    const QList<QByteArray> origins = head.values("origin");
    if (origins.size() != 1)
        return {403, "no single Origin", {}};
    const QString origin = normaliseOrigin(origins.first());
    if (origin.isEmpty())
        return {403, "Origin is not a plain http or https origin", {}};
    if (!mayConnect(origin))
        return {403, "Origin is not allowed", origin};
    return {0, "upgrade", origin};
}

QByteArray refusal(int status)
{
    const char *text = status == 400   ? "Bad Request"
                       : status == 403 ? "Forbidden"
                       : status == 431 ? "Request Header Fields Too Large"
                                       : "Service Unavailable";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + text
           + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

} // namespace bridge
