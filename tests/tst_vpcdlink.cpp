// The card's side of the vpcd protocol on the simulated user card: frames that
// arrive whole, in pieces or several at once, and frames no vpcd would send.
#include "vpcdlink.h"

#include <QtTest>

namespace {

sim::Bytes bytes(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return sim::Bytes(raw.begin(), raw.end());
}

QByteArray hex(const sim::Bytes &data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), int(data.size())).toHex();
}

// The card's answers to the stream, fed in pieces of at most chunk bytes.
QByteArray feed(const QByteArray &stream, int chunk)
{
    std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(sim::CardKind::User);
    vpcd::Link link(*card);
    const sim::Bytes input = bytes(stream);
    sim::Bytes output;
    for (std::size_t offset = 0; offset < input.size(); offset += std::size_t(chunk)) {
        const std::size_t length = std::min(input.size() - offset, std::size_t(chunk));
        const sim::Bytes answer = link.receive(input.data() + offset, length);
        output.insert(output.end(), answer.begin(), answer.end());
    }
    return hex(output);
}

const QByteArray atrFrame = "0010"
                            "3b6c000053524350552e535343333030";
// SELECT the MF without FCI, then READ RECORD 2 of EF05.
const QByteArray session = "0001"
                           "01"
                           "0007"
                           "00a4000c023f00"
                           "0005"
                           "00b2022c00";
const QByteArray sessionAnswer = "0002"
                                 "9000"
                                 "0005"
                                 "0201039000";

} // namespace

class tst_VpcdLink : public QObject
{
    Q_OBJECT

private slots:
    void answersWhateverWayTheStreamIsCut_data();
    void answersWhateverWayTheStreamIsCut();
    void hostileFramesAreDropped_data();
    void hostileFramesAreDropped();
    void aDroppedConnectionEndsTheSession();
};

void tst_VpcdLink::answersWhateverWayTheStreamIsCut_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("chunk");

    const QByteArray powerOnAndAtr = QByteArray("0001"
                                                "01"
                                                "0001"
                                                "04");
    for (int chunk : {1, 2, 3, 4096}) {
        QTest::addRow("ATR, pieces of %d", chunk) << powerOnAndAtr << atrFrame << chunk;
        QTest::addRow("session, pieces of %d", chunk) << session << sessionAnswer << chunk;
    }
    QTest::newRow("power off and reset answer nothing") << QByteArray("0001"
                                                                      "00"
                                                                      "0001"
                                                                      "02")
                                                        << QByteArray() << 4096;
}

void tst_VpcdLink::answersWhateverWayTheStreamIsCut()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, answer);
    QFETCH(int, chunk);
    QCOMPARE(feed(stream, chunk), answer);
}

void tst_VpcdLink::hostileFramesAreDropped_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("empty frames between commands") << QByteArray("0000"
                                                                 "0000")
                                                          + session + "0000"
                                                   << sessionAnswer;
    QTest::newRow("unknown controls") << QByteArray("0001"
                                                    "03"
                                                    "0001"
                                                    "ff")
                                             + session
                                      << sessionAnswer;
    QTest::newRow("a short APDU is answered by the card") << QByteArray("0001"
                                                                        "01"
                                                                        "0002"
                                                                        "00a4")
                                                          << QByteArray("0002"
                                                                        "6700");
    QTest::newRow("a frame announcing 65535 bytes, never completed")
        << QByteArray("ffff") + QByteArray(600, 'a') << QByteArray();
    QTest::newRow("a lone length byte") << QByteArray("00") << QByteArray();
}

void tst_VpcdLink::hostileFramesAreDropped()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, answer);
    QCOMPARE(feed(stream, 4096), answer);
}

void tst_VpcdLink::aDroppedConnectionEndsTheSession()
{
    std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(sim::CardKind::User);
    vpcd::Link link(*card);
    // Select EF05 and leave half a frame behind.
    const sim::Bytes first = bytes("0001"
                                   "01"
                                   "0007"
                                   "00a4020c02ef05"
                                   "0005"
                                   "00b2");
    QCOMPARE(hex(link.receive(first.data(), first.size())), QByteArray("00029000"));
    QCOMPARE(link.pending(), std::size_t(4));

    link.disconnect();
    QCOMPARE(link.pending(), std::size_t(0));
    // A fresh session: no EF is selected any more.
    const sim::Bytes read = bytes("0001"
                                  "01"
                                  "0005"
                                  "00b2020400");
    QCOMPARE(hex(link.receive(read.data(), read.size())), QByteArray("00026986"));
}

QTEST_GUILESS_MAIN(tst_VpcdLink)
#include "tst_vpcdlink.moc"
