// The simulated debit card's payment application. Every name, number and key
// here is made up for the simulator: the PAN lies outside any issuer's range.
#include "bankapplication.h"
#include "cardbytes.h"
#include "gb18030.h"

#include <QByteArray>
#include <QMessageAuthenticationCode>

#include <cstring>

namespace sim {
namespace {

constexpr unsigned char transactionLogSfi = 11;
constexpr unsigned char loadLogSfi = 12;
constexpr std::size_t logCapacity = 10;

const Bytes debitAid{0xA0, 0x00, 0x00, 0x03, 0x33, 0x01, 0x01, 0x01};

Bytes bytes(std::initializer_list<unsigned char> list)
{
    return Bytes(list);
}

Bytes gb18030(const char *utf8)
{
    const QByteArray encoded = toGb18030(QString::fromUtf8(utf8));
    return Bytes(encoded.begin(), encoded.end());
}

// Decimal digits as BCD, two to a byte; an odd count ends in F.
Bytes bcd(const char *digits)
{
    QByteArray text(digits);
    if (text.size() % 2)
        text += 'F';
    const QByteArray packed = QByteArray::fromHex(text);
    return Bytes(packed.begin(), packed.end());
}

Bytes counter(uint16_t value)
{
    return {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
}

// The lists of data objects the application asks the terminal for.
const Bytes pdol = bytes({0x9F, 0x66, 0x04, 0x9F, 0x02, 0x06, 0x9F, 0x03, 0x06, 0x9F, 0x1A, 0x02,
                          0x95, 0x05, 0x5F, 0x2A, 0x02, 0x9A, 0x03, 0x9C, 0x01, 0x9F, 0x37, 0x04});
const Bytes cdol1 =
    bytes({0x9F, 0x02, 0x06, 0x9F, 0x03, 0x06, 0x9F, 0x1A, 0x02, 0x95, 0x05, 0x5F, 0x2A, 0x02,
           0x9A, 0x03, 0x9C, 0x01, 0x9F, 0x37, 0x04, 0x9F, 0x21, 0x03, 0x9F, 0x4E, 0x14});
const Bytes cdol2 = bytes({0x8A, 0x02, 0x9F, 0x37, 0x04, 0x95, 0x05});
constexpr std::size_t cdol1Length = 52, cdol2Length = 11;
// Where CDOL1 puts each value the log keeps.
struct Field
{
    std::size_t offset, length;
};
constexpr Field amountField{0, 6}, otherAmountField{6, 6}, countryField{12, 2},
    currencyField{19, 2}, dateField{21, 3}, typeField{24, 1}, timeField{29, 3},
    merchantField{32, 20};

const Bytes transactionLogFormat =
    bytes({0x9A, 0x03, 0x9F, 0x21, 0x03, 0x9F, 0x02, 0x06, 0x9F, 0x03, 0x06, 0x9F, 0x1A,
           0x02, 0x5F, 0x2A, 0x02, 0x9F, 0x4E, 0x14, 0x9C, 0x01, 0x9F, 0x36, 0x02});
// Each load record: these values, then the PUT DATA P1 P2 that loaded the
// balance and the balance before and after.
const Bytes loadLogFormat = bytes({0x9A, 0x03, 0x9F, 0x21, 0x03, 0x9F, 0x36, 0x02});

// The length of the values a DOL asks for, and where a tag's value starts
// among them (nothing when the DOL does not ask for it).
std::size_t dolLength(const Bytes &dol, uint16_t wanted, std::optional<std::size_t> &offset)
{
    std::size_t total = 0;
    for (std::size_t at = 0; at < dol.size();) {
        uint16_t tag = dol[at++];
        if ((tag & 0x1F) == 0x1F && at < dol.size())
            tag = static_cast<uint16_t>(tag << 8 | dol[at++]);
        if (at >= dol.size())
            break;
        if (tag == wanted)
            offset = total;
        total += dol[at++];
    }
    return total;
}

// The data of template 83 in GET PROCESSING OPTIONS, its length in BER's
// short or long form; nothing when the template is malformed.
std::optional<Bytes> processingData(const Bytes &data)
{
    if (data.size() < 2 || data[0] != 0x83)
        return std::nullopt;
    std::size_t length = data[1], start = 2;
    if (data[1] == 0x81 && data.size() >= 3) {
        length = data[2];
        start = 3;
        if (length < 0x80)
            return std::nullopt;
    } else if (data[1] >= 0x80) {
        return std::nullopt;
    }
    if (data.size() != start + length)
        return std::nullopt;
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(start), data.end());
}

Bytes slice(const Bytes &data, Field field)
{
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(field.offset),
                 data.begin() + static_cast<std::ptrdiff_t>(field.offset + field.length));
}

Bytes merchantName(const char *utf8)
{
    Bytes name = gb18030(utf8);
    name.resize(merchantField.length, 0x00);
    return name;
}

Bytes transactionRecord(const char *date, const char *time, const char *type, const char *amount,
                        const char *merchant, uint16_t atc)
{
    return concat({bcd(date), bcd(time), bcd(amount), bcd("000000000000"), bcd("0156"), bcd("0156"),
                   merchantName(merchant), bcd(type), counter(atc)});
}

Bytes loadRecord(const char *date, const char *time, uint16_t atc, const char *before,
                 const char *after)
{
    return concat(
        {bcd(date), bcd(time), counter(atc), bytes({0x9F, 0x79}), bcd(before), bcd(after)});
}

Bytes digest(const QByteArray &message, int length)
{
    static const QByteArray cardKey = QByteArrayLiteral("simulated card master key 7f3a91");
    const QByteArray mac =
        QMessageAuthenticationCode::hash(message, cardKey, QCryptographicHash::Sha256).left(length);
    return Bytes(mac.begin(), mac.end());
}

QByteArray raw(const Bytes &data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), static_cast<int>(data.size()));
}

} // namespace

Bytes simulatedCryptogram(unsigned char cid, uint16_t atc, const Bytes &cdolData)
{
    return digest("AC" + raw(Bytes{cid}) + raw(counter(atc)) + raw(cdolData), 8);
}

Bytes simulatedArpc(const Bytes &arqc, const Bytes &responseCode)
{
    return digest("ARPC" + raw(arqc) + raw(responseCode), 8);
}

Bytes simulatedScriptMac(uint16_t atc, const Bytes &arqc, const Bytes &header, const Bytes &value)
{
    return digest("MAC" + raw(counter(atc)) + raw(arqc) + raw(header) + raw(value), 4);
}

BankProfile userDebitProfile(bool contactless)
{
    BankProfile profile;
    profile.aid = debitAid;
    profile.pdol = pdol;
    profile.quickFlow = contactless;
    return profile;
}

Bytes bankApplicationFci(const BankProfile &profile)
{
    Bytes proprietary = concat({tlv(0x50, ascii(profile.label))});
    if (profile.priority != 0)
        proprietary =
            concat({proprietary, tlv(0x87, {static_cast<unsigned char>(profile.priority)})});
    proprietary = concat({proprietary, tlv(0x9F38, profile.pdol.empty() ? pdol : profile.pdol),
                          tlv(0x5F2D, ascii("zh")),
                          tlv(0xBF0C, concat({tlv(0x9F4D, {transactionLogSfi, logCapacity}),
                                              tlv(0xDF4D, {loadLogSfi, logCapacity})}))});
    return tlv(0x6F, concat({tlv(0x84, profile.aid), tlv(0xA5, proprietary)}));
}

namespace {

// Track 2 equivalent data, its discretionary data, and track 1's of a PAN.
std::string track2(const BankProfile &profile)
{
    return std::string(profile.pan) + "D30122201234567800000";
}

} // namespace

std::vector<Bytes> bankRecords(unsigned char sfi, const BankProfile &profile)
{
    if (sfi == 1) {
        const std::string trackOne =
            "B" + std::string(profile.pan) + "^CHEN/SIYUAN^30122200000000000000";
        return {
            tlv(0x70, concat({tlv(0x57, bcd(track2(profile).c_str())),
                              tlv(0x5F20, gb18030("陈思远")), tlv(0x9F1F, ascii(trackOne.c_str())),
                              tlv(0x9F61, ascii("990106198807150034")), tlv(0x9F62, {0x00})}))};
    }
    if (sfi == 2) {
        return {tlv(0x70, concat({tlv(0x5A, bcd(profile.pan)), tlv(0x5F24, bcd("301231")),
                                  tlv(0x5F25, bcd("250101")), tlv(0x5F34, {0x01}),
                                  tlv(0x9F08, {0x00, 0x30}), tlv(0x8C, cdol1), tlv(0x8D, cdol2)}))};
    }
    return {};
}

namespace {

Bytes directoryEntries(const std::vector<BankProfile> &applications)
{
    Bytes entries;
    for (const BankProfile &profile : applications) {
        Bytes entry = concat({tlv(0x4F, profile.aid), tlv(0x50, ascii(profile.label))});
        if (profile.priority != 0)
            entry = concat({entry, tlv(0x87, {static_cast<unsigned char>(profile.priority)})});
        entries = concat({entries, tlv(0x61, entry)});
    }
    return entries;
}

} // namespace

Bytes proximityDirectoryFci(const std::vector<BankProfile> &applications)
{
    return tlv(0x6F, concat({tlv(0x84, ascii("2PAY.SYS.DDF01")),
                             tlv(0xA5, tlv(0xBF0C, directoryEntries(applications)))}));
}

Bytes paymentDirectoryFci()
{
    return tlv(0x6F, concat({tlv(0x84, ascii("1PAY.SYS.DDF01")), tlv(0xA5, tlv(0x88, {0x01}))}));
}

Bytes paymentDirectoryRecord(const std::vector<BankProfile> &applications)
{
    return tlv(0x70, directoryEntries(applications));
}

BankApplication::BankApplication(BankProfile profile)
    : m_profile(std::move(profile)), m_atc(0x0012), m_lastOnlineAtc(0x0012),
      m_balance(bcd("000000012345")), m_balanceLimit(bcd("000000100000")),
      m_singleLimit(bcd("000000050000"))
{
    // Newest first, as the card's cyclic log files keep them.
    m_transactions = {
        transactionRecord("260309", "184512", "00", "000000008650", "模拟便利店", 0x0012),
        transactionRecord("260228", "121004", "00", "000000003200", "云杉咖啡馆", 0x0010),
        transactionRecord("260214", "200133", "00", "000000025800", "青禾超市", 0x000F),
        transactionRecord("260130", "083742", "01", "000000100000", "模拟银行自助设备", 0x000E),
        transactionRecord("260121", "152617", "00", "000000001850", "模拟便利店", 0x000D),
    };
    m_loads = {
        loadRecord("260302", "101522", 0x0011, "000000002345", "000000012345"),
        loadRecord("260118", "163040", 0x000C, "000000000845", "000000005845"),
        loadRecord("251205", "090311", 0x0008, "000000001200", "000000006200"),
        loadRecord("251020", "141859", 0x0003, "000000000000", "000000003000"),
    };
}

void BankApplication::endTransaction()
{
    m_step = Step::Selected;
    m_cdol1Data.clear();
    m_arqc.clear();
    m_issuerAuthenticated = false;
    m_externalAuthenticateTried = false;
}

std::optional<std::pair<Bytes, uint16_t>>
BankApplication::respond(unsigned char cla, unsigned char ins, unsigned char p1, unsigned char p2,
                         const Bytes &data)
{
    if (cla == 0x80 && ins == 0xA8) {
        if (p1 != 0 || p2 != 0)
            return std::make_pair(Bytes(), SwWrongP1P2);
        return getProcessingOptions(data);
    }
    if (cla == 0x80 && ins == 0xAE)
        return generateAc(p1, data);
    if (cla == 0x00 && ins == 0x82)
        return externalAuthenticate(data);
    if (cla == 0x80 && ins == 0xCA)
        return getData(static_cast<uint16_t>(p1 << 8 | p2));
    if (cla == 0x84 && ins == 0xDA)
        return putData(p1, p2, data);
    if (cla == 0x00 && ins == 0xB2 && (p2 & 0x07) == 0x04
        && (p2 >> 3 == transactionLogSfi || p2 >> 3 == loadLogSfi)) {
        const std::deque<Bytes> &log = p2 >> 3 == transactionLogSfi ? m_transactions : m_loads;
        if (p1 == 0 || p1 > log.size())
            return std::make_pair(Bytes(), SwRecordNotFound);
        return std::make_pair(log[p1 - 1], SwSuccess);
    }
    return std::nullopt;
}

std::pair<Bytes, uint16_t> BankApplication::getProcessingOptions(const Bytes &data)
{
    const Bytes &list = m_profile.pdol.empty() ? pdol : m_profile.pdol;
    std::optional<std::size_t> qualifiers;
    const std::size_t length = dolLength(list, 0x9F66, qualifiers);
    const std::optional<Bytes> values = processingData(data);
    if (!values || values->size() != length)
        return {{}, SwWrongLength};
    if (m_profile.refusesProcessing)
        return {{}, SwConditionsNotMet};
    const bool quick = m_profile.quickFlow && qualifiers && ((*values)[*qualifiers] & 0x20);
    if (m_profile.quickOnly && !quick)
        return {{}, SwConditionsNotMet};
    endTransaction();
    ++m_atc;
    // Issuer authentication is supported (AIP byte 1 bit 3), so the terminal
    // sends the ARPC with EXTERNAL AUTHENTICATE; CDOL2 does not ask for it.
    const Bytes aip{0x7C, 0x00};
    const Bytes afl{0x08, 0x01, 0x01, 0x00, 0x10, 0x01, 0x01, 0x01};
    if (!quick) {
        m_step = Step::Processing;
        return {tlv(0x77, concat({tlv(0x82, aip), tlv(0x94, afl)})), SwSuccess};
    }
    // The quick flow: the ARQC over the PDOL's data, with track 2 and the
    // PAN sequence number, the rest of the card data in the AFL's records.
    m_arqc = simulatedCryptogram(0x80, m_atc, *values);
    m_step = Step::QuickDone;
    const Bytes issuerData{0x07, 0x01, 0x01, 0x03, 0xA0, 0x00, 0x00,
                           0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00};
    return {tlv(0x77, concat({tlv(0x82, aip), tlv(0x94, afl), tlv(0x9F36, counter(m_atc)),
                              tlv(0x9F26, m_arqc), tlv(0x9F27, {0x80}), tlv(0x9F10, issuerData),
                              tlv(0x57, bcd(track2(m_profile).c_str())), tlv(0x5F34, {0x01})})),
            SwSuccess};
}

std::pair<Bytes, uint16_t> BankApplication::generateAc(unsigned char p1, const Bytes &data)
{
    const unsigned char requested = p1 & 0xC0;
    if (requested == 0xC0)
        return {{}, SwWrongP1P2};
    Bytes input;
    unsigned char cid = 0x00;
    if (m_step == Step::Processing) {
        if (data.size() != cdol1Length)
            return {{}, SwWrongLength};
        m_cdol1Data = data;
        input = data;
        // The card goes online whenever the terminal does not decline itself.
        cid = requested == 0x00 ? 0x00 : 0x80;
    } else if (m_step == Step::ArqcSent) {
        if (data.size() != cdol2Length)
            return {{}, SwWrongLength};
        input = concat({m_cdol1Data, data});
        cid = requested == 0x40 && m_issuerAuthenticated ? 0x40 : 0x00;
    } else {
        return {{}, SwConditionsNotMet};
    }
    const Bytes cryptogram = simulatedCryptogram(cid, m_atc, input);
    if (cid == 0x80) {
        m_arqc = cryptogram;
        m_step = Step::ArqcSent;
    } else {
        if (cid == 0x40) {
            m_lastOnlineAtc = m_atc;
            logTransaction();
        }
        m_step = Step::Completed;
    }
    const Bytes issuerData{0x07, 0x01, 0x01, 0x03, 0xA0, 0xA0, 0x00,
                           0x01, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00};
    return {tlv(0x77, concat({tlv(0x9F27, {cid}), tlv(0x9F36, counter(m_atc)),
                              tlv(0x9F26, cryptogram), tlv(0x9F10, issuerData)})),
            SwSuccess};
}

std::pair<Bytes, uint16_t> BankApplication::externalAuthenticate(const Bytes &data)
{
    if ((m_step != Step::ArqcSent && m_step != Step::QuickDone) || m_externalAuthenticateTried)
        return {{}, SwConditionsNotMet};
    if (data.size() != 10)
        return {{}, SwWrongLength};
    m_externalAuthenticateTried = true;
    const Bytes arpc(data.begin(), data.begin() + 8);
    const Bytes responseCode(data.begin() + 8, data.end());
    m_issuerAuthenticated = arpc == simulatedArpc(m_arqc, responseCode);
    return {{}, m_issuerAuthenticated ? SwSuccess : SwVerificationFailed};
}

std::pair<Bytes, uint16_t> BankApplication::getData(uint16_t tag) const
{
    switch (tag) {
    case 0x9F36:
        return {tlv(tag, counter(m_atc)), SwSuccess};
    case 0x9F13:
        return {tlv(tag, counter(m_lastOnlineAtc)), SwSuccess};
    case 0x9F79:
        return {tlv(tag, m_balance), SwSuccess};
    case 0x9F77:
        return {tlv(tag, m_balanceLimit), SwSuccess};
    case 0x9F78:
        return {tlv(tag, m_singleLimit), SwSuccess};
    case 0x9F4F:
        return {tlv(tag, transactionLogFormat), SwSuccess};
    case 0xDF4F:
        return {tlv(tag, loadLogFormat), SwSuccess};
    default:
        return {{}, SwDataNotFound};
    }
}

std::pair<Bytes, uint16_t> BankApplication::putData(unsigned char p1, unsigned char p2,
                                                    const Bytes &data)
{
    // Issuer script commands count only within an online transaction.
    if (m_arqc.empty())
        return {{}, SwConditionsNotMet};
    const uint16_t tag = static_cast<uint16_t>(p1 << 8 | p2);
    if (tag != 0x9F77 && tag != 0x9F78)
        return {{}, SwDataNotFound};
    if (data.size() != 6 + 4)
        return {{}, SwWrongLength};
    const Bytes value(data.begin(), data.begin() + 6);
    const Bytes mac(data.begin() + 6, data.end());
    if (mac != simulatedScriptMac(m_atc, m_arqc, {0x84, 0xDA, p1, p2}, value))
        return {{}, SwSecurityMessaging};
    (tag == 0x9F77 ? m_balanceLimit : m_singleLimit) = value;
    return {{}, SwSuccess};
}

void BankApplication::logTransaction()
{
    const Bytes &cdol = m_cdol1Data;
    m_transactions.push_front(concat(
        {slice(cdol, dateField), slice(cdol, timeField), slice(cdol, amountField),
         slice(cdol, otherAmountField), slice(cdol, countryField), slice(cdol, currencyField),
         slice(cdol, merchantField), slice(cdol, typeField), counter(m_atc)}));
    if (m_transactions.size() > logCapacity)
        m_transactions.pop_back();
}

} // namespace sim
