// The first bytes of a connection: the HTTP request head, read before any
// WebSocket code sees it, and what the bridge answers to it.
//
// Every connection is checked here before anything else, in this order: a
// WebSocket upgrade at all (plain HTTP requests, form posts, images and
// fetches are refused and get no CORS headers), then the Host header, then
// the Origin header. Only a connection that passes all three is handed to
// the WebSocket server.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace bridge {

// At most this many bytes of request head are read; a longer head is refused.
constexpr int maxHeadSize = 8192;

struct HttpHead
{
    QByteArray method;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case, values trimmed

    // The values of a header, in the order they came.
    QList<QByteArray> values(const char *lowerName) const;
};

// The size of the head including its blank line when bytes hold a whole head,
// 0 while more bytes are needed, -1 when no head ends within maxHeadSize.
int headLength(const QByteArray &bytes);

// Parses a whole head (request line and header lines). False when it is not
// HTTP/1.1 request syntax.
bool parseHead(const QByteArray &bytes, HttpHead *head);

struct Verdict
{
    int status = 0;    // 0: hand over to the WebSocket server; else the HTTP status to answer
    QByteArray reason; // why, in a few words, for the log
    QString origin;    // the normalised origin once the Origin header passed
};

// Checks a parsed head for a connection on port. mayConnect decides about an
// origin that passed the syntax checks (allowed by the file, by a person's
// earlier consent, or one that may still be asked for consent).
Verdict checkHead(const HttpHead &head, quint16 port,
                  const std::function<bool(const QString &origin)> &mayConnect);

// The whole HTTP answer for a refusal: status line, no body, the connection
// closed; never any Access-Control header.
QByteArray refusal(int status);

} // namespace bridge
