// The bridge service in this process, on the fake device library, reached
// through a real WebSocket: the consent dialog driven by object name (Allow
// once, Always allow, Deny, revocation), "busy" while a person is asked, and
// the audit log's lines and rotation.
#include "fakedevice.h"
#include "gb18030.h"
#include "service.h"
#include "windowtest.h"

#include <QApplication>
#include <QJsonDocument>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include <memory>

using namespace bridge;
using namespace windowtest;

namespace {

const QString pageOrigin = QStringLiteral("https://hall.example.org");

QWidget *consentDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("consentDialog") && widget->isVisible())
            return widget;
    return nullptr;
}

// A page's connection: sends one request and waits for its answer.
class Page
{
public:
    explicit Page(quint16 port)
    {
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)));
        request.setRawHeader("Origin", pageOrigin.toLatin1());
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket,
                         [this](const QString &text) {
                             m_answers << QJsonDocument::fromJson(text.toUtf8()).object();
                         });
        m_socket.open(request);
        QTRY_VERIFY_WITH_TIMEOUT(m_socket.state() == QAbstractSocket::ConnectedState, 5000);
    }
    void send(const char *message) { m_socket.sendTextMessage(QString::fromLatin1(message)); }
    // The next answer; an empty object when none came.
    QJsonObject answer()
    {
        (void)QTest::qWaitFor([this] { return !m_answers.isEmpty(); }, 5000);
        return m_answers.isEmpty() ? QJsonObject() : m_answers.takeFirst();
    }
    int errorCode() { return answer().value("error").toObject().value("code").toInt(); }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_answers;
};

} // namespace

class BridgeService : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    std::unique_ptr<ConsentStore> m_store;
    std::unique_ptr<AuditLog> m_audit;
    DialogAsker m_asker;
    std::unique_ptr<Service> m_service;

    void answerConsent(const char *button)
    {
        QTRY_VERIFY(consentDialog());
        QWidget *dialog = consentDialog();
        QCOMPARE(text(dialog, "label_Origin"), pageOrigin);
        QVERIFY(text(dialog, "label_Purpose").contains(QStringLiteral("读取身份证件信息")));
        click(dialog, button);
    }

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void init()
    {
        fakedevice::reset();
        QStringList fields;
        for (int i = 0; i < 15; ++i)
            fields << QString();
        fields[1] = QStringLiteral("苏晓梅");
        fields[9] = QStringLiteral("990102198806140023");
        fakedevice::script("IdReadCard", {0, {toGb18030(fields.join(':'))}, {}});
        QVERIFY(m_folder.isValid());
        QFile::remove(m_folder.filePath("consent.json"));
        m_store = std::make_unique<ConsentStore>(m_folder.filePath("consent.json"));
        m_audit = std::make_unique<AuditLog>(m_folder.filePath("audit.log"), 600);
        Options options;
        options.port = 0;
        m_service =
            std::make_unique<Service>(options, AdminFile{}, m_store.get(), m_audit.get(), &m_asker);
        QString error;
        QVERIFY2(m_service->listen(&error), qPrintable(error));
    }
    void cleanup()
    {
        m_service.reset();
        QCOMPARE(takeWarnings(), QStringList());
    }

    void consentAnswersHoldAsLongAsTheyShould_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("firstError");  // 0: the identity was read
        QTest::addColumn<bool>("askedAgain"); // on a new connection of the same origin
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("allow once")
            << QByteArray("pushButton_AllowOnce") << 0 << true << QStringList();
        QTest::newRow("always allow") << QByteArray("pushButton_AlwaysAllow") << 0 << false
                                      << QStringList{"reader", "identity"};
        QTest::newRow("deny") << QByteArray("pushButton_Deny") << int(Denied) << false
                              << QStringList();
    }
    void consentAnswersHoldAsLongAsTheyShould()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, firstError);
        QFETCH(bool, askedAgain);
        QFETCH(QStringList, stored);
        {
            Page page(m_service->port());
            page.send(R"({"id":1,"method":"identity.read"})");
            answerConsent(button.constData());
            const QJsonObject answer = page.answer();
            QCOMPARE(answer.value("error").toObject().value("code").toInt(), firstError);
            QCOMPARE(fakedevice::callsOf("IdReadCard").size(), firstError ? 0 : 1);
            if (!firstError) {
                // Masked: a consent never hands out personal data in full.
                QCOMPARE(answer.value("result").toObject().value("name").toString(),
                         QStringLiteral("苏**"));
                QCOMPARE(answer.value("result").toObject().value("id_number").toString(),
                         QStringLiteral("990102********0023"));
            }
            // The same connection is never asked twice for the same grant.
            page.send(R"({"id":2,"method":"identity.read"})");
            QCOMPARE(page.errorCode(), firstError);
            QVERIFY(!consentDialog());
        }
        QCOMPARE(grantNames(m_store->grants(pageOrigin)), stored);

        Page again(m_service->port());
        again.send(R"({"id":3,"method":"identity.read"})");
        if (askedAgain)
            answerConsent("pushButton_Deny");
        QCOMPARE(again.errorCode(), firstError || askedAgain ? int(Denied) : 0);
        QVERIFY(!consentDialog());
    }

    void revokedOriginIsAskedAgain()
    {
        QVERIFY(m_store->allow(pageOrigin, IdentityGrant | ApduGrant | FullGrant));
        // Engineering grants and full data never come from a person's store.
        QCOMPARE(grantNames(m_store->grants(pageOrigin)), QStringList{"identity"});
        Page page(m_service->port());
        page.send(R"({"id":1,"method":"cpu.apdu","params":{"apdu":"0084000008"}})");
        QCOMPARE(page.errorCode(), int(Forbidden));
        QVERIFY(!consentDialog());
        QVERIFY(m_store->revoke(pageOrigin));
        QVERIFY(!m_store->revoke(pageOrigin));
        page.send(R"({"id":2,"method":"identity.read"})");
        answerConsent("pushButton_Deny");
        QCOMPARE(page.errorCode(), int(Denied));
    }

    void anotherPageIsBusyWhileAPersonIsAsked()
    {
        Page asking(m_service->port());
        Page other(m_service->port());
        asking.send(R"({"id":1,"method":"identity.read"})");
        QTRY_VERIFY(consentDialog());
        other.send(R"({"id":7,"method":"identity.read"})");
        const QJsonObject busy = other.answer();
        QCOMPARE(busy.value("id").toInt(), 7);
        QCOMPARE(busy.value("error").toObject().value("code").toInt(), int(Busy));
        answerConsent("pushButton_AllowOnce");
        QCOMPARE(asking.errorCode(), 0);
    }

    void auditLogNamesFieldsNeverValuesAndRotates()
    {
        QVERIFY(m_store->allow(pageOrigin, IdentityGrant));
        Page page(m_service->port());
        for (int i = 0; i < 4; ++i) {
            page.send(R"({"id":1,"method":"identity.read"})");
            QCOMPARE(page.errorCode(), 0);
        }
        QFile current(m_audit->path()), previous(m_audit->path() + ".1");
        QVERIFY(current.open(QIODevice::ReadOnly) && previous.open(QIODevice::ReadOnly));
        QVERIFY(current.size() <= 600 && previous.size() <= 600);
        const QByteArray lines = previous.readAll() + current.readAll();
        QCOMPARE(lines.count('\n'), 4);
        const QJsonObject line = QJsonDocument::fromJson(lines.split('\n').first()).object();
        QCOMPARE(line.value("origin").toString(), pageOrigin);
        QCOMPARE(line.value("verb").toString(), QStringLiteral("identity.read"));
        QCOMPARE(line.value("outcome").toString(), QStringLiteral("ok"));
        QVERIFY(line.value("fields").toArray().contains(QStringLiteral("id_number")));
        QVERIFY(!lines.contains("0023") && !lines.contains("苏"));
    }
};

QTEST_MAIN(BridgeService)
#include "tst_bridgeservice.moc"
