#include "calls.h"

#include "operation.h"
#include "records.h"

#include <algorithm>

namespace calls {
namespace {
// The window's buffer sizes: the library writes into buffers of exactly
// these sizes whichever program calls it.
constexpr std::size_t deviceTextSize = 256;
constexpr std::size_t identityRecordSize = 10240;
constexpr std::size_t serialSize = 16;
constexpr std::size_t iccTextSize = 4096;
constexpr std::size_t ssseTextSize = 4096;
constexpr std::size_t trackSize = 512;
constexpr std::size_t qrContentSize = 512;
constexpr std::size_t slotSize = 16;
constexpr std::size_t atrSize = 128;
constexpr std::size_t apduSize = 1024;

// The card selectors, reserved texts and flags the window always passes.
constexpr int iccKind = 2;
constexpr const char *iccReserved = "";
constexpr int iccFlags = 0;
constexpr int ssseKind = 3;
constexpr int ssseFlags = 0;

constexpr int m1KeyTextLength = 12;
constexpr qint64 m1KeyBytes = 6;
// Authentication takes the first four UID bytes, whatever the card's UID size.
constexpr qint64 m1AuthenticationUidBytes = 4;
constexpr int m1BlockTextLength = 32;
constexpr qint64 m1BlockBytes = 16;
// A command text longer than the command buffer is refused rather than cut:
// a shortened command is a different command.
constexpr int longestApduText = 2 * static_cast<int>(apduSize);

// One call under way: its status text and outputs as they come.
class Call
{
public:
    explicit Call(const char *failureText) : m_operation(nullptr, failureText) {}

    bool entriesBound(std::initializer_list<EntryPoint> entries)
    {
        if (m_operation.entriesBound(entries))
            return true;
        m_result.stage = Result::Stage::Missing;
        return false;
    }

    // Typed input refused before anything is called.
    Result refuse(const QString &text)
    {
        m_result.stage = Result::Stage::Refused;
        m_result.status = text;
        return m_result;
    }

    // Records the library's answer; true when it is a failure.
    bool failed(qint64 code)
    {
        m_result.stage = Result::Stage::Called;
        m_result.code = code;
        return m_operation.failed(code);
    }

    void report(const QString &text) { m_operation.report(text); }
    // The status text of a call that succeeded.
    void succeed(const QString &text)
    {
        m_result.success = true;
        report(text);
    }
    QString failure(qint64 code) const { return m_operation.failure(code); }

    void add(const char *name, const QString &value, Personal kind = Personal::No)
    {
        m_result.outputs.push_back({QString::fromLatin1(name), value, kind});
    }

    Result &result() { return m_result; }

    Result finish()
    {
        m_result.status = m_operation.text();
        return m_result;
    }

private:
    Operation m_operation;
    Result m_result;
};

QString argument(const Arguments &arguments, const char *name)
{
    return arguments.value(QString::fromLatin1(name));
}

// The first two characters of the slot text as one hexadecimal byte; the
// description after them ("01 <==> 大卡1") takes no part.
unsigned char slotNumber(const QString &text)
{
    ByteBuffer<slotSize> slot;
    hexToBytes(text, 1, slot);
    return slot.bytes[0];
}

// The key type is the character code of the first character: "A" gives 0x41,
// "b" gives 0x62, anything beyond Latin-1 or nothing gives 0.
unsigned char keyTypeByte(const QString &text)
{
    return text.isEmpty() ? 0 : static_cast<unsigned char>(text.at(0).toLatin1());
}

Result open(const Arguments &arguments, Session &)
{
    Call call("打开设备失败，错误代码：");
    if (!call.entriesBound({EntryPoint::OpenDevice}))
        return call.finish();
    const QByteArray portType = argument(arguments, "port_type").toUtf8();
    const QByteArray portParam = argument(arguments, "port_param").toUtf8();
    const QByteArray extended = argument(arguments, "extended").toUtf8();
    const qint64 handle =
        pOpenDevice(portType.constData(), portParam.constData(), extended.constData());
    call.result().stage = Result::Stage::Called;
    call.result().code = handle;
    if (handle <= 0) {
        call.report(call.failure(handle));
        return call.finish();
    }
    call.succeed(QStringLiteral("打开设备成功，设备句柄：") + codeText(handle));
    call.add("handle", codeText(handle));
    return call.finish();
}

Result close(const Arguments &, Session &)
{
    Call call("关闭设备失败，错误代码：");
    if (call.entriesBound({EntryPoint::CloseDevice}) && !call.failed(pCloseDevice()))
        call.succeed(QStringLiteral("关闭设备成功"));
    return call.finish();
}

Result heartbeat(const Arguments &, Session &)
{
    Call call("设备连接状态异常，错误代码：");
    if (call.entriesBound({EntryPoint::TerminalHeartBeat}) && !call.failed(pTerminalHeartBeat()))
        call.succeed(QStringLiteral("设备连接状态正常"));
    return call.finish();
}

Result model(const Arguments &, Session &)
{
    Call call("读取设备型号失败，错误代码：");
    if (!call.entriesBound({EntryPoint::TerminalGetModel}))
        return call.finish();
    TextBuffer<deviceTextSize> text;
    if (call.failed(pTerminalGetModel(text.data())))
        return call.finish();
    call.succeed(QStringLiteral("读取设备型号成功"));
    call.add("model", text.utf8());
    return call.finish();
}

Result firmware(const Arguments &, Session &)
{
    Call call("读取固件版本号失败，错误代码：");
    if (!call.entriesBound({EntryPoint::TerminalGetFirmVersion}))
        return call.finish();
    TextBuffer<deviceTextSize> firmwareText;
    TextBuffer<deviceTextSize> hardwareText;
    if (call.failed(pTerminalGetFirmVersion(firmwareText.data(), hardwareText.data())))
        return call.finish();
    call.succeed(QStringLiteral("读取固件版本号成功"));
    call.add("firmware", firmwareText.utf8());
    call.add("hardware", hardwareText.utf8());
    return call.finish();
}

// The security module through either route; the texts do not say which.
Result samStatus(EntryPoint entry, SamGetStatusFunction *function)
{
    Call call("获取SAM模块状态失败，错误代码：");
    if (call.entriesBound({entry}) && !call.failed(function()))
        call.succeed(QStringLiteral("获取SAM模块状态成功"));
    return call.finish();
}

Result samId(EntryPoint entry, SamGetIdStrFunction *function)
{
    Call call("读取SAM模块号失败，错误代码：");
    if (!call.entriesBound({entry}))
        return call.finish();
    TextBuffer<deviceTextSize> text;
    if (call.failed(function(text.data())))
        return call.finish();
    call.succeed(QStringLiteral("读取SAM模块号成功"));
    call.add("sam_id", text.utf8());
    return call.finish();
}

Result samStatusPlain(const Arguments &, Session &)
{
    return samStatus(EntryPoint::SamGetStatus, pSamGetStatus);
}
Result samIdPlain(const Arguments &, Session &)
{
    return samId(EntryPoint::SamGetIdStr, pSamGetIdStr);
}
Result samStatusGa467(const Arguments &, Session &)
{
    return samStatus(EntryPoint::SdtSamGetStatus, pSdtSamGetStatus);
}
Result samIdGa467(const Arguments &, Session &)
{
    return samId(EntryPoint::SdtSamGetIdStr, pSdtSamGetIdStr);
}

Result identity(EntryPoint entry, IdReadCardFunction *function)
{
    Call call("读取证件信息失败，错误代码：");
    if (!call.entriesBound({entry}))
        return call.finish();
    TextBuffer<identityRecordSize> record;
    if (call.failed(function(0, 1, record.data(), 0)))
        return call.finish();
    call.succeed(QStringLiteral("读取证件信息成功"));
    const QStringList fields = cardTextRecord(record.text());
    for (int index : {1, 3, 5, 7, 8, 9, 10, 11, 12, 0}) {
        const PersonalField field = identityRecordField(index);
        call.add(field.name, recordField(fields, index), field.kind);
    }
    const QString photo = recordField(fields, 14);
    call.result().photo = QByteArray::fromBase64(photo.toLatin1());
    call.add("photo_size", QString::number(call.result().photo.size()));
    call.result().record = fields;
    return call.finish();
}

Result identityPlain(const Arguments &, Session &)
{
    return identity(EntryPoint::IdReadCard, pIdReadCard);
}
Result identityGa467(const Arguments &, Session &)
{
    return identity(EntryPoint::SdtReadCard, pSdtReadCard);
}

Result identitySerial(const Arguments &, Session &)
{
    Call call("读二代证卡体管理号SN失败，错误代码：");
    if (!call.entriesBound({EntryPoint::IdReadSn, EntryPoint::HexToAsc}))
        return call.finish();
    ByteBuffer<serialSize> serial;
    int64_t length = 0;
    if (call.failed(pIdReadSn(serial.data(), &length)))
        return call.finish();
    const QString text = bytesToHex<2 * serialSize + 1>(serial, length);
    call.succeed(QStringLiteral("读二代证卡体管理号SN成功：") + text);
    call.add("serial", text);
    return call.finish();
}

// The element text ("A016…": letter, three digits of length, value) as one
// output per letter, named and kept personal as the letter's data object is.
void addCardInfo(Call &call, const QString &elements)
{
    int at = 0;
    while (at + 4 <= elements.size()) {
        bool parsed = false;
        const int length = elements.mid(at + 1, 3).toInt(&parsed);
        if (!parsed || length < 0 || at + 4 + length > elements.size())
            break;
        const PersonalField field = bankCardLetter(elements.at(at));
        const QString value = elements.mid(at + 4, length);
        if (field.name)
            call.add(field.name, value, field.kind);
        at += 4 + length;
    }
    call.add("card_info", elements, Personal::BankElements);
}

Result bankInfo(const Arguments &arguments, Session &)
{
    Call call("读取银行卡信息失败，错误代码：");
    if (!call.entriesBound({EntryPoint::IccGetCardInfo}))
        return call.finish();
    TextBuffer<iccTextSize> cardData;
    const QByteArray letters = argument(arguments, "letters").toUtf8();
    if (call.failed(pIccGetCardInfo(iccKind, iccReserved, letters.constData(), cardData.data())))
        return call.finish();
    call.succeed(QStringLiteral("读取银行卡信息成功"));
    addCardInfo(call, cardData.utf8());
    return call.finish();
}

Result bankArqc(const Arguments &arguments, Session &session)
{
    Call call("获取ARQC失败，错误代码：");
    if (!call.entriesBound({EntryPoint::IccGetARQC}))
        return call.finish();
    TextBuffer<iccTextSize> cryptogram;
    TextBuffer<iccTextSize> appData;
    const QByteArray transactionData = argument(arguments, "transaction_data").toUtf8();
    if (call.failed(pIccGetARQC(iccKind, transactionData.constData(), iccReserved,
                                cryptogram.data(), appData.data())))
        return call.finish();
    call.succeed(QStringLiteral("获取ARQC成功"));
    call.add("arqc", cryptogram.utf8());
    call.add("app_data", appData.utf8());
    session.bankAppData = appData.utf8();
    return call.finish();
}

Result bankScript(const Arguments &arguments, Session &session)
{
    Call call("执行脚本失败，错误代码：");
    if (!call.entriesBound({EntryPoint::IccARPCExeScript}))
        return call.finish();
    TextBuffer<iccTextSize> scriptResult;
    TextBuffer<iccTextSize> tc;
    const QString appDataText = arguments.contains(QStringLiteral("app_data"))
                                    ? argument(arguments, "app_data")
                                    : session.bankAppData;
    const QByteArray appData = appDataText.toUtf8();
    const QByteArray arpc = argument(arguments, "arpc").toUtf8();
    const QByteArray transactionData = argument(arguments, "transaction_data").toUtf8();
    if (call.failed(pIccARPCExeScript(iccKind, transactionData.constData(), arpc.constData(),
                                      appData.constData(), scriptResult.data(), tc.data())))
        return call.finish();
    call.succeed(QStringLiteral("执行脚本成功"));
    call.add("script_result", scriptResult.utf8());
    call.add("tc", tc.utf8());
    return call.finish();
}

Result bankLog(EntryPoint entry, IccGetTrDetailFunction *function, const char *failureText,
               const QString &successText)
{
    Call call(failureText);
    if (!call.entriesBound({entry}))
        return call.finish();
    TextBuffer<iccTextSize> text;
    if (call.failed(function(iccKind, iccReserved, text.data(), iccFlags)))
        return call.finish();
    call.succeed(successText);
    call.add("log", text.utf8());
    return call.finish();
}

Result bankTransactions(const Arguments &, Session &)
{
    return bankLog(EntryPoint::IccGetTrDetail, pIccGetTrDetail, "读交易明细失败，错误代码：",
                   QStringLiteral("读交易明细成功"));
}
Result bankLoads(const Arguments &, Session &)
{
    return bankLog(EntryPoint::IccGetLoadDetail, pIccGetLoadDetail, "读圈存记录失败，错误代码：",
                   QStringLiteral("读圈存记录成功"));
}

Result socialSecurity(const Arguments &, Session &)
{
    Call call("读取社保卡信息失败，错误代码：");
    if (!call.entriesBound({EntryPoint::SsseReadCard}))
        return call.finish();
    TextBuffer<ssseTextSize> record;
    TextBuffer<ssseTextSize> errorText;
    if (call.failed(pSsseReadCard(ssseKind, record.data(), errorText.data(), ssseFlags))) {
        // The library's own explanation follows the code, in UTF-8; two blanks
        // stay even when it wrote none.
        call.report(call.failure(call.result().code) + QStringLiteral("  ") + errorText.utf8());
        return call.finish();
    }
    call.succeed(QStringLiteral("读取社保卡信息成功"));
    const QStringList fields = cardTextRecord(record.text());
    for (int index : socialSecurityFieldIndexes) {
        const PersonalField field = socialSecurityRecordField(index);
        call.add(field.name, recordField(fields, index), field.kind);
    }
    call.result().record = fields;
    return call.finish();
}

Result m1Find(const Arguments &, Session &session)
{
    Call call("M1卡寻卡失败，错误代码：");
    if (!call.entriesBound({EntryPoint::M1FindCard, EntryPoint::HexToAsc}))
        return call.finish();
    ByteBuffer<16> uid;
    int64_t uidLength = 0;
    if (call.failed(pM1FindCard(uid.data(), &uidLength)))
        return call.finish();
    call.succeed(QStringLiteral("M1卡寻卡成功"));
    session.m1Uid = bytesToHex<32>(uid, uidLength);
    call.add("uid", session.m1Uid);
    return call.finish();
}

Result m1Authenticate(const Arguments &arguments, Session &session)
{
    Call call("M1卡密钥认证失败，错误代码：");
    if (!call.entriesBound({EntryPoint::M1Authentication, EntryPoint::AscToHex}))
        return call.finish();
    const unsigned char keyType = keyTypeByte(argument(arguments, "key_type"));
    const unsigned char sector = decimalByte(argument(arguments, "sector"));
    const QString keyText = argument(arguments, "key");
    if (keyText.length() != m1KeyTextLength)
        return call.refuse(QStringLiteral("M1卡密钥长度错误，应为12个HEX字符（6个字节）"));
    ByteBuffer<16> key;
    ByteBuffer<16> uid;
    hexToBytes(keyText, m1KeyBytes, key);
    // Empty until the first card is found; a short UID text is padded, not overread.
    const QString uidText =
        arguments.contains(QStringLiteral("uid")) ? argument(arguments, "uid") : session.m1Uid;
    hexToBytes(uidText, m1AuthenticationUidBytes, uid);
    if (!call.failed(pM1Authentication(keyType, sector, key.data(), uid.data())))
        call.succeed(QStringLiteral("M1卡密钥认证成功"));
    return call.finish();
}

Result m1Read(const Arguments &arguments, Session &)
{
    Call call("M1卡读块数据失败，错误代码：");
    if (!call.entriesBound({EntryPoint::M1ReadBlock, EntryPoint::HexToAsc}))
        return call.finish();
    const unsigned char block = decimalByte(argument(arguments, "block"));
    ByteBuffer<32> data;
    int64_t dataLength = 0;
    if (call.failed(pM1ReadBlock(block, data.data(), &dataLength)))
        return call.finish();
    call.succeed(QStringLiteral("M1卡读块数据成功"));
    call.add("data", bytesToHex<64>(data, dataLength));
    return call.finish();
}

Result m1Write(const Arguments &arguments, Session &)
{
    Call call("M1卡写块数据失败，错误代码：");
    if (!call.entriesBound({EntryPoint::M1WriteBlock, EntryPoint::AscToHex}))
        return call.finish();
    const unsigned char block = decimalByte(argument(arguments, "block"));
    const QString dataText = argument(arguments, "data");
    if (dataText.length() != m1BlockTextLength)
        return call.refuse(QStringLiteral("M1卡写块数据长度错误，应为32个HEX字符（16个字节）"));
    ByteBuffer<32> data;
    hexToBytes(dataText, m1BlockBytes, data);
    if (!call.failed(pM1WriteBlock(block, m1BlockBytes, data.data())))
        call.succeed(QStringLiteral("M1卡写块数据成功"));
    return call.finish();
}

Result magRead(const Arguments &arguments, Session &)
{
    Call call("读取磁条卡失败，错误代码：");
    if (!call.entriesBound({EntryPoint::MagRead}))
        return call.finish();
    TextBuffer<trackSize> track1;
    TextBuffer<trackSize> track2;
    TextBuffer<trackSize> track3;
    const unsigned char timeout = decimalByte(argument(arguments, "timeout"));
    // Not a bit mask: the decimal digits name the tracks (123 is all three).
    const unsigned char tracks = decimalByte(argument(arguments, "tracks"));
    if (call.failed(pMagRead(tracks, track1.data(), track2.data(), track3.data(), timeout)))
        return call.finish();
    call.succeed(QStringLiteral("读取磁条卡成功"));
    call.add("track1", track1.utf8(), Personal::CardNumber);
    call.add("track2", track2.utf8(), Personal::CardNumber);
    call.add("track3", track3.utf8(), Personal::CardNumber);
    return call.finish();
}

Result magWrite(const Arguments &arguments, Session &)
{
    Call call("写入磁条卡失败，错误代码：");
    if (!call.entriesBound({EntryPoint::MagWrite}))
        return call.finish();
    const unsigned char timeout = decimalByte(argument(arguments, "timeout"));
    // An empty track is passed as an empty text (one zero byte), never as null.
    const QByteArray track3 = argument(arguments, "track3").toUtf8();
    const QByteArray track2 = argument(arguments, "track2").toUtf8();
    const QByteArray track1 = argument(arguments, "track1").toUtf8();
    const unsigned char tracks = decimalByte(argument(arguments, "tracks"));
    if (!call.failed(
            pMagWrite(tracks, track1.constData(), track2.constData(), track3.constData(), timeout)))
        call.succeed(QStringLiteral("写入磁条卡成功"));
    return call.finish();
}

Result cpuPowerOn(const Arguments &arguments, Session &)
{
    Call call("CPU卡上电失败，错误代码：");
    if (!call.entriesBound({EntryPoint::CpuPowerOn, EntryPoint::AscToHex, EntryPoint::HexToAsc}))
        return call.finish();
    ByteBuffer<atrSize> atr;
    int64_t atrLength = 0;
    if (call.failed(pCpuPowerOn(slotNumber(argument(arguments, "slot")), atr.data(), &atrLength)))
        return call.finish();
    call.succeed(QStringLiteral("CPU卡上电成功"));
    call.add("atr", bytesToHex<2 * atrSize>(atr, atrLength));
    return call.finish();
}

Result cpuApdu(const Arguments &arguments, Session &)
{
    Call call("CPU卡发送APDU失败，错误代码：");
    if (!call.entriesBound({EntryPoint::CpuApdu, EntryPoint::AscToHex, EntryPoint::HexToAsc}))
        return call.finish();
    const QString commandText = argument(arguments, "apdu");
    // Only the number of characters is checked; what they are is the
    // conversion's business.
    if (commandText.size() % 2 != 0)
        return call.refuse(QStringLiteral("发送APDU的数据应为偶数个HEX字符"));
    if (commandText.size() > longestApduText)
        return call.refuse(QStringLiteral("发送APDU的数据过长，最多2048个HEX字符（1024个字节）"));
    const int64_t commandLength = commandText.size() / 2;
    ByteBuffer<apduSize> command;
    hexToBytes(commandText, commandLength, command);
    const unsigned char slot = slotNumber(argument(arguments, "slot"));
    ByteBuffer<apduSize> response;
    int64_t responseLength = 0;
    if (call.failed(
            pCpuApdu(slot, commandLength, command.data(), response.data(), &responseLength)))
        return call.finish();
    call.succeed(QStringLiteral("CPU卡发送APDU成功"));
    call.add("response", bytesToHex<2 * apduSize>(response, responseLength));
    return call.finish();
}

Result cpuPowerOff(const Arguments &arguments, Session &)
{
    Call call("CPU卡下电失败，错误代码：");
    if (call.entriesBound({EntryPoint::CpuPowerOff, EntryPoint::AscToHex})
        && !call.failed(pCpuPowerOff(slotNumber(argument(arguments, "slot")))))
        call.succeed(QStringLiteral("CPU卡下电成功"));
    return call.finish();
}

Result qr(const Arguments &arguments, Session &)
{
    Call call("读取二维码失败，错误代码：");
    if (!call.entriesBound({EntryPoint::QrRead}))
        return call.finish();
    TextBuffer<qrContentSize> content;
    const unsigned char timeout = decimalByte(argument(arguments, "timeout"));
    if (call.failed(pQrRead(content.data(), timeout)))
        return call.finish();
    call.succeed(QStringLiteral("读取二维码成功"));
    call.add("content", content.utf8());
    return call.finish();
}

std::vector<OutputDefinition> identityOutputs()
{
    std::vector<OutputDefinition> outputs;
    for (int index : {1, 3, 5, 7, 8, 9, 10, 11, 12, 0}) {
        const PersonalField field = identityRecordField(index);
        outputs.push_back({field.name, field.kind});
    }
    outputs.push_back({"photo_size", Personal::No});
    return outputs;
}

std::vector<OutputDefinition> socialSecurityOutputs()
{
    std::vector<OutputDefinition> outputs;
    for (int index : socialSecurityFieldIndexes) {
        const PersonalField field = socialSecurityRecordField(index);
        outputs.push_back({field.name, field.kind});
    }
    return outputs;
}

std::vector<OutputDefinition> cardInfoOutputs()
{
    std::vector<OutputDefinition> outputs;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const PersonalField field = bankCardLetter(QLatin1Char(letter));
        if (field.name)
            outputs.push_back({field.name, field.kind});
    }
    outputs.push_back({"card_info", Personal::BankElements});
    return outputs;
}

const Input slotInput{"slot", "01 <==> 大卡1"};
const Input transactionDataInput{"transaction_data",
                                 "P012000000000000Q012000000000000R0040156S006180101T00201U006010101"};
const Input timeoutInput{"timeout", "10"};
const Input tracksInput{"tracks", "1"};
const Input blockInput{"block", "2"};
} // namespace

bool Result::succeeded() const
{
    return stage == Stage::Called && success;
}

QString Result::value(const QString &name) const
{
    for (const Output &output : outputs)
        if (output.name == name)
            return output.value;
    return QString();
}

const std::vector<Definition> &definitions()
{
    static const std::vector<Definition> table{
        {"open", "OpenDevice", "打开设备",
         {{"port_type", "COM/dev/ttyS3"}, {"port_param", "115200"}, {"extended", ""}},
         {{"handle", Personal::No}}, open},
        {"close", "CloseDevice", "关闭设备", {}, {}, close},
        {"heartbeat", "TerminalHeartBeat", "检查设备连接", {}, {}, heartbeat},
        {"model", "TerminalGetModel", "读取设备型号", {}, {{"model", Personal::No}}, model},
        {"firmware", "TerminalGetFirmVersion", "读取固件版本", {},
         {{"firmware", Personal::No}, {"hardware", Personal::No}}, firmware},
        {"sam-status", "SamGetStatus", "读模块状态", {}, {}, samStatusPlain},
        {"sam-id", "SamGetIdStr", "读模块号", {}, {{"sam_id", Personal::No}}, samIdPlain},
        {"sam-status-ga467", "SdtSamGetStatus", "读模块状态（GA467）", {}, {}, samStatusGa467},
        {"sam-id-ga467", "SdtSamGetIdStr", "读模块号（GA467）", {}, {{"sam_id", Personal::No}},
         samIdGa467},
        {"identity", "IdReadCard", "读取 二代证 / 外国人 / 港澳台", {}, identityOutputs(),
         identityPlain},
        {"identity-ga467", "SdtReadCard", "读取证件（GA467）", {}, identityOutputs(), identityGa467},
        {"identity-serial", "IdReadSn", "读二代证卡体管理号SN", {}, {{"serial", Personal::No}},
         identitySerial},
        {"bank-info", "IccGetCardInfo", "读银行卡", {{"letters", "A"}}, cardInfoOutputs(),
         bankInfo},
        {"bank-arqc", "IccGetARQC", "获取ARQC", {transactionDataInput},
         {{"arqc", Personal::No}, {"app_data", Personal::No}}, bankArqc},
        {"bank-script", "IccARPCExeScript", "执行脚本",
         {transactionDataInput, {"arpc", ""}, {"app_data", nullptr}},
         {{"script_result", Personal::No}, {"tc", Personal::No}}, bankScript},
        {"bank-log", "IccGetTrDetail", "读交易明细", {}, {{"log", Personal::No}}, bankTransactions},
        {"bank-load-log", "IccGetLoadDetail", "读圈存记录", {}, {{"log", Personal::No}}, bankLoads},
        {"ssse", "SsseReadCard", "读取第一/二/三代社保卡", {}, socialSecurityOutputs(),
         socialSecurity},
        {"m1-find", "M1FindCard", "寻卡", {}, {{"uid", Personal::No}}, m1Find},
        {"m1-auth", "M1Authentication", "认证",
         {{"sector", "0"}, {"key_type", "A"}, {"key", "3C7E19B4D2A6"}, {"uid", nullptr}}, {},
         m1Authenticate},
        {"m1-read", "M1ReadBlock", "读块", {blockInput}, {{"data", Personal::No}}, m1Read},
        {"m1-write", "M1WriteBlock", "写块",
         {blockInput, {"data", "000102030405060708090A0B0C0D0E0F"}}, {}, m1Write},
        {"mag-read", "MagRead", "读取磁条卡", {timeoutInput, tracksInput},
         {{"track1", Personal::CardNumber},
          {"track2", Personal::CardNumber},
          {"track3", Personal::CardNumber}},
         magRead},
        {"mag-write", "MagWrite", "写入磁条卡",
         {tracksInput, {"track1", ""}, {"track2", ""}, {"track3", ""}, timeoutInput}, {},
         magWrite},
        {"cpu-on", "CpuPowerOn", "卡片上电", {slotInput}, {{"atr", Personal::No}}, cpuPowerOn},
        {"cpu-off", "CpuPowerOff", "卡片下电", {slotInput}, {}, cpuPowerOff},
        {"cpu-apdu", "CpuApdu", "发送APDU", {slotInput, {"apdu", "0084000008"}},
         {{"response", Personal::No}}, cpuApdu},
        {"qr", "QrRead", "读取二维码", {timeoutInput}, {{"content", Personal::No}}, qr},
    };
    return table;
}

const Definition *find(const QString &name)
{
    for (const Definition &definition : definitions())
        if (name == QLatin1String(definition.name))
            return &definition;
    return nullptr;
}

QString unknownInput(const Definition &definition, const Arguments &arguments)
{
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it) {
        const bool known = std::any_of(definition.inputs.begin(), definition.inputs.end(), [&](const Input &in) {
            return it.key() == QLatin1String(in.name);
        });
        if (!known)
            return it.key();
    }
    return QString();
}

Result run(const Definition &definition, const Arguments &arguments, Session &session)
{
    Arguments complete = arguments;
    for (const Input &input : definition.inputs) {
        const QString name = QString::fromLatin1(input.name);
        // Chained inputs are left out: the operation takes them from the session.
        if (!complete.contains(name) && input.defaultValue)
            complete.insert(name, QString::fromUtf8(input.defaultValue));
    }
    return definition.run(complete, session);
}

Result run(const char *name, const Arguments &arguments)
{
    Session session;
    return run(*find(QString::fromLatin1(name)), arguments, session);
}

std::vector<Output> shownOutputs(const Result &result, bool full)
{
    std::vector<Output> shown;
    for (const Output &output : result.outputs) {
        if (output.kind == Personal::Photo)
            continue;
        Output out = output;
        if (!full)
            out.value = masked(output.kind, output.value);
        shown.push_back(out);
    }
    return shown;
}

} // namespace calls
