// Every operation the window calls, against every fault of a hostile or
// broken device library that applies to it: counts beyond, at and below a
// buffer, text buffers without a terminating zero, invalid UTF-8 and GB18030,
// extreme result codes, malformed records and photos, and each entry point
// missing in turn. For each cell: the status line has the operation's own
// form, output widgets change only on success, and no shown text is longer
// than the buffer it came from. The suite runs in the sanitizer build too, so
// a read outside a buffer anywhere fails it.
#include "fakedevice.h"
#include "mainwindow.h"
#include "windowtest.h"

#include <QLabel>
#include <QPixmap>
#include <QTabWidget>
#include <QtTest>

#include <limits>

using namespace windowtest;

namespace {

struct OperationUnderTest
{
    const char *control;
    const char *entry;
    const char *failureText; // ends in "错误代码："
    const char *successText; // the whole success status, or its fixed start
    bool successAppends;     // a value follows the success text
    QStringList outputs;     // widgets written on success only
    QList<int> textBuffers;  // sizes of the text buffers the library fills
    int countedBuffer;       // size of the byte buffer with a returned count
    int longestShown;        // most characters all outputs may show together
    QList<EntryPoint> entries;
};

const QStringList identityOutputs{"lineEdit_name",     "lineEdit_gender",  "lineEdit_nation",
                                  "lineEdit_birthday", "textEdit_address", "lineEdit_idnumber",
                                  "lineEdit_signorg",  "lineEdit_valid",   "lineEdit_other"};
const QStringList socialSecurityOutputs{
    "lineEdit_SsseIdentityNumber", "lineEdit_SsseCategory", "lineEdit_SsseStandardVersion",
    "lineEdit_SsseInitOrg",        "lineEdit_SsseBegin",    "lineEdit_SsseValid",
    "lineEdit_SsseCardNumber",     "lineEdit_SsseIdNumber", "lineEdit_SsseName",
    "lineEdit_SsseGender",         "lineEdit_SsseNation",   "lineEdit_SsseBirthPlace",
    "lineEdit_SsseBirthDate"};
const QStringList trackOutputs{"lineEdit_MagTrack1", "lineEdit_MagTrack2", "lineEdit_MagTrack3"};

using E = EntryPoint;

// The labels and separators an operation adds around library text.
constexpr int labels = 64;

const QList<OperationUnderTest> &operations()
{
    static const QList<OperationUnderTest> all{
        {"action",
         "OpenDevice",
         "打开设备失败，错误代码：",
         "打开设备成功，设备句柄：",
         true,
         {},
         {},
         0,
         0,
         {E::OpenDevice}},
        {"action_2",
         "CloseDevice",
         "关闭设备失败，错误代码：",
         "关闭设备成功",
         false,
         {},
         {},
         0,
         0,
         {E::CloseDevice}},
        {"pushButton_22",
         "TerminalHeartBeat",
         "设备连接状态异常，错误代码：",
         "设备连接状态正常",
         false,
         {"textEdit_TestInfo"},
         {},
         0,
         labels,
         {E::TerminalHeartBeat}},
        {"pushButton_23",
         "TerminalGetModel",
         "读取设备型号失败，错误代码：",
         "读取设备型号成功",
         false,
         {"textEdit_TestInfo"},
         {256},
         0,
         256,
         {E::TerminalGetModel}},
        {"pushButton_24",
         "TerminalGetFirmVersion",
         "读取固件版本号失败，错误代码：",
         "读取固件版本号成功",
         false,
         {"textEdit_TestInfo"},
         {256, 256},
         0,
         512 + labels,
         {E::TerminalGetFirmVersion}},
        {"pushButton_25",
         "SamGetIdStr",
         "读取SAM模块号失败，错误代码：",
         "读取SAM模块号成功",
         false,
         {"textEdit_TestInfo"},
         {256},
         0,
         256,
         {E::SamGetIdStr}},
        {"pushButton_27",
         "SdtSamGetIdStr",
         "读取SAM模块号失败，错误代码：",
         "读取SAM模块号成功",
         false,
         {"textEdit_TestInfo"},
         {256},
         0,
         256,
         {E::SdtSamGetIdStr}},
        {"pushButton_26",
         "SamGetStatus",
         "获取SAM模块状态失败，错误代码：",
         "获取SAM模块状态成功",
         false,
         {"textEdit_TestInfo"},
         {},
         0,
         labels,
         {E::SamGetStatus}},
        {"pushButton_28",
         "SdtSamGetStatus",
         "获取SAM模块状态失败，错误代码：",
         "获取SAM模块状态成功",
         false,
         {"textEdit_TestInfo"},
         {},
         0,
         labels,
         {E::SdtSamGetStatus}},
        {"pushButton",
         "IdReadCard",
         "读取证件信息失败，错误代码：",
         "读取证件信息成功",
         false,
         identityOutputs,
         {10240},
         0,
         10240 + labels,
         {E::IdReadCard}},
        {"pushButton_2",
         "SdtReadCard",
         "读取证件信息失败，错误代码：",
         "读取证件信息成功",
         false,
         identityOutputs,
         {10240},
         0,
         10240 + labels,
         {E::SdtReadCard}},
        {"pushButton_3",
         "IdReadSn",
         "读二代证卡体管理号SN失败，错误代码：",
         "读二代证卡体管理号SN成功：",
         true,
         {},
         {},
         16,
         32,
         {E::IdReadSn, E::HexToAsc}},
        {"pushButton_6",
         "IccGetCardInfo",
         "读取银行卡信息失败，错误代码：",
         "读取银行卡信息成功",
         false,
         {"textEdit_IccInfo"},
         {4096},
         0,
         4096,
         {E::IccGetCardInfo}},
        {"pushButton_7",
         "IccGetARQC",
         "获取ARQC失败，错误代码：",
         "获取ARQC成功",
         false,
         {"textEdit_IccInfo", "lineEdit_TrAppData"},
         {4096, 4096},
         0,
         3 * 4096 + labels,
         {E::IccGetARQC}},
        {"pushButton_8",
         "IccARPCExeScript",
         "执行脚本失败，错误代码：",
         "执行脚本成功",
         false,
         {"textEdit_IccInfo"},
         {4096, 4096},
         0,
         2 * 4096 + labels,
         {E::IccARPCExeScript}},
        {"pushButton_9",
         "IccGetTrDetail",
         "读交易明细失败，错误代码：",
         "读交易明细成功",
         false,
         {"textEdit_IccInfo"},
         {4096},
         0,
         4096 + labels,
         {E::IccGetTrDetail}},
        {"pushButton_10",
         "IccGetLoadDetail",
         "读圈存记录失败，错误代码：",
         "读圈存记录成功",
         false,
         {"textEdit_IccInfo"},
         {4096},
         0,
         4096 + labels,
         {E::IccGetLoadDetail}},
        {"pushButton_11",
         "SsseReadCard",
         "读取社保卡信息失败，错误代码：",
         "读取社保卡信息成功",
         false,
         socialSecurityOutputs,
         {4096, 4096},
         0,
         4096,
         {E::SsseReadCard}},
        {"pushButton_12",
         "M1FindCard",
         "M1卡寻卡失败，错误代码：",
         "M1卡寻卡成功",
         false,
         {"lineEdit_UID"},
         {},
         16,
         30,
         {E::M1FindCard, E::HexToAsc}},
        {"pushButton_13",
         "M1Authentication",
         "M1卡密钥认证失败，错误代码：",
         "M1卡密钥认证成功",
         false,
         {},
         {},
         0,
         0,
         {E::M1Authentication, E::AscToHex}},
        {"pushButton_14",
         "M1ReadBlock",
         "M1卡读块数据失败，错误代码：",
         "M1卡读块数据成功",
         false,
         {"lineEdit_BlockData"},
         {},
         32,
         62,
         {E::M1ReadBlock, E::HexToAsc}},
        {"pushButton_15",
         "M1WriteBlock",
         "M1卡写块数据失败，错误代码：",
         "M1卡写块数据成功",
         false,
         {},
         {},
         0,
         0,
         {E::M1WriteBlock, E::AscToHex}},
        {"pushButton_16",
         "MagRead",
         "读取磁条卡失败，错误代码：",
         "读取磁条卡成功",
         false,
         trackOutputs,
         {512, 512, 512},
         0,
         3 * 512,
         {E::MagRead}},
        {"pushButton_17",
         "MagWrite",
         "写入磁条卡失败，错误代码：",
         "写入磁条卡成功",
         false,
         {},
         {},
         0,
         0,
         {E::MagWrite}},
        {"pushButton_18",
         "CpuPowerOn",
         "CPU卡上电失败，错误代码：",
         "CPU卡上电成功",
         false,
         {"lineEdit_ATRS"},
         {},
         128,
         254,
         {E::CpuPowerOn, E::AscToHex, E::HexToAsc}},
        {"pushButton_19",
         "CpuApdu",
         "CPU卡发送APDU失败，错误代码：",
         "CPU卡发送APDU成功",
         false,
         {"textEdit_RecvApdu"},
         {},
         1024,
         2046,
         {E::CpuApdu, E::AscToHex, E::HexToAsc}},
        {"pushButton_20",
         "CpuPowerOff",
         "CPU卡下电失败，错误代码：",
         "CPU卡下电成功",
         false,
         {},
         {},
         0,
         0,
         {E::CpuPowerOff, E::AscToHex}},
        {"pushButton_21",
         "QrRead",
         "读取二维码失败，错误代码：",
         "读取二维码成功",
         false,
         {"textEdit_QrData"},
         {512},
         0,
         512,
         {E::QrRead}},
    };
    return all;
}

enum Fault {
    ResultCode,   // the library answers the code in `value`
    CountBeyond,  // success with a count of `value` over a full byte buffer
    TextFull,     // success with every text buffer full, no zero byte
    InvalidText,  // success with invalid UTF-8 / GB18030 in every text buffer
    Record,       // success with the record in `bytes`
    Photo,        // success with a full record whose photo field is `bytes`
    MissingEntry, // the entry point `value` is not exported
};

const char *const sentinel = "shown before";

QByteArray repeated(const QByteArray &piece, int size)
{
    QByteArray bytes;
    while (bytes.size() < size)
        bytes += piece;
    bytes.truncate(size);
    return bytes;
}

QByteArray identityRecord(const QByteArray &photo)
{
    return "J:name:en:M:x:nation:pass:20000101:address:id:org:20200101:20300101:03:" + photo;
}

int shownLength(const QObject *window, const QStringList &outputs)
{
    int length = 0;
    for (const QString &name : outputs)
        length += text(window, name.toLatin1().constData()).size();
    return length;
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
    }
    void init() { fakedevice::reset(); }
    void cleanup()
    {
        // libpng reports a truncated image on stderr, not through Qt; Qt's
        // own image warnings are expected for the broken photos.
        QStringList warnings = takeWarnings();
        warnings.erase(std::remove_if(warnings.begin(), warnings.end(),
                                      [](const QString &w) { return w.contains("QImage"); }),
                       warnings.end());
        QCOMPARE(warnings, QStringList());
    }

    void survivesTheFault_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("fault");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QByteArray>("bytes");

        const QList<qint64> codes{0, 1, -1, std::numeric_limits<qint64>::min(),
                                  std::numeric_limits<qint64>::max()};
        for (int i = 0; i < operations().size(); ++i) {
            const OperationUnderTest &op = operations().at(i);
            auto row = [&](const QString &cell, Fault fault, qint64 value = 0,
                           const QByteArray &bytes = {}) {
                QTest::newRow(qPrintable(QLatin1String(op.entry) + ' ' + cell))
                    << i << int(fault) << value << bytes;
            };
            for (qint64 code : codes)
                row(QString("code %1").arg(code), ResultCode, code);
            for (E entry : op.entries)
                row(QString("missing %1").arg(entryPointName(entry)), MissingEntry, int(entry));
            if (op.countedBuffer) {
                for (qint64 count : {qint64(100000), qint64(op.countedBuffer), qint64(-1),
                                     std::numeric_limits<qint64>::min()})
                    row(QString("count %1").arg(count), CountBeyond, count);
            }
            if (!op.textBuffers.isEmpty()) {
                row("full text buffers", TextFull);
                row("invalid utf-8", InvalidText, 0, "\xff\xfe\xc3(\xe4\xb8 \xf0\x9f\x98");
                row("invalid gb18030", InvalidText, 0, "\x81\x30\xff\x80:\x81\x30\x81:\xfe");
            }
            if (op.outputs == identityOutputs || op.outputs == socialSecurityOutputs) {
                row("record too short", Record, 0, "I:a:b");
                row("record far too long", Record, 0, repeated("field:", 10239));
                row("record only colons", Record, 0, QByteArray(10240, ':'));
                row("record empty", Record, 0, "");
            }
            if (op.outputs == identityOutputs) {
                const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
                row("photo empty", Photo, 0, "");
                row("photo not base64", Photo, 0, "!!!*** not an image ***!!!");
                row("photo truncated", Photo, 0, png.toBase64());
                // A PNG header declaring 60000 x 60000 pixels.
                row("photo huge", Photo, 0,
                    (png + QByteArray::fromHex("0000ea600000ea6008020000003d7e1f43")).toBase64());
            }
        }
    }

    void survivesTheFault()
    {
        QFETCH(int, operation);
        QFETCH(int, fault);
        QFETCH(qint64, value);
        QFETCH(QByteArray, bytes);
        const OperationUnderTest &op = operations().at(operation);

        MainWindow window;
        for (const QString &name : op.outputs)
            setText(&window, name.toLatin1().constData(), sentinel);
        auto *photo = child<QLabel>(&window, "label_photo");
        QPixmap earlierPhoto(4, 4);
        earlierPhoto.fill(Qt::red);
        photo->setPixmap(earlierPhoto);
        if (qstrcmp(op.control, "action") == 0)
            confirmNextDialog();

        fakedevice::Reply reply;
        std::unique_ptr<Unbound> unbound;
        switch (Fault(fault)) {
        case ResultCode:
            reply.result = value;
            if (qstrcmp(op.entry, "SsseReadCard") == 0)
                reply.buffers = {QByteArray(), repeated("错误", 4096)};
            break;
        case MissingEntry:
            unbound = std::make_unique<Unbound>(EntryPoint(value));
            break;
        case CountBeyond:
            reply.buffers = {QByteArray(op.countedBuffer, '\xab')};
            reply.counts = {value};
            break;
        case TextFull:
            for (int size : op.textBuffers)
                reply.buffers << repeated("中:A", size);
            break;
        case InvalidText:
            for (int size : op.textBuffers)
                reply.buffers << repeated(bytes, size);
            break;
        case Record:
            reply.buffers = {bytes};
            break;
        case Photo:
            reply.buffers = {identityRecord(bytes)};
            break;
        }
        fakedevice::script(op.entry, reply);
        click(&window, op.control);

        const QString failure = QString::fromUtf8(op.failureText);
        const QString success = QString::fromUtf8(op.successText);
        const QString shown = status(&window);
        const bool opens = qstrcmp(op.entry, "OpenDevice") == 0;
        const bool succeeded =
            fault != MissingEntry && (opens ? reply.result > 0 : reply.result == 0);

        if (fault == MissingEntry) {
            QCOMPARE(shown,
                     failure.chopped(5) + "接口库未导出" + entryPointName(EntryPoint(value)));
            QVERIFY(fakedevice::calls().isEmpty());
        } else if (!succeeded) {
            QString expected = failure + QString::number(reply.result);
            if (qstrcmp(op.entry, "SsseReadCard") == 0)
                expected += "  " + QString::fromUtf8(reply.buffers.value(1));
            QCOMPARE(shown, expected);
        } else if (op.successAppends) {
            QVERIFY2(shown.startsWith(success), qPrintable(shown));
            QVERIFY(shown.size() <= success.size() + qMax(op.longestShown, 20));
        } else {
            QCOMPARE(shown, success);
        }

        if (!succeeded) {
            const bool explains = qstrcmp(op.entry, "TerminalHeartBeat") == 0;
            for (const QString &name : op.outputs)
                QCOMPARE(text(&window, name.toLatin1().constData()),
                         explains ? QStringLiteral("设备未连接或状态异常") : QString(sentinel));
            QCOMPARE(photo->pixmap(Qt::ReturnByValue).size(), QSize(4, 4));
            return;
        }

        QVERIFY2(shownLength(&window, op.outputs) <= op.longestShown,
                 qPrintable(QString::number(shownLength(&window, op.outputs))));
        if (op.outputs == identityOutputs) {
            // A success replaces the whole document, the photo included.
            for (const QString &name : op.outputs)
                QVERIFY(text(&window, name.toLatin1().constData()) != sentinel);
            if (fault == Photo || fault == Record)
                QVERIFY(photo->pixmap(Qt::ReturnByValue).isNull());
        }
        if (op.outputs == socialSecurityOutputs || op.outputs == trackOutputs) {
            for (const QString &name : op.outputs)
                QVERIFY(text(&window, name.toLatin1().constData()) != sentinel);
        }
        if (fault == InvalidText && op.outputs != socialSecurityOutputs
            && op.outputs != identityOutputs)
            QVERIFY(text(&window, op.outputs.first().toLatin1().constData())
                        .contains(QChar::ReplacementCharacter));
        if (op.countedBuffer) {
            const qint64 passed = fakedevice::lastArgs("HexToAsc").value(1).toLongLong();
            QVERIFY(passed >= 0 && passed <= op.longestShown / 2);
        }
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
