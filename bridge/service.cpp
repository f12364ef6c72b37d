#include "service.h"
#include "consentdialog.h"
#include "handshake.h"
#include "origin.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

namespace bridge {

namespace {
// Bounds on what a page (or anything else on this machine) can hold open.
constexpr int maxPendingHeads = 32;
constexpr int maxConnections = 16;
constexpr int headTimeoutMs = 5000;
// Messages above 64 KiB are answered with an error; far larger ones are not
// even read to the end, and close the connection.
constexpr quint64 maxReadMessage = 4 * maxMessageSize;

struct Outcome
{
    calls::Result result;
    calls::Session session;
    bool ran = false;
};
} // namespace

void DialogAsker::ask(const QString &origin, Grant grant, std::function<void(Consent)> answered)
{
    auto *dialog = new ConsentDialog(origin, grantPurpose(grant));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // A service has no window of its own to come up from: the question comes
    // up over whatever the person is working in.
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    QObject::connect(dialog, &QDialog::finished, dialog, [answered](int result) {
        answered(result == ConsentDialog::AlwaysAllow ? Consent::AlwaysAllow
                 : result == ConsentDialog::AllowOnce ? Consent::AllowOnce
                                                      : Consent::Deny);
    });
    dialog->open();
    dialog->activateWindow();
}

Service::Service(Options options, AdminFile admin, ConsentStore *store, AuditLog *audit,
                 Asker *asker, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_admin(std::move(admin)), m_store(store),
      m_audit(audit), m_asker(asker),
      m_webSockets(new QWebSocketServer(QStringLiteral("readerbridge"),
                                        QWebSocketServer::NonSecureMode, this))
{
    m_webSockets->setMaxPendingConnections(maxConnections);
    connect(m_webSockets, &QWebSocketServer::newConnection, this, &Service::acceptWebSocket);
}

Service::~Service()
{
    // A running operation finishes before the service is gone: its thread
    // holds no pointer into the service, only its own copies.
    for (QThread *worker : findChildren<QThread *>())
        worker->wait();
}

bool Service::listen(QString *error)
{
    const QHostAddress addresses[] = {QHostAddress(QHostAddress::LocalHost),
                                      QHostAddress(QHostAddress::LocalHostIPv6)};
    quint16 port = m_options.port;
    for (const QHostAddress &address : addresses) {
        auto *server = new QTcpServer(this);
        server->setMaxPendingConnections(maxPendingHeads);
        if (!server->listen(address, port)) {
            const QString why = QStringLiteral("%1 port %2: %3")
                                    .arg(address.toString())
                                    .arg(port)
                                    .arg(server->errorString());
            delete server;
            if (address == QHostAddress(QHostAddress::LocalHost)) {
                *error = why;
                return false;
            }
            log(QStringLiteral("not listening on %1").arg(why));
            continue;
        }
        port = server->serverPort();
        connect(server, &QTcpServer::newConnection, this, [this, server] { acceptTcp(server); });
        m_servers.append(server);
    }
    m_port = port;
    log(QStringLiteral("listening on 127.0.0.1 and ::1 port %1").arg(m_port));
    return true;
}

void Service::log(const QString &line) const
{
    if (!m_options.verbose)
        return;
    if (m_options.logLine)
        m_options.logLine(line);
    else
        std::fprintf(stderr, "readerbridge: %s\n", line.toLocal8Bit().constData());
}

bool Service::mayConnect(const QString &origin) const
{
    if (m_admin.origins.value(origin, NoGrant) || m_store->grants(origin))
        return true;
    return m_asker && secureOrLocal(origin);
}

void Service::acceptTcp(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (m_pendingHeads >= maxPendingHeads) {
            socket->write(refusal(503));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        ++m_pendingHeads;
        socket->setParent(this);
        auto *timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [this, socket] {
            log(QStringLiteral("refused: no request head within %1 ms").arg(headTimeoutMs));
            --m_pendingHeads;
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        });
        timer->start(headTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            --m_pendingHeads;
            socket->disconnect(this);
            socket->deleteLater();
        });
        if (socket->bytesAvailable())
            readHead(socket);
    }
}

void Service::readHead(QTcpSocket *socket)
{
    // Peeked, not read: the WebSocket server reads the same head again.
    const QByteArray bytes = socket->peek(maxHeadSize);
    const int length = headLength(bytes);
    if (length == 0)
        return;

    socket->disconnect(this);
    for (QTimer *timer : socket->findChildren<QTimer *>())
        timer->stop();
    --m_pendingHeads;

    HttpHead head;
    Verdict verdict;
    if (length < 0)
        verdict = {431, "request head too large", {}};
    else if (!parseHead(bytes.left(length), &head))
        verdict = {400, "not an HTTP/1.1 request", {}};
    else
        verdict =
            checkHead(head, m_port, [this](const QString &origin) { return mayConnect(origin); });
    if (verdict.status == 0 && m_connections.size() >= static_cast<size_t>(maxConnections))
        verdict = {503, "too many connections", verdict.origin};

    if (verdict.status != 0) {
        log(QStringLiteral("refused %1 %2 (%3): %4")
                .arg(QString::fromLatin1(head.method.left(16)),
                     verdict.origin.isEmpty() ? QStringLiteral("-") : verdict.origin)
                .arg(verdict.status)
                .arg(QString::fromLatin1(verdict.reason)));
        if (!verdict.origin.isEmpty() || verdict.status == 403)
            m_audit->record(verdict.origin, QStringLiteral("connect"),
                            QStringLiteral("refused: ") + QString::fromLatin1(verdict.reason), {});
        socket->write(refusal(verdict.status));
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        return;
    }
    log(QStringLiteral("connection from %1").arg(verdict.origin));
    m_webSockets->handleConnection(socket);
}

void Service::acceptWebSocket()
{
    while (QWebSocket *socket = m_webSockets->nextPendingConnection()) {
        // The same Origin header the head check passed (a head with more
        // than one is refused there), checked again against what is allowed now.
        const QString origin = normaliseOrigin(socket->origin().toLatin1());
        if (origin.isEmpty() || !mayConnect(origin)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(maxReadMessage);
        socket->setMaxAllowedIncomingFrameSize(maxReadMessage);
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        connection->origin = origin;
        Connection *raw = connection.get();
        m_connections.emplace(socket, std::move(connection));
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, raw](const QString &message) { receive(raw, message.toUtf8()); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, raw](const QByteArray &) {
            m_audit->record(raw->origin, QStringLiteral("-"),
                            QStringLiteral("refused %1").arg(InvalidRequest), {});
            answer(raw, errorAnswer(QJsonValue::Null, InvalidRequest,
                                    QStringLiteral("messages are JSON text")));
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            log(QStringLiteral("connection from %1 closed").arg(m_connections.at(socket)->origin));
            m_connections.erase(socket);
            socket->deleteLater();
        });
    }
}

Grants Service::grantsOf(const Connection &connection) const
{
    return m_admin.origins.value(connection.origin, NoGrant) | m_store->grants(connection.origin)
           | connection.once;
}

void Service::answer(Connection *connection, const QByteArray &text)
{
    if (connection->socket)
        connection->socket->sendTextMessage(QString::fromUtf8(text));
}

void Service::receive(Connection *connection, const QByteArray &message)
{
    const Request request = parseRequest(message);
    const QString verb =
        request.verb ? QString::fromLatin1(request.verb->method) : QStringLiteral("-");
    if (!request.ok()) {
        log(QStringLiteral("%1: refused message: %2")
                .arg(connection->origin, request.errorMessage));
        m_audit->record(connection->origin, verb,
                        QStringLiteral("refused %1").arg(request.errorCode), {});
        answer(connection, errorAnswer(request.id, request.errorCode, request.errorMessage));
        return;
    }
    if (m_busy) {
        log(QStringLiteral("%1: %2 busy").arg(connection->origin, verb));
        m_audit->record(connection->origin, verb, QStringLiteral("busy"), {});
        answer(connection,
               errorAnswer(request.id, Busy, QStringLiteral("another operation is running")));
        return;
    }
    authorise(connection, request);
}

void Service::authorise(Connection *connection, const Request &request)
{
    const Grant grant = request.verb->grant;
    const QString verb = QString::fromLatin1(request.verb->method);
    if (grantsOf(*connection) & grant) {
        execute(connection, request);
        return;
    }
    const bool denied = m_denied.value(connection->origin, NoGrant) & grant;
    if (!m_asker || !(grant & consentable) || denied) {
        log(QStringLiteral("%1: %2 %3")
                .arg(connection->origin, verb, denied ? "denied" : "forbidden"));
        m_audit->record(connection->origin, verb,
                        denied ? QStringLiteral("denied") : QStringLiteral("forbidden"), {});
        answer(connection,
               denied ? errorAnswer(request.id, Denied,
                                    QStringLiteral("the person denied ") + grantName(grant))
                      : errorAnswer(request.id, Forbidden,
                                    QStringLiteral("this origin does not hold the grant ")
                                        + grantName(grant)));
        return;
    }
    // The question holds the reader like an operation does: other requests
    // are answered "busy" until the person has answered.
    m_busy = true;
    QPointer<QWebSocket> socket = connection->socket;
    m_asker->ask(connection->origin, grant,
                 [this, socket, connection, request, grant, verb](Consent consent) {
                     m_busy = false;
                     if (!socket || !m_connections.count(socket.data()))
                         return;
                     // Reading a card needs the reader open, so any "allow" includes it.
                     const Grants given = grant | ReaderGrant;
                     if (consent == Consent::AlwaysAllow)
                         m_store->allow(connection->origin, given);
                     else if (consent == Consent::AllowOnce)
                         connection->once |= given;
                     else
                         m_denied[connection->origin] |= grant;
                     log(QStringLiteral("%1: consent for %2: %3")
                             .arg(connection->origin, grantName(grant),
                                  consent == Consent::AlwaysAllow ? "always"
                                  : consent == Consent::AllowOnce ? "once"
                                                                  : "deny"));
                     authorise(connection, request);
                 });
}

void Service::execute(Connection *connection, const Request &request)
{
    m_busy = true;
    const QString verb = QString::fromLatin1(request.verb->method);
    const bool full = grantsOf(*connection) & FullGrant;
    auto outcome = std::make_shared<Outcome>();
    const std::vector<const char *> names = request.verb->calls;
    const calls::Arguments arguments = request.arguments;
    calls::Session session = connection->session;
    QThread *worker = QThread::create([outcome, names, arguments, session]() mutable {
        for (const char *name : names) {
            const calls::Definition *definition = calls::find(QString::fromLatin1(name));
            if (!definition)
                continue;
            calls::Arguments own;
            for (const calls::Input &input : definition->inputs)
                if (arguments.contains(QLatin1String(input.name)))
                    own.insert(QLatin1String(input.name),
                               arguments.value(QLatin1String(input.name)));
            calls::Result result = calls::run(*definition, own, session);
            const bool succeeded = result.succeeded();
            std::vector<calls::Output> earlier = std::move(outcome->result.outputs);
            outcome->result = std::move(result);
            outcome->result.outputs.insert(outcome->result.outputs.begin(), earlier.begin(),
                                           earlier.end());
            outcome->ran = true;
            if (!succeeded)
                break;
        }
        outcome->session = session;
    });
    worker->setParent(this);
    QPointer<QWebSocket> socket = connection->socket;
    const QJsonValue id = request.id;
    connect(worker, &QThread::finished, this,
            [this, worker, outcome, socket, connection, id, verb, full] {
                worker->deleteLater();
                m_busy = false;
                if (!socket || !m_connections.count(socket.data()))
                    return;
                connection->session = outcome->session;
                const calls::Result &result = outcome->result;
                QStringList fields;
                QByteArray text;
                QString status;
                if (!outcome->ran || result.stage == calls::Result::Stage::Missing) {
                    text = errorAnswer(id, NotSupported,
                                       QStringLiteral("the device library does not support this"));
                    status = QStringLiteral("not supported");
                } else if (result.stage == calls::Result::Stage::Refused) {
                    text = errorAnswer(id, InvalidParams, result.status);
                    status = QStringLiteral("refused %1").arg(InvalidParams);
                } else if (!result.succeeded()) {
                    text = errorAnswer(
                        id, DeviceError, result.status,
                        {{QStringLiteral("device_code"), static_cast<double>(result.code)}});
                    status = QStringLiteral("error %1").arg(result.code);
                } else {
                    QJsonObject values;
                    for (const calls::Output &output : calls::shownOutputs(result, full)) {
                        values.insert(output.name, output.value);
                        fields << output.name;
                    }
                    text = resultAnswer(id, values);
                    status = full ? QStringLiteral("ok full") : QStringLiteral("ok");
                }
                log(QStringLiteral("%1: %2 %3 [%4]")
                        .arg(connection->origin, verb, status, fields.join(QLatin1Char(','))));
                m_audit->record(connection->origin, verb, status, fields);
                answer(connection, text);
            });
    worker->start();
}

} // namespace bridge
