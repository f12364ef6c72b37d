// Who may connect to the bridge: the Host and Origin headers as exact texts,
// the order of the head checks, and the administrator's file. Refusals of
// single headers over a real socket are in tests/bridge/browser.py.
#include "config.h"
#include "handshake.h"
#include "origin.h"

#include <QtTest>

using namespace bridge;

class BridgeAccess : public QObject
{
    Q_OBJECT

private slots:
    void onlyLoopbackHostsWithThePortPass_data();
    void onlyLoopbackHostsWithThePortPass();
    void originsNormaliseToOneFormOrNone_data();
    void originsNormaliseToOneFormOrNone();
    void headChecksRefuseInOrder_data();
    void headChecksRefuseInOrder();
    void adminFileIsTakenWholeOrRefused_data();
    void adminFileIsTakenWholeOrRefused();
};

void BridgeAccess::onlyLoopbackHostsWithThePortPass_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("IPv4") << QByteArray("127.0.0.1:47211") << true;
    QTest::newRow("name") << QByteArray("localhost:47211") << true;
    QTest::newRow("IPv6") << QByteArray("[::1]:47211") << true;
    QTest::newRow("rebound name") << QByteArray("rebind.test:47211") << false;
    QTest::newRow("no port") << QByteArray("localhost") << false;
    QTest::newRow("other port") << QByteArray("127.0.0.1:47212") << false;
    QTest::newRow("trailing dot") << QByteArray("localhost.:47211") << false;
    QTest::newRow("suffix") << QByteArray("localhost:47211.evil.test") << false;
    QTest::newRow("other loopback") << QByteArray("127.0.0.2:47211") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void BridgeAccess::onlyLoopbackHostsWithThePortPass()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, allowed);
    QCOMPARE(hostAllowed(host, 47211), allowed);
}

void BridgeAccess::originsNormaliseToOneFormOrNone_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("origin"); // empty: refused
    QTest::addColumn<bool>("secure");
    QTest::newRow("https") << QByteArray("https://bank.example.org") << "https://bank.example.org"
                           << true;
    QTest::newRow("upper case") << QByteArray("HTTPS://Bank.Example.ORG")
                                << "https://bank.example.org" << true;
    QTest::newRow("default port") << QByteArray("https://bank.example.org:443")
                                  << "https://bank.example.org" << true;
    QTest::newRow("other port") << QByteArray("https://bank.example.org:8443")
                                << "https://bank.example.org:8443" << true;
    QTest::newRow("http localhost")
        << QByteArray("http://localhost:8000") << "http://localhost:8000" << true;
    QTest::newRow("http loopback") << QByteArray("http://127.0.0.1") << "http://127.0.0.1" << true;
    QTest::newRow("http lookalike")
        << QByteArray("http://localhost.evil.test") << "http://localhost.evil.test" << false;
    QTest::newRow("http elsewhere")
        << QByteArray("http://bank.example.org") << "http://bank.example.org" << false;
    QTest::newRow("IPv6") << QByteArray("http://[::1]:8000") << "http://[::1]:8000" << false;
    QTest::newRow("null") << QByteArray("null") << QString() << false;
    QTest::newRow("empty") << QByteArray() << QString() << false;
    QTest::newRow("other scheme") << QByteArray("file://bank.example.org") << QString() << false;
    QTest::newRow("extension") << QByteArray("chrome-extension://abcdef") << QString() << false;
    QTest::newRow("trailing dot") << QByteArray("https://bank.example.org.") << QString() << false;
    QTest::newRow("path") << QByteArray("https://bank.example.org/") << QString() << false;
    QTest::newRow("user") << QByteArray("https://bank.example.org@evil.test") << QString() << false;
    QTest::newRow("empty port") << QByteArray("https://bank.example.org:") << QString() << false;
    QTest::newRow("port zero padded")
        << QByteArray("https://bank.example.org:0443") << QString() << false;
    QTest::newRow("port too large")
        << QByteArray("https://bank.example.org:65536") << QString() << false;
    QTest::newRow("empty label") << QByteArray("https://bank..example.org") << QString() << false;
    QTest::newRow("space") << QByteArray("https://bank.example.org x") << QString() << false;
    QTest::newRow("not ASCII") << QByteArray("https://b\xC3\xA4nk.example.org") << QString()
                               << false;
}

void BridgeAccess::originsNormaliseToOneFormOrNone()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, origin);
    QFETCH(bool, secure);
    QCOMPARE(normaliseOrigin(header), origin);
    if (!origin.isEmpty())
        QCOMPARE(secureOrLocal(origin), secure);
}

void BridgeAccess::headChecksRefuseInOrder_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: keep-alive, Upgrade\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    const QByteArray host = "Host: 127.0.0.1:47211\r\n";
    const QByteArray allowed = "Origin: https://bank.example.org\r\n";
    QTest::newRow("accepted") << "GET / HTTP/1.1\r\n" + upgrade + host + allowed << 0
                              << QByteArray("upgrade");
    QTest::newRow("two hosts") << "GET / HTTP/1.1\r\n" + upgrade + host + "Host: evil.test\r\n"
                                      + allowed
                               << 403 << QByteArray("Host");
    QTest::newRow("rebound host, no origin")
        << "GET / HTTP/1.1\r\n" + upgrade + "Host: rebind.test:47211\r\n"
        << 403 << QByteArray("Host");
    QTest::newRow("no origin") << "GET / HTTP/1.1\r\n" + upgrade + host << 403
                               << QByteArray("no single Origin");
    QTest::newRow("two origins") << "GET / HTTP/1.1\r\n" + upgrade + host + allowed
                                        + "Origin: https://evil.test\r\n"
                                 << 403 << QByteArray("no single Origin");
}

void BridgeAccess::headChecksRefuseInOrder()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    head += "\r\n";
    QCOMPARE(headLength(head), head.size());
    HttpHead parsed;
    QVERIFY(parseHead(head, &parsed));
    const Verdict verdict = checkHead(parsed, 47211, [](const QString &origin) {
        return origin == QLatin1String("https://bank.example.org");
    });
    QCOMPARE(verdict.status, status);
    QVERIFY2(verdict.reason.contains(reason), verdict.reason.constData());
    if (status) {
        const QByteArray answer = refusal(status);
        QVERIFY(answer.startsWith("HTTP/1.1 " + QByteArray::number(status)));
        QVERIFY(!answer.toLower().contains("access-control"));
    }
}

void BridgeAccess::adminFileIsTakenWholeOrRefused_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // part of the error; empty: accepted
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("origins"); // "origin grant,grant"
    QTest::newRow("empty") << QByteArray() << QString() << 47211 << QStringList();
    QTest::newRow("two origins") << QByteArray(
        "port = 4000\n[[origin]]\nurl = \"https://A.example.org:443\"\n"
        "grants = [\"identity\", \"full\"]\n[[origin]]\n"
        "url = \"http://kiosk.test:8080\"\ngrants = [\"bank\"]\nallow_http = true\n")
                                 << QString() << 4000
                                 << QStringList{"http://kiosk.test:8080 bank",
                                                "https://a.example.org identity,full"};
    QTest::newRow("http without allow_http")
        << QByteArray("[[origin]]\nurl = \"http://kiosk.test\"\ngrants = []\n") << "allow_http"
        << 47211 << QStringList();
    QTest::newRow("unknown grant")
        << QByteArray("[[origin]]\nurl = \"https://a.test\"\ngrants = [\"everything\"]\n")
        << "unknown grant" << 47211 << QStringList();
    QTest::newRow("unknown key") << QByteArray("prot = 1\n") << "unknown key prot" << 47211
                                 << QStringList();
    QTest::newRow("origin with path")
        << QByteArray("[[origin]]\nurl = \"https://a.test/x\"\ngrants = []\n") << "not a plain"
        << 47211 << QStringList();
    QTest::newRow("listed twice") << QByteArray(
        "[[origin]]\nurl = \"https://a.test\"\ngrants = []\n"
        "[[origin]]\nurl = \"https://A.test:443\"\ngrants = []\n")
                                  << "twice (line 4)" << 47211 << QStringList();
    QTest::newRow("port out of range")
        << QByteArray("port = 70000\n") << "port" << 47211 << QStringList();
    QTest::newRow("not TOML") << QByteArray("port = \n") << "line 1" << 47211 << QStringList();
}

void BridgeAccess::adminFileIsTakenWholeOrRefused()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(int, port);
    QFETCH(QStringList, origins);
    const AdminFile file = parseAdminFile(text);
    if (error.isEmpty())
        QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
    else
        QVERIFY2(file.error.contains(error), qPrintable(file.error));
    QCOMPARE(int(file.port), port);
    QStringList found;
    for (auto it = file.origins.begin(); it != file.origins.end(); ++it)
        found << it.key() + QLatin1Char(' ') + grantNames(it.value()).join(QLatin1Char(','));
    if (error.isEmpty())
        QCOMPARE(found, origins);
}

QTEST_GUILESS_MAIN(BridgeAccess)
#include "tst_bridgeaccess.moc"
