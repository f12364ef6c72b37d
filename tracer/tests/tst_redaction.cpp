// Personal data replaced in a trace: placeholders of the same class and the
// same encoded length, fields and separators kept, nothing of the value left,
// and only in the arguments that carry a person's data.
#include "gb18030.h"
#include "personaldata.h"
#include "traceformat.h"

#include <QtTest>

Q_DECLARE_METATYPE(Personal)
Q_DECLARE_METATYPE(TextEncoding)
Q_DECLARE_METATYPE(EntryPoint)

class TestRedaction : public QObject
{
    Q_OBJECT

private slots:
    void bytesKeepTheirLengthAndClass_data()
    {
        QTest::addColumn<Personal>("kind");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        const auto gb = TextEncoding::Gb18030;
        const auto utf8 = TextEncoding::Utf8;
        QTest::newRow("GB18030 name") << Personal::Name << gb << QByteArray("\xCB\xD5\xCF\xFE")
                                      << QByteArray("\xC4\xB3\xC4\xB3");
        QTest::newRow("GB18030 four bytes, invalid bytes") << Personal::Name << gb
                                                           << QByteArray("\x81\x30\x8B\x38"
                                                                         "a\xFF\x81")
                                                           << QByteArray("\x81\x39\xEE\x39"
                                                                         "x\x80\x80");
        QTest::newRow("UTF-8 of every length")
            << Personal::Name << utf8 << QString("é张𠀀a1-").toUtf8()
            << QString("×某𠀀x0-").toUtf8();
        QTest::newRow("UTF-8 invalid")
            << Personal::CardNumber << utf8 << QByteArray("\xC3(9\xFF") << QByteArray("\x80(0\x80");
        QTest::newRow("photo") << Personal::Photo << utf8 << QByteArray("iVB+/w==")
                               << QByteArray("AAAAAA==");
        QTest::newRow("not personal")
            << Personal::No << gb << QByteArray("\xFF\xCB\xD5") << QByteArray("\xFF\xCB\xD5");
    }

    void bytesKeepTheirLengthAndClass()
    {
        QFETCH(Personal, kind);
        QFETCH(TextEncoding, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QCOMPARE(redactedBytes(kind, bytes, encoding), expected);
    }

    // Each character beyond ASCII: its placeholder has the same length in
    // UTF-8 and in GB18030.
    void charactersKeepBothEncodedLengths_data()
    {
        QTest::addColumn<QString>("character");
        for (const char *c : {"é", "Ω", "À", "Ā", "张", "㐀", "𠀀"})
            QTest::newRow(c) << QString::fromUtf8(c);
    }

    void charactersKeepBothEncodedLengths()
    {
        QFETCH(QString, character);
        const QString placeholder = redacted(Personal::Name, character);
        QCOMPARE(placeholder.toUtf8().size(), character.toUtf8().size());
        QCOMPARE(toGb18030(placeholder).size(), toGb18030(character).size());
    }

    // The argument at index of an entry point, as the tracer writes it.
    void argumentsWithPersonalData_data()
    {
        QTest::addColumn<EntryPoint>("entry");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("identity record")
            << EntryPoint::IdReadCard << 2
            << QByteArray("I:\xCB\xD5:Li:1:x:01:J12:19880614:Rd 7:990102198806140023:Org:2016:"
                          "2036:v1:iVB=")
            << QByteArray("I:\xC4\xB3:Xx:1:x:01:X00:00000000:Xx 0:000000000000000000:Org:2016:"
                          "2036:v1:AAA=");
        QTest::newRow("social security record")
            << EntryPoint::SsseReadCard << 1
            << QByteArray("ID7:2:3:4:5:6:CN9:99:\xD5\xC5:x:1:01:\xB1\xB1:19880614")
            << QByteArray("XX0:2:3:4:5:6:XX0:00:\xC4\xB3:x:1:01:\xC4\xB3:00000000");
        QTest::newRow("bank card elements")
            << EntryPoint::IccGetCardInfo << 3
            << QString("A0166999001234563451B002张三E0041.00K006699=12").toUtf8()
            << QString("A0160000000000000000B002某某E0041.00K006000=00").toUtf8();
        QTest::newRow("bank card text that is not elements")
            << EntryPoint::IccGetCardInfo << 3 << QByteArray("A0166999") << QByteArray("X0000000");
        QTest::newRow("track read") << EntryPoint::MagRead << 1 << QByteArray("%B6999^ZHANG/S^28")
                                    << QByteArray("%X0000^XXXXX/X^00");
        QTest::newRow("track written")
            << EntryPoint::MagWrite << 3 << QByteArray(";6999=28?") << QByteArray(";0000=00?");
        QTest::newRow("the bank's tags asked")
            << EntryPoint::IccGetCardInfo << 2 << QByteArray("ABC") << QByteArray("ABC");
        QTest::newRow("QR code") << EntryPoint::QrRead << 0 << QByteArray("6999")
                                 << QByteArray("6999");
    }

    void argumentsWithPersonalData()
    {
        QFETCH(EntryPoint, entry);
        QFETCH(int, index);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(trace::redactedText(
                     entry, static_cast<std::size_t>(index), text.toStdString())),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestRedaction)
#include "tst_redaction.moc"
