// Who may talk to the bridge: the Host and Origin headers of a connection.
//
// Both are compared as exact texts, never as patterns, so that a lookalike
// ("https://bank.example.org.evil.test", "localhost.", another port) can
// never pass for an allowed one.
#pragma once

#include <QByteArray>
#include <QString>

namespace bridge {

// Whether the Host header is exactly 127.0.0.1:PORT, localhost:PORT or
// [::1]:PORT. Any other name, even one that resolves to this machine, is how a
// page rebinds its own name to the loopback address.
bool hostAllowed(const QByteArray &host, quint16 port);

// The origin in its one written form, "scheme://host" or "scheme://host:port":
// scheme and host in lower case, the scheme's default port left out. Empty
// when the text is not a plain http or https origin: "null", a path, a user,
// an empty label or a trailing dot, a port out of range or written with a
// leading zero, characters a browser never sends.
QString normaliseOrigin(const QByteArray &text);

// Whether a normalised origin may be trusted without an explicit http
// exception: https, or http on localhost or 127.0.0.1 (any port).
bool secureOrLocal(const QString &origin);

} // namespace bridge
