// readerctl call, info and ops through the real program on the simulated
// reader, with no display: every operation's status text and outputs exactly
// as the window has them, masking, photos, and each way a call cannot start.
#include "readerctltest.h"

#include <QImage>
#include <QJsonArray>

using namespace readerctltest;

class ReaderctlCall : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void operations_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<int>("status");
        // Each call opens the reader anew, so what needs an earlier call
        // (authentication, block reads, APDUs) fails here as it would at the
        // window pressed first.
        QTest::newRow("open") << QStringList{"open"} << QString("打开设备成功，设备句柄：2\nhandle: 2\n") << true << 0;
        QTest::newRow("close") << QStringList{"close"} << QString("关闭设备成功\n") << true << 0;
        QTest::newRow("heartbeat") << QStringList{"heartbeat"} << QString("设备连接状态正常\n") << true << 0;
        QTest::newRow("model") << QStringList{"model"} << QString("读取设备型号成功\nmodel: SR-M300 多功能读写终端（模拟）\n") << true << 0;
        QTest::newRow("firmware") << QStringList{"firmware"} << QString("读取固件版本号成功\nfirmware: FW 2.4.1 build 20260915\nhardware: HW REV C\n") << true << 0;
        QTest::newRow("sam-status") << QStringList{"sam-status"} << QString("获取SAM模块状态成功\n") << true << 0;
        QTest::newRow("sam-id") << QStringList{"sam-id"} << QString("读取SAM模块号成功\nsam_id: 05.01-20260315-0000718293-4415607288\n") << true << 0;
        QTest::newRow("sam-status-ga467") << QStringList{"sam-status-ga467"} << QString("获取SAM模块状态成功\n") << true << 0;
        QTest::newRow("sam-id-ga467") << QStringList{"sam-id-ga467"} << QString("读取SAM模块号成功\nsam_id: 05.01-20260315-0000718293-4415607288\n") << true << 0;
        QTest::newRow("identity") << QStringList{"identity"} << QString("读取证件信息成功\nname: 苏**\ngender: 女\nnation: 汉\nbirth_date: ********\naddress: 云********************\nid_number: 990102********0023\nsign_organ: 青禾市公安局望舒分局\nvalid_from: 20160801\nvalid_to: 20360801\ntype_flag: \nphoto_size: 528\n") << true << 0;
        QTest::newRow("identity-ga467") << QStringList{"identity-ga467"} << QString("读取证件信息成功\nname: 苏**\ngender: 女\nnation: 汉\nbirth_date: ********\naddress: 云********************\nid_number: 990102********0023\nsign_organ: 青禾市公安局望舒分局\nvalid_from: 20160801\nvalid_to: 20360801\ntype_flag: \nphoto_size: 528\n") << true << 0;
        QTest::newRow("identity-serial") << QStringList{"identity-serial"} << QString("读二代证卡体管理号SN成功：5A3107C4882E910F\nserial: 5A3107C4882E910F\n") << true << 0;
        QTest::newRow("bank-info") << QStringList{"bank-info"} << QString("读取银行卡信息成功\npan: 699900******3451\ncard_info: A016699900******3451\n") << true << 0;
        QTest::newRow("bank-arqc") << QStringList{"bank-arqc"} << QString("获取ARQC成功\n") << false << 0;
        QTest::newRow("bank-script") << QStringList{"bank-script"} << QString("执行脚本失败，错误代码：-32\n") << true << 1;
        QTest::newRow("bank-log") << QStringList{"bank-log"} << QString("读交易明细成功\nlog: 1. 日期 260309  时间 184512") << false << 0;
        QTest::newRow("bank-load-log") << QStringList{"bank-load-log"} << QString("读圈存记录成功\nlog: 1. 日期 260302") << false << 0;
        QTest::newRow("ssse") << QStringList{"ssse"} << QString("读取社保卡信息成功\nidentity_code: 990100**********************F607\ncategory: 3\nstandard_version: 3.00\ninit_org: 990100000000\nissue_date: 20240315\nvalid_to: 20340314\ncard_number: H0*****61\nid_number: 990106********0034\nname: 陈**\ngender: 男\nnation: 汉族\nbirth_place: 云*****\nbirth_date: ********\n") << true << 0;
        QTest::newRow("m1-find") << QStringList{"m1-find"} << QString("M1卡寻卡成功\nuid: 5A1FC327\n") << true << 0;
        QTest::newRow("m1-auth") << QStringList{"m1-auth"} << QString("M1卡密钥认证失败，错误代码：-53\n") << true << 1;
        QTest::newRow("m1-read") << QStringList{"m1-read"} << QString("M1卡读块数据失败，错误代码：-55\n") << true << 1;
        QTest::newRow("m1-write") << QStringList{"m1-write"} << QString("M1卡写块数据失败，错误代码：-55\n") << true << 1;
        QTest::newRow("mag-read") << QStringList{"mag-read"} << QString("读取磁条卡成功\ntrack1: *699900**********^*********/****^***************************0000\ntrack2: \ntrack3: \n") << true << 0;
        QTest::newRow("mag-write") << QStringList{"mag-write"} << QString("写入磁条卡成功\n") << true << 0;
        QTest::newRow("cpu-on") << QStringList{"cpu-on"} << QString("CPU卡上电成功\natr: 3B6C000053524350552E535343333030\n") << true << 0;
        QTest::newRow("cpu-off") << QStringList{"cpu-off"} << QString("CPU卡下电成功\n") << true << 0;
        QTest::newRow("cpu-apdu") << QStringList{"cpu-apdu"} << QString("CPU卡发送APDU失败，错误代码：-71\n") << true << 1;
        QTest::newRow("qr") << QStringList{"qr"} << QString("读取二维码成功\ncontent: 收款单号：SR20260915-0318；商户：星河文具店；金额：12.50元\n") << true << 0;
        // Inputs by name, personal data in full when asked for.
        QTest::newRow("bank-info in full") << QStringList{"bank-info", "letters=AB", "--show-personal-data"}
                                           << QString("读取银行卡信息成功\npan: 6999002000123451\ncardholder_name: 陈思远\n"
                                                      "card_info: A0166999002000123451B003陈思远\n") << true << 0;
        QTest::newRow("m1-read block") << QStringList{"m1-read", "block=99"}
                                       << QString("M1卡读块数据失败，错误代码：-56\n") << true << 1;
        // Typed input the window refuses: its message, nothing called, status 2.
        QTest::newRow("refused data") << QStringList{"m1-write", "data=XYZ"}
                                      << QString("M1卡写块数据长度错误，应为32个HEX字符（16个字节）\n") << true << 2;
        QTest::newRow("refused apdu") << QStringList{"cpu-apdu", "apdu=0"}
                                      << QString("发送APDU的数据应为偶数个HEX字符\n") << true << 2;
        QTest::newRow("not opened") << QStringList{"heartbeat", "--extended", "bogus"}
                                    << QString("打开设备失败，错误代码：-19\n") << true << 4;
        QTest::newRow("unknown input") << QStringList{"heartbeat", "x=1"} << QString() << true << 2;
        QTest::newRow("unknown op") << QStringList{"nosuch"} << QString() << true << 2;
        // A timeout the watchdog's clock cannot hold is refused, nothing called.
        QTest::newRow("endless timeout") << QStringList{"heartbeat", "--timeout", "inf"} << QString() << true << 2;
        QTest::newRow("huge timeout") << QStringList{"heartbeat", "--timeout", "1e300"} << QString() << true << 2;
    }
    void operations()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, text);
        QFETCH(bool, exact);
        QFETCH(int, status);
        const Run run = readerctl(QStringList{"call"} + arguments);
        QCOMPARE(run.status, status);
        if (exact)
            QCOMPARE(run.out, text);
        else
            QVERIFY2(run.out.startsWith(text), qPrintable(run.out));
    }

    void photo()
    {
        const QString path = m_dir.filePath("photo.png");
        const Run run = readerctl({"call", "identity", "--photo", path, "--json"});
        QCOMPARE(run.status, 0);
        const QImage photo(path, "PNG");
        QCOMPARE(photo.size(), QSize(102, 126));
        // The JSON report: one step, masked outputs, no photo.
        const QJsonObject step = QJsonDocument::fromJson(run.out.toUtf8())["steps"].toArray()[0].toObject();
        QCOMPARE(step["status"].toString(), "读取证件信息成功");
        QCOMPARE(step["outputs"].toObject()["name"].toString(), "苏**");
        QVERIFY(!step["outputs"].toObject().contains("photo"));
    }

    void library()
    {
        // The window's words and the loader's reason.
        const Run missing = readerctl({"--library", m_dir.filePath("none.so"), "call", "heartbeat"});
        QCOMPARE(missing.status, 3);
        QVERIFY(missing.err.startsWith("libCommonInterface.so加载失败: " + m_dir.filePath("none.so")));
        QVERIFY(missing.err.contains("No such file"));
        const Run info = readerctl({"info"});
        QCOMPARE(info.status, 0);
        const QStringList lines = info.out.split('\n');
        QCOMPARE(lines[0], "library: " + qEnvironmentVariable("SIMULATOR_DIR") + "/libCommonInterface.so");
        // The entry points the window calls come first.
        QVERIFY(lines[1].startsWith("exported (78 of 78): OpenDevice CloseDevice TerminalGetModel"));
        QCOMPARE(lines[2], "missing (0): ");
        QVERIFY(info.out.contains("sam-id-ga467: 读取SAM模块号成功\n    sam_id: 05.01-20260315-0000718293-4415607288"));
    }

    void ops()
    {
        const Run run = readerctl({"ops", "--json"});
        QCOMPARE(run.status, 0);
        QStringList names;
        for (const QJsonValue op : QJsonDocument::fromJson(run.out.toUtf8())["ops"].toArray())
            names << op["op"].toString();
        QCOMPARE(names.join(' '), "open close heartbeat model firmware sam-status sam-id sam-status-ga467 sam-id-ga467 "
                                  "identity identity-ga467 identity-serial bank-info bank-arqc bank-script bank-log "
                                  "bank-load-log ssse m1-find m1-auth m1-read m1-write mag-read mag-write cpu-on cpu-off "
                                  "cpu-apdu qr");
    }

    // Within one run, m1-auth without a uid takes the last m1-find's.
    void chained()
    {
        const QString plan = write(m_dir, "m1.toml", R"(
[[step]]
name = "find"
op = "m1-find"
[[step]]
name = "auth"
op = "m1-auth"
[[step]]
name = "read"
op = "m1-read"
expect.fields = { data = { regex = "^[0-9A-F]{32}$" } }
)");
        const Run run = readerctl({"run", plan});
        QVERIFY2(run.status == 0, qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(ReaderctlCall)
#include "tst_readerctl_call.moc"
