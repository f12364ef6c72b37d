// Tab "二代证": the identity record on both reading routes, its type flags,
// short and unterminated records, the photo as untrusted data, and the card
// body's serial number.
#include "fakedevice.h"
#include "gb18030.h"
#include "mainwindow.h"
#include "records.h"
#include "windowtest.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QtTest>

#include <array>
#include <functional>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace windowtest;

namespace {

QByteArray gb18030(const QString &text)
{
    return toGb18030(text);
}

QByteArray imageFile(int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QByteArray file;
    QBuffer device(&file);
    device.open(QIODevice::WriteOnly);
    image.save(&device, format);
    return file;
}

QString photoField(int width, int height, const char *format = "PNG")
{
    return QString::fromLatin1(imageFile(width, height, format).toBase64());
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : data) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>(value >> shift & 0xFF));
    return bytes;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(data.size()) + type + data + bigEndian(crc32(type + data));
}

// A well-formed PNG whose header declares width × height RGBA pixels of
// 8 or 16 bits, followed by the first rows only: a decoder that trusts the
// header allocates the whole image before it finds out.
QByteArray declaredPngFile(quint32 width, quint32 height, char depth = 8)
{
    const QByteArray header =
        bigEndian(width) + bigEndian(height) + depth + QByteArray("\x06\0\0\0", 4);
    const QByteArray rows = qCompress(QByteArray(4 * 1024, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header) + pngChunk("IDAT", rows)
           + pngChunk("IEND", QByteArray());
}

QString declaredPng(quint32 width, quint32 height)
{
    return QString::fromLatin1(declaredPngFile(width, height).toBase64());
}

// A size from /proc/self/status, in kB.
qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            const QByteArray value = line.mid(static_cast<int>(qstrlen(key))).trimmed();
            return value.left(value.indexOf(' ')).toLongLong();
        }
    }
    return -1;
}

// The file with one more chunk right after its header.
QByteArray withChunk(QByteArray png, const QByteArray &chunk)
{
    return png.insert(8 + 25, chunk);
}

// An iCCP chunk holding a compressed colour profile of size bytes: a header
// that libpng accepts, no tags, zeros.
QByteArray iccChunk(int size)
{
    QByteArray profile = bigEndian(size) + "none" + QByteArray("\x02\x10\0\0", 4) + "mntrRGB XYZ "
                         + QByteArray(12, '\0') + "acsp" + QByteArray(28, '\0')
                         + QByteArray::fromHex("0000F6D6000100000000D32D");
    profile.append(QByteArray(size - profile.size(), '\0'));
    return pngChunk("iCCP", QByteArray("icc\0\0", 5) + qCompress(profile, 9).mid(4));
}

// The highest virtual size the process has had, in kB.
qint64 peakVirtualKb()
{
    return statusKb("VmPeak:");
}

QByteArray littleEndian16(int value)
{
    return QByteArray(1, static_cast<char>(value & 0xFF)) + static_cast<char>(value >> 8 & 0xFF);
}

QByteArray littleEndian32(int value)
{
    return littleEndian16(value & 0xFFFF) + littleEndian16(value >> 16 & 0xFFFF);
}

// A GIF of one frame placed on a logical screen of its own size, each pixel
// coded as it is (a clear code before every two keeps the codes 3 bits wide).
QByteArray gifFile(int screenWidth, int screenHeight, int frameWidth, int frameHeight)
{
    QByteArray codes;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= static_cast<quint32>(code) << count;
        for (count += 3; count >= 8; count -= 8, bits >>= 8)
            codes.append(static_cast<char>(bits & 0xFF));
    };
    for (int pixel = 0; pixel < frameWidth * frameHeight && pixel < 64; ++pixel) {
        if (pixel % 2 == 0)
            put(4);
        put(pixel % 4);
    }
    put(5);
    if (count > 0)
        codes.append(static_cast<char>(bits & 0xFF));
    return QByteArray("GIF89a") + littleEndian16(screenWidth) + littleEndian16(screenHeight)
           + QByteArray("\x81\0\0\x20\x40\x60\xe0\xd0\xc0\0\0\0\xff\xff\xff,\0\0\0\0", 20)
           + littleEndian16(frameWidth) + littleEndian16(frameHeight) + QByteArray("\0\x02", 2)
           + static_cast<char>(codes.size()) + codes + QByteArray("\0;", 2);
}

// An icon file whose directory names one 16 x 16 image: the file given.
QByteArray iconHolding(const QByteArray &image)
{
    return littleEndian16(0) + littleEndian16(1) + littleEndian16(1) + QByteArray("\x10\x10\0\0", 4)
           + littleEndian16(1) + littleEndian16(32) + littleEndian32(image.size())
           + littleEndian32(22) + image;
}

// A progressive four-component (CMYK) JPEG of 2048 x 2048 whose scans carry
// no data, repeated while the file stays within longest bytes: the decoder
// keeps every coefficient of the image (2 bytes per sample) besides the
// decoded picture, and runs through the whole image once per scan.
QByteArray progressiveCmykJpeg(int longest)
{
    const auto segment = [](char marker, const QByteArray &body) {
        const int length = body.size() + 2;
        return QByteArray("\xff", 1) + marker + static_cast<char>(length >> 8)
               + static_cast<char>(length & 0xFF) + body;
    };
    QByteArray quantisation(1, '\0');
    for (int i = 1; i <= 64; ++i)
        quantisation.append(static_cast<char>(i));
    QByteArray frame("\x08\x08\x00\x08\x00\x04", 6);
    QByteArray firstScan("\x04", 1);
    for (char component = 1; component <= 4; ++component) {
        frame += component + QByteArray("\x11\0", 2);
        firstScan += component + QByteArray(1, '\0');
    }
    firstScan += QByteArray(3, '\0');
    const QByteArray oneCode = QByteArray("\x01", 1) + QByteArray(16, '\0');
    QByteArray file = QByteArray("\xff\xd8", 2) + segment('\xdb', quantisation)
                      + segment('\xc2', frame) + segment('\xc4', '\0' + oneCode)
                      + segment('\xc4', '\x10' + oneCode) + segment('\xda', firstScan);
    for (int scan = 0; file.size() + 12 <= longest; ++scan) {
        const char component = static_cast<char>(scan % 4 + 1);
        file += segment('\xda', QByteArray("\x01", 1) + component + QByteArray("\0\x01\x3f\0", 4));
    }
    return file + QByteArray("\xff\xd9", 2);
}

QByteArray bmpFile(int width, int height)
{
    const QByteArray info = littleEndian32(40) + littleEndian32(width) + littleEndian32(height)
                            + littleEndian16(1) + littleEndian16(32) + QByteArray(24, '\0');
    return "BM" + littleEndian32(54 + 64) + littleEndian32(0) + littleEndian32(54) + info
           + QByteArray(64, '\0');
}

// What a press may cost above the window's idle footprint. The dearest photo
// costs about 48 MiB: a progressive CMYK JPEG of 2048 x 2048, whose decoder
// keeps 32 MiB of coefficients beside the 16 MiB picture.
constexpr qint64 photoMemoryBoundKb = 64 * 1024;

struct Footprint
{
    qint64 growthKb = -1; // how far the virtual size rose above where it was
    bool photoShown = false;
};

// Runs press in a child process, whose peak virtual size the kernel starts
// at its size at the fork: the growth is what the press alone cost, however
// high the test process has been before.
Footprint footprintOf(const std::function<bool()> &press)
{
    int ends[2];
    if (pipe(ends) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        Footprint footprint;
        const qint64 idle = statusKb("VmSize:");
        footprint.photoShown = press();
        footprint.growthKb = statusKb("VmPeak:") - idle;
        const bool written = write(ends[1], &footprint, sizeof footprint) == sizeof footprint;
        _exit(written ? 0 : 1);
    }
    close(ends[1]);
    Footprint footprint;
    if (child < 0 || read(ends[0], &footprint, sizeof footprint) != sizeof footprint)
        footprint = Footprint();
    close(ends[0]);
    int status = 0;
    if (child > 0)
        waitpid(child, &status, 0);
    return footprint;
}

// The 15 fields of a resident card; tests change single fields.
QStringList residentFields()
{
    return {"",
            "𠮷晓岚",
            "",
            "女",
            "2",
            "汉",
            "",
            "19880614",
            "云溪省青禾市松涛路27号",
            "990102198806140026",
            "青禾市公安局",
            "20160801",
            "20360801",
            "",
            photoField(102, 126)};
}

void scriptRecord(const char *entry, const QByteArray &record, qint64 result = 0)
{
    fakedevice::script(entry, {result, {record}, {}});
}

void scriptRecord(const char *entry, const QStringList &fields)
{
    scriptRecord(entry, gb18030(fields.join(':')));
}

QPixmap photo(const MainWindow &window)
{
    return child<QLabel>(&window, "label_photo")->pixmap(Qt::ReturnByValue);
}

QSize photoSize(const MainWindow &window)
{
    return photo(window).size();
}

bool photoShown(const MainWindow &window)
{
    return !photo(window).isNull();
}

const std::array<const char *, 9> documentWidgets{
    "lineEdit_name",     "lineEdit_gender",  "lineEdit_nation",
    "lineEdit_birthday", "textEdit_address", "lineEdit_idnumber",
    "lineEdit_signorg",  "lineEdit_valid",   "lineEdit_other"};

QStringList documentTexts(const MainWindow &window)
{
    QStringList texts;
    for (const char *name : documentWidgets)
        texts.append(text(&window, name));
    return texts;
}

} // namespace

class TestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        installWarningCollector();
        bindLoadedLibrary();
        // Blocks of 128 KiB and more are mapped for themselves and unmapped
        // when freed, never kept for reuse, so a new one always shows in the
        // virtual size by which the memory tests measure a press.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    }
    void init() { fakedevice::reset(); }
    void cleanup() { QCOMPARE(takeWarnings(), QStringList()); }

    void residentCardFillsEveryWidget()
    {
        MainWindow window;
        QStringList fields = residentFields();
        fields[8] = "<b>松涛路</b>&amp;27号<br>";
        const QByteArray record = gb18030(fields.join(':'));
        // The test data would not catch a UTF-8 decoding of the record.
        QVERIFY(!QString::fromUtf8(record).contains(fields[1]));
        scriptRecord("IdReadCard", record);

        click(&window, "pushButton");
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QCOMPARE(fakedevice::lastArgs("IdReadCard"), (QVariantList{0, 1, true, 0}));
        QCOMPARE(text(&window, "lineEdit_name"), QStringLiteral("𠮷晓岚"));
        QCOMPARE(text(&window, "lineEdit_gender"), QStringLiteral("女"));
        QCOMPARE(text(&window, "lineEdit_nation"), QStringLiteral("汉"));
        QCOMPARE(text(&window, "lineEdit_birthday"), QStringLiteral("19880614"));
        QCOMPARE(text(&window, "textEdit_address"), QStringLiteral("<b>松涛路</b>&amp;27号<br>"));
        QCOMPARE(text(&window, "lineEdit_idnumber"), QStringLiteral("990102198806140026"));
        QCOMPARE(text(&window, "lineEdit_signorg"), QStringLiteral("青禾市公安局"));
        QCOMPARE(text(&window, "lineEdit_valid"), QStringLiteral("20160801 - 20360801"));
        QCOMPARE(text(&window, "lineEdit_other"), QStringLiteral("证件类型标识："));
        QCOMPARE(photoSize(window), QSize(102, 126));
        QCOMPARE(fakedevice::calls().size(), 1);
    }

    void typeFlagSelectsTheExtraText_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("other");
        const QString tail2 = "  英文姓名：KOSTER MARINA  证件版本号：01";
        const QString tail6 = "  通行证号码：H99012345  签发次数：02";
        QTest::newRow("resident, empty") << ""
                                         << "证件类型标识：";
        QTest::newRow("foreigner") << "I"
                                   << "证件类型标识：I" + tail2;
        QTest::newRow("Hong Kong, Macao, Taiwan") << "J"
                                                  << "证件类型标识：J" + tail6;
        QTest::newRow("longer flag starting with J") << "J1x"
                                                     << "证件类型标识：J1x" + tail6;
        QTest::newRow("lower-case i") << "i"
                                      << "证件类型标识：i";
        QTest::newRow("lower-case j") << "j"
                                      << "证件类型标识：j";
        QTest::newRow("I not first") << " I"
                                     << "证件类型标识： I";
        QTest::newRow("full-width I") << "Ｉ"
                                      << "证件类型标识：Ｉ";
        QTest::newRow("Latin-1 letter") << "Í"
                                        << "证件类型标识：Í";
        QTest::newRow("Chinese") << "外"
                                 << "证件类型标识：外";
    }

    void typeFlagSelectsTheExtraText()
    {
        QFETCH(QString, flag);
        QFETCH(QString, other);
        MainWindow window;
        QStringList fields = residentFields();
        fields[0] = flag;
        fields[2] = "KOSTER MARINA";
        fields[6] = "H99012345";
        fields[13] = flag.startsWith('J') ? "02" : "01";
        scriptRecord("IdReadCard", fields);
        click(&window, "pushButton");
        QCOMPARE(text(&window, "lineEdit_other"), other);
        QCOMPARE(text(&window, "lineEdit_name"), QStringLiteral("𠮷晓岚"));
    }

    void bothRoutesReadTheSameWay_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("otherEntry");
        QTest::newRow("plain") << "pushButton" << QByteArray("IdReadCard")
                               << QByteArray("SdtReadCard");
        QTest::newRow("GA467") << "pushButton_2" << QByteArray("SdtReadCard")
                               << QByteArray("IdReadCard");
    }

    void bothRoutesReadTheSameWay()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, otherEntry);
        const QByteArray buttonName = button.toLatin1();
        MainWindow window;

        QStringList fields = residentFields();
        fields[0] = "J";
        fields[6] = "H12";
        fields[13] = "03";
        scriptRecord(entry, fields);
        click(&window, buttonName);
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QCOMPARE(fakedevice::lastArgs(entry), (QVariantList{0, 1, true, 0}));
        QVERIFY(fakedevice::callsOf(otherEntry).isEmpty());
        QCOMPARE(text(&window, "lineEdit_other"),
                 QStringLiteral("证件类型标识：J  通行证号码：H12  签发次数：03"));
        QVERIFY(photoShown(window));

        // A failure leaves the whole document, photo included, on screen.
        const QStringList shown = documentTexts(window);
        const qint64 photoKey = photo(window).cacheKey();
        scriptRecord(entry, gb18030("X:其他人:::::::::::::"), -5);
        click(&window, buttonName);
        QCOMPARE(status(&window), QStringLiteral("读取证件信息失败，错误代码：-5"));
        QCOMPARE(documentTexts(window), shown);
        QCOMPARE(photo(window).cacheKey(), photoKey);

        scriptRecord(entry, QByteArray(), 2147483648LL);
        click(&window, buttonName);
        QCOMPARE(status(&window), QStringLiteral("读取证件信息失败，错误代码：2147483648"));
        QCOMPARE(fakedevice::callsOf(entry).size(), 3);
        QVERIFY(fakedevice::callsOf(otherEntry).isEmpty());
    }

    void emptyFieldsKeepTheirPositions()
    {
        MainWindow window;
        QStringList fields = residentFields();
        fields[3] = "";
        fields[4] = "不显示";
        fields[11] = "";
        fields[12] = "";
        scriptRecord("IdReadCard", fields);
        click(&window, "pushButton");
        QCOMPARE(text(&window, "lineEdit_gender"), QString());
        QCOMPARE(text(&window, "lineEdit_nation"), QStringLiteral("汉"));
        QCOMPARE(text(&window, "lineEdit_valid"), QStringLiteral(" - "));
        QCOMPARE(text(&window, "lineEdit_signorg"), QStringLiteral("青禾市公安局"));
        for (const QString &shown : documentTexts(window))
            QVERIFY2(!shown.contains("不显示"), qPrintable(shown));

        // Fields after the fifteenth change nothing.
        scriptRecord("IdReadCard", residentFields() + QStringList{"附加", "更多"});
        click(&window, "pushButton");
        QCOMPARE(text(&window, "lineEdit_valid"), QStringLiteral("20160801 - 20360801"));
        QCOMPARE(photoSize(window), QSize(102, 126));
    }

    void unterminatedRecordIsReadToTheBufferEnd()
    {
        MainWindow window;
        const QByteArray head = gb18030("I:名:EN:男::::19790302:地址:号码:机关:20200115:");
        const int size = fakedevice::bufferSize("IdReadCard", 0);
        QCOMPARE(size, 10240);
        scriptRecord("IdReadCard", head + QByteArray(size - head.size(), 'x'));
        click(&window, "pushButton");
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QCOMPARE(text(&window, "lineEdit_valid"),
                 QStringLiteral("20200115 - ") + QString(size - head.size(), 'x'));
        QCOMPARE(text(&window, "lineEdit_other"),
                 QStringLiteral("证件类型标识：I  英文姓名：EN  证件版本号："));
    }

    void shortRecordEmptiesTheMissingFields_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("3 fields")
            << "I:名字:ENGLISH"
            << QStringList{"名字", "", "",
                           "",     "", "",
                           "",     "", "证件类型标识：I  英文姓名：ENGLISH  证件版本号："};
        QTest::newRow("1 field") << "J"
                                 << QStringList{
                                        "", "", "",
                                        "", "", "",
                                        "", "", "证件类型标识：J  通行证号码：  签发次数："};
        QTest::newRow("12 fields")
            << ":名:::::::住址:号:机关:20200101"
            << QStringList{"名", "", "", "", "住址", "号", "机关", "20200101 - ", "证件类型标识："};
        QTest::newRow("14 fields, no photo")
            << ":名:::::::住址:号:机关:20200101:20300101:"
            << QStringList{
                   "名", "", "", "", "住址", "号", "机关", "20200101 - 20300101", "证件类型标识："};
    }

    void shortRecordEmptiesTheMissingFields()
    {
        QFETCH(QString, record);
        QFETCH(QStringList, expected);
        MainWindow window;
        scriptRecord("IdReadCard", residentFields());
        click(&window, "pushButton");
        QVERIFY(photoShown(window));

        scriptRecord("IdReadCard", gb18030(record));
        click(&window, "pushButton");
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QCOMPARE(documentTexts(window), expected);
        QVERIFY(!photoShown(window));
    }

    void photoFormatIsFoundFromTheData_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QSize>("size");
        QTest::newRow("PNG") << photoField(102, 126, "PNG") << QSize(102, 126);
        QTest::newRow("BMP") << photoField(90, 110, "BMP") << QSize(90, 110);
        QTest::newRow("JPEG") << photoField(64, 80, "JPEG") << QSize(64, 80);
        QString wrapped = photoField(30, 40);
        for (int at = wrapped.size() - 16; at > 0; at -= 16)
            wrapped.insert(at, at % 32 ? "\r\n" : " ");
        QTest::newRow("Base64 with line breaks") << wrapped << QSize(30, 40);
        QTest::newRow("widest accepted") << photoField(2048, 1) << QSize(2048, 1);
        QTest::newRow("tallest accepted") << photoField(1, 2048) << QSize(1, 2048);
    }

    void photoFormatIsFoundFromTheData()
    {
        QFETCH(QString, field);
        QFETCH(QSize, size);
        MainWindow window;
        QStringList fields = residentFields();
        fields[14] = field;
        scriptRecord("SdtReadCard", fields);
        click(&window, "pushButton_2");
        QCOMPARE(photoSize(window), size);
    }

    void photoThatCannotBeShownLeavesTheFrameEmpty_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << QString();
        QTest::newRow("not Base64") << QStringLiteral("照片");
        QTest::newRow("not an image") << QString::fromLatin1(QByteArray("plain text").toBase64());
        QTest::newRow("too wide") << photoField(2049, 1);
        QTest::newRow("too tall") << photoField(1, 2049);
        // The reader reports 3 x 1, the frame's size, yet decodes the screen.
        QTest::newRow("GIF screen far wider than its frame")
            << QString::fromLatin1(gifFile(6403, 1, 3, 1).toBase64());
        // An icon's directory names a size of its own, not the inner file's.
        QTest::newRow("icon holding a PNG")
            << QString::fromLatin1(iconHolding(imageFile(4, 5, "PNG")).toBase64());
    }

    void photoThatCannotBeShownLeavesTheFrameEmpty()
    {
        QFETCH(QString, field);
        MainWindow window;
        scriptRecord("IdReadCard", residentFields());
        click(&window, "pushButton");
        QVERIFY(photoShown(window));

        QStringList fields = residentFields();
        fields[1] = "下一位";
        fields[14] = field;
        scriptRecord("IdReadCard", fields);
        click(&window, "pushButton");
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QCOMPARE(text(&window, "lineEdit_name"), QStringLiteral("下一位"));
        QVERIFY(!photoShown(window));
    }

    // The peak only ever rises, so the rows go from the smaller declared size
    // to the larger: an unguarded decode of the first already fails the test.
    void hugeDeclaredPhotoIsNeverAllocated_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QSize>("declared");
        QTest::newRow("16000 x 16000") << declaredPng(16000, 16000) << QSize(16000, 16000);
        QTest::newRow("60000 x 60000") << declaredPng(60000, 60000) << QSize(60000, 60000);
    }

    void hugeDeclaredPhotoIsNeverAllocated()
    {
        QFETCH(QString, field);
        QFETCH(QSize, declared);
        QByteArray file = QByteArray::fromBase64(field.toLatin1());
        QBuffer device(&file);
        QCOMPARE(QImageReader(&device).size(), declared);
        MainWindow window;
        QStringList fields = residentFields();
        fields[14] = field;
        scriptRecord("IdReadCard", fields);
        const qint64 peakBefore = peakVirtualKb();
        click(&window, "pushButton");
        const qint64 peakGrowth = peakVirtualKb() - peakBefore;
        QCOMPARE(status(&window), QStringLiteral("读取证件信息成功"));
        QVERIFY(!photoShown(window));
        // Decoding would reserve 4 bytes per declared pixel (1 GB and more).
        QVERIFY2(peakGrowth < 128 * 1024, qPrintable(QString::number(peakGrowth) + " kB"));
    }

    // libpng inflates compressed text and Qt keeps copies of it with the
    // image: 7.6 MB of text from 7.5 KB cost some 45 MB. The tab shows no
    // text, so a photo's text chunks are left out; the picture still shows.
    void photoTextIsLeftOut()
    {
        QByteArray file = imageFile(30, 40, "PNG");
        file = withChunk(file, pngChunk("zTXt", QByteArray("Comment\0\0", 9)
                                                    + qCompress(QByteArray(100000, 'A')).mid(4)));
        file = withChunk(file, pngChunk("tEXt", QByteArray("Title\0Photo", 11)));
        file = withChunk(file, pngChunk("iTXt", QByteArray("Note\0\0\0\0\0text", 13)));
        QBuffer device(&file);
        QCOMPARE(QImageReader(&device).read().textKeys().size(), 3);

        const QImage photo = identityPhoto(QString::fromLatin1(file.toBase64()));
        QCOMPARE(photo.size(), QSize(30, 40));
        QCOMPARE(photo.textKeys(), QStringList());
    }

    // No decoded photo holds more pixel data than 2048 x 2048 at 32 bits, so
    // that 16-bit pixels halve the accepted area.
    void photoPixelDataIsBounded_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("32-bit, 2048 x 2048")
            << int(QImage::Format_ARGB32) << QSize(2048, 2048) << true;
        QTest::newRow("64-bit, 1448 x 1448")
            << int(QImage::Format_RGBA64) << QSize(1448, 1448) << true;
        QTest::newRow("64-bit, 1449 x 1448")
            << int(QImage::Format_RGBA64) << QSize(1449, 1448) << false;
        QTest::newRow("64-bit, 2048 x 8") << int(QImage::Format_RGBA64) << QSize(2048, 8) << true;
    }

    void photoPixelDataIsBounded()
    {
        QFETCH(int, format);
        QFETCH(QSize, size);
        QFETCH(bool, accepted);
        QImage image(size, static_cast<QImage::Format>(format));
        image.fill(QColor(200, 40, 90, 128));
        QByteArray file;
        QBuffer device(&file);
        device.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&device, "PNG"));
        const QImage photo = identityPhoto(QString::fromLatin1(file.toBase64()));
        QCOMPARE(photo.isNull(), !accepted);
        if (accepted)
            QCOMPARE(photo.size(), size);
    }

    // What one press costs above the window's idle footprint, for the dearest
    // photos that are accepted and for files whose reported size is not the
    // size they decode at.
    void photoDecodingStaysWithinItsMemoryBound_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("shown");
        // 7668 bytes are the 10224 characters of Base64 that fit in the read
        // buffer beside the 14 colons: 751 scans.
        QTest::newRow("JPEG, CMYK, progressive, 2048 x 2048, as many scans as fit")
            << progressiveCmykJpeg(7668) << true;
        // 32 MiB of pixels: refused before decoding. 1448 x 1448 is the
        // largest square of 16-bit RGBA pixels that is accepted.
        QTest::newRow("PNG, 16-bit RGBA, 2048 x 2048, cut short")
            << declaredPngFile(2048, 2048, 16) << false;
        QTest::newRow("PNG, 16-bit RGBA, 1448 x 1448, cut short")
            << declaredPngFile(1448, 1448, 16) << false;
        // Small files that inflate: a text chunk or a colour profile of
        // 7.6 MB, and a whole palette image whose rows are all zeros.
        QTest::newRow("PNG, 8-bit RGBA, 2048 x 2048, with a compressed text")
            << withChunk(declaredPngFile(2048, 2048),
                         pngChunk("zTXt", QByteArray("Comment\0\0", 9)
                                              + qCompress(QByteArray(7600000, 'A'), 9).mid(4)))
            << false;
        QTest::newRow("PNG, 8-bit RGBA, 2048 x 2048, with a compressed colour profile")
            << withChunk(declaredPngFile(2048, 2048), iccChunk(7600000)) << false;
        const QByteArray zeroRows = qCompress(QByteArray(2049 * 2048, '\0'), 9).mid(4);
        QTest::newRow("PNG, 8-bit palette, 2048 x 2048, complete")
            << QByteArray("\x89PNG\r\n\x1a\n")
                   + pngChunk("IHDR",
                              bigEndian(2048) + bigEndian(2048) + QByteArray("\x08\x03\0\0\0", 5))
                   + pngChunk("PLTE", "\x10\x20\x30") + pngChunk("IDAT", zeroRows)
                   + pngChunk("IEND", QByteArray())
            << true;
        QTest::newRow("BMP, 32-bit, 2048 x 2048") << bmpFile(2048, 2048) << true;
        QTest::newRow("GIF, 2048 x 2048 screen") << gifFile(2048, 2048, 1, 1) << true;
        QTest::newRow("GIF, 30000 x 3000 screen around a 1 x 1 frame")
            << gifFile(30000, 3000, 1, 1) << false;
        QTest::newRow("icon holding a PNG of 20000 x 20000")
            << iconHolding(declaredPngFile(20000, 20000)) << false;
    }

    void photoDecodingStaysWithinItsMemoryBound()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, shown);
        QStringList fields;
        for (int i = 0; i < 15; ++i)
            fields.append(QString());
        fields[14] = QString::fromLatin1(file.toBase64());
        const QByteArray record = gb18030(fields.join(':'));
        QVERIFY(record.size() <= fakedevice::bufferSize("IdReadCard", 0));
        scriptRecord("IdReadCard", record);
        MainWindow window;

        const Footprint footprint = footprintOf([&window] {
            click(&window, "pushButton");
            return photoShown(window);
        });
        QVERIFY(footprint.growthKb >= 0);
        QVERIFY2(footprint.growthKb < photoMemoryBoundKb,
                 qPrintable(QString::number(footprint.growthKb) + " kB"));
        QCOMPARE(footprint.photoShown, shown);
    }

    void serialNumberIsShownInHex_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("converted");
        QTest::addColumn<QString>("hex");
        const QByteArray sixteen = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
        QTest::newRow("8 bytes") << QByteArray::fromHex("5A3107C4882E910F") << qint64(8)
                                 << qint64(8) << "5A3107C4882E910F";
        QTest::newRow("none") << QByteArray() << qint64(0) << qint64(0) << "";
        QTest::newRow("whole buffer")
            << sixteen << qint64(16) << qint64(16) << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("count beyond the buffer")
            << sixteen << qint64(100) << qint64(16) << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("negative count") << sixteen << qint64(-1) << qint64(0) << "";
        QTest::newRow("most negative count")
            << sixteen << std::numeric_limits<qint64>::min() << qint64(0) << "";
    }

    void serialNumberIsShownInHex()
    {
        QFETCH(QByteArray, serial);
        QFETCH(qint64, count);
        QFETCH(qint64, converted);
        QFETCH(QString, hex);
        MainWindow window;
        fakedevice::script("IdReadSn", {0, {serial}, {count}});
        click(&window, "pushButton_3");
        QCOMPARE(status(&window), QStringLiteral("读二代证卡体管理号SN成功：") + hex);
        QCOMPARE(fakedevice::lastArgs("IdReadSn"), (QVariantList{true, 0}));
        const QVariantList conversion = fakedevice::lastArgs("HexToAsc");
        QCOMPARE(conversion.value(1).toLongLong(), converted);
        QCOMPARE(conversion.value(2).toBool(), true);
    }

    void serialNumberFailureShowsTheCode()
    {
        MainWindow window;
        fakedevice::script("IdReadSn", {3, {"\x01\x02"}, {2}});
        click(&window, "pushButton_3");
        QCOMPARE(status(&window), QStringLiteral("读二代证卡体管理号SN失败，错误代码：3"));
        QVERIFY(fakedevice::callsOf("HexToAsc").isEmpty());
    }

    void serialNumberLeavesTheDocumentAlone()
    {
        MainWindow window;
        scriptRecord("IdReadCard", residentFields());
        click(&window, "pushButton");
        const QStringList shown = documentTexts(window);
        const qint64 photoKey = photo(window).cacheKey();

        fakedevice::script("IdReadSn", {0, {QByteArray::fromHex("0102030405060708")}, {8}});
        click(&window, "pushButton_3");
        QCOMPARE(status(&window), QStringLiteral("读二代证卡体管理号SN成功：0102030405060708"));
        QCOMPARE(documentTexts(window), shown);
        QCOMPARE(photo(window).cacheKey(), photoKey);
    }
};

QTEST_MAIN(TestIdentity)
#include "tst_identity.moc"
