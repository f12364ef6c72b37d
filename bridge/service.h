// The bridge: a WebSocket service on the loopback addresses that runs the
// window's operations for allowed web pages, one at a time.
//
// A connection is accepted by a plain TCP server first: its HTTP head is read
// (without consuming it) and checked (handshake.h) before the WebSocket server
// sees it. Each message is parsed strictly (messages.h), checked against the
// origin's grants (the administrator's file, a stored "Always allow", an
// "Allow once" of this connection, or a question to the person), then run on
// a worker thread while further requests are answered "busy". Every request
// ends as one line of the audit log.
#pragma once

#include "auditlog.h"
#include "calls.h"
#include "config.h"
#include "grants.h"
#include "messages.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace bridge {

enum class Consent { Deny, AllowOnce, AlwaysAllow };

// Asks a person whether an origin may have a grant; answers through the
// callback, later or at once.
class Asker
{
public:
    virtual ~Asker() = default;
    virtual void ask(const QString &origin, Grant grant, std::function<void(Consent)> answered) = 0;
};

// The native dialog, shown without blocking the event loop.
class DialogAsker : public Asker
{
public:
    void ask(const QString &origin, Grant grant, std::function<void(Consent)> answered) override;
};

struct Options
{
    quint16 port = defaultPort; // 0: any free port (tests)
    bool verbose = false;       // one line per connection and request on standard error
    std::function<void(const QString &)>
        logLine; // where verbose lines go; standard error when unset
};

class Service : public QObject
{
    Q_OBJECT
public:
    // asker null: no prompts, only the file's and stored origins connect.
    Service(Options options, AdminFile admin, ConsentStore *store, AuditLog *audit, Asker *asker,
            QObject *parent = nullptr);
    ~Service() override;

    // Listens on 127.0.0.1 and ::1 (the latter when the machine has it).
    bool listen(QString *error);
    quint16 port() const { return m_port; }

private:
    struct Connection
    {
        QPointer<QWebSocket> socket;
        QString origin;
        Grants once = NoGrant;
        calls::Session session;
    };

    void acceptTcp(QTcpServer *server);
    void readHead(QTcpSocket *socket);
    void acceptWebSocket();
    void receive(Connection *connection, const QByteArray &message);
    void authorise(Connection *connection, const Request &request);
    void execute(Connection *connection, const Request &request);
    void answer(Connection *connection, const QByteArray &text);
    Grants grantsOf(const Connection &connection) const;
    bool mayConnect(const QString &origin) const;
    void log(const QString &line) const;

    Options m_options;
    AdminFile m_admin;
    ConsentStore *m_store;
    AuditLog *m_audit;
    Asker *m_asker;
    quint16 m_port = 0;
    // Grants a person denied, by origin, until the bridge ends: a page cannot
    // bring the question back by connecting again.
    QMap<QString, Grants> m_denied;
    QList<QTcpServer *> m_servers;
    QWebSocketServer *m_webSockets;
    std::map<QWebSocket *, std::unique_ptr<Connection>> m_connections;
    int m_pendingHeads = 0;
    bool m_busy = false;
};

} // namespace bridge
