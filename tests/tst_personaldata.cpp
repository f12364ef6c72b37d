// Personal data leaving the program: what people see masked, and the outputs
// the operations hand out by name. Placeholders for traces: tst_redaction.
#include "calls.h"
#include "personaldata.h"

#include <QtTest>

Q_DECLARE_METATYPE(Personal)

class PersonalDataTest : public QObject
{
    Q_OBJECT

private slots:
    void masksEachKindForPeople_data();
    void masksEachKindForPeople();
    void everyOperationNamesItsInputsAndOutputsOnce();
    void shownOutputsNeverCarryThePhoto();
};

void PersonalDataTest::masksEachKindForPeople_data()
{
    QTest::addColumn<Personal>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("name keeps its first character") << Personal::Name << QStringLiteral("苏建国")
                                                    << QStringLiteral("苏**");
    QTest::newRow("name beyond the BMP counts characters, not units")
        << Personal::Name << QStringLiteral("𠀀𠀁") << QStringLiteral("𠀀*");
    QTest::newRow("identity number keeps 6 and 4")
        << Personal::IdNumber << QStringLiteral("990102198806140023")
        << QStringLiteral("990102********0023");
    QTest::newRow("short number still hides a third")
        << Personal::IdNumber << QStringLiteral("A12345678") << QStringLiteral("A1*****78");
    QTest::newRow("PAN keeps 6 and 4 digits")
        << Personal::CardNumber << QStringLiteral("6999002000123451")
        << QStringLiteral("699900******3451");
    QTest::newRow("track 1 hides the name and keeps separators")
        << Personal::CardNumber << QStringLiteral("B6999002000123451^CHEN/SIYUAN^3012")
        << QStringLiteral("*699900**********^****/******^3012");
    QTest::newRow("secret hides every character") << Personal::Secret << QStringLiteral("19880614")
                                                  << QStringLiteral("********");
    QTest::newRow("photo is never shown") << Personal::Photo << QStringLiteral("iVBORw0KGgo=")
                                          << QString();
    QTest::newRow("not personal passes") << Personal::No << QStringLiteral("E4A50701")
                                         << QStringLiteral("E4A50701");
    QTest::newRow("bank elements by letter")
        << Personal::BankElements << QStringLiteral("A0166999002000123451B003陈思远E012000000012345")
        << QStringLiteral("A016699900******3451B003陈**E012000000012345");
    QTest::newRow("bank elements that do not parse are hidden whole")
        << Personal::BankElements << QStringLiteral("A0996999") << QStringLiteral("********");
}

void PersonalDataTest::masksEachKindForPeople()
{
    QFETCH(Personal, kind);
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QCOMPARE(masked(kind, value), shown);
}

void PersonalDataTest::everyOperationNamesItsInputsAndOutputsOnce()
{
    QSet<QString> operations;
    for (const calls::Definition &definition : calls::definitions()) {
        QVERIFY2(!operations.contains(QLatin1String(definition.name)), definition.name);
        operations.insert(QLatin1String(definition.name));
        QSet<QString> names;
        for (const calls::Input &input : definition.inputs)
            names.insert(QLatin1String(input.name));
        QCOMPARE(names.size(), static_cast<int>(definition.inputs.size()));
        names.clear();
        for (const calls::OutputDefinition &output : definition.outputs) {
            QVERIFY2(output.name, definition.name);
            names.insert(QLatin1String(output.name));
        }
        QCOMPARE(names.size(), static_cast<int>(definition.outputs.size()));
        QCOMPARE(calls::find(QLatin1String(definition.name)), &definition);
    }
    QCOMPARE(operations.size(), 28);
    const calls::Definition *authentication = calls::find(QStringLiteral("m1-auth"));
    QCOMPARE(calls::unknownInput(*authentication, {{QStringLiteral("sector"), QString()},
                                                   {QStringLiteral("keytype"), QString()}}),
             QStringLiteral("keytype"));
}

void PersonalDataTest::shownOutputsNeverCarryThePhoto()
{
    calls::Result result;
    result.outputs = {{QStringLiteral("name"), QStringLiteral("苏建国"), Personal::Name},
                      {QStringLiteral("photo"), QStringLiteral("iVBORw0K"), Personal::Photo},
                      {QStringLiteral("photo_size"), QStringLiteral("6"), Personal::No}};
    for (bool full : {false, true}) {
        const std::vector<calls::Output> shown = calls::shownOutputs(result, full);
        QCOMPARE(shown.size(), std::size_t(2));
        QCOMPARE(shown[0].value, full ? QStringLiteral("苏建国") : QStringLiteral("苏**"));
        QCOMPARE(shown[1].name, QStringLiteral("photo_size"));
    }
}

QTEST_GUILESS_MAIN(PersonalDataTest)
#include "tst_personaldata.moc"
