// The ISO 7816-4 card operating system of the simulated CPU cards (see
// cardos.h), and the files of the user card and the PSAM.
#include "cardos.h"
#include "cardbytes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sim {
namespace {

CardFile dedicatedFile(uint16_t id, Bytes name, std::string label, std::vector<CardFile> children)
{
    CardFile file;
    file.dedicated = true;
    file.id = id;
    file.name = std::move(name);
    file.label = std::move(label);
    file.children = std::move(children);
    return file;
}

CardFile recordFile(uint16_t id, unsigned char sfi, std::vector<Bytes> records)
{
    CardFile file;
    file.id = id;
    file.sfi = sfi;
    file.records = std::move(records);
    return file;
}

CardFile paymentDf(uint16_t id, Bytes name, Bytes fci, std::vector<CardFile> children)
{
    CardFile file = dedicatedFile(id, std::move(name), {}, std::move(children));
    file.fci = std::move(fci);
    file.payment = file.name.size() == 8; // the application, not a directory
    return file;
}

// The social security application's DF name: "sx1.sh." followed by "社会保障"
// in GB18030, as the cards of that scheme carry it.
const Bytes socialSecurityName{0x73, 0x78, 0x31, 0x2E, 0x73, 0x68, 0x2E, 0xC9,
                               0xE7, 0xBB, 0xE1, 0xB1, 0xA3, 0xD5, 0xCF};
const Bytes debitAid{0xA0, 0x00, 0x00, 0x03, 0x33, 0x01, 0x01, 0x01};

constexpr uint16_t masterFileId = 0x3F00;

} // namespace

const CardFile &userCard()
{
    static const CardFile mf = dedicatedFile(
        masterFileId, {}, {},
        {
            // Card identification: simple-TLV records, tag = record identifier.
            recordFile(0xEF05, 0x05,
                       {
                           tlv(0x01, {0x99, 0x01, 0x00, 0xD1, 0x56, 0x00, 0x00, 0x05, 0x00, 0xA1,
                                      0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07}),
                           tlv(0x02, {0x03}), tlv(0x03, ascii("3.00")),
                           tlv(0x04, ascii("990100000000")), tlv(0x05, {0x20, 0x24, 0x03, 0x15}),
                           tlv(0x06, {0x20, 0x34, 0x03, 0x14}), tlv(0x07, ascii("H03847261")),
                           tlv(0x08, {0x01}), // chip type
                       }),
            dedicatedFile(0x1001, socialSecurityName, "SOCIAL SECURITY",
                          {
                              // Holder: identity number, name and place of birth
                              // (GB18030), gender and ethnic group codes, birth date.
                              recordFile(0xEF06, 0x08,
                                         {
                                             tlv(0x08, ascii("990106198807150034")),
                                             tlv(0x09, {0xB3, 0xC2, 0xCB, 0xBC, 0xD4, 0xB6}),
                                             tlv(0x0A, ascii("1")),
                                             tlv(0x0B, ascii("01")),
                                             tlv(0x0C, {0xD4, 0xC6, 0xCF, 0xAA, 0xCA, 0xA1, 0xC7,
                                                        0xE0, 0xBA, 0xCC, 0xCA, 0xD0}),
                                             tlv(0x0D, {0x19, 0x88, 0x07, 0x15}),
                                         }),
                          }),
            paymentDf(0, debitAid, bankApplicationFci(),
                      {
                          recordFile(0, 0x01, bankRecords(0x01)),
                          recordFile(0, 0x02, bankRecords(0x02)),
                      }),
            paymentDf(0, ascii("1PAY.SYS.DDF01"), paymentDirectoryFci(),
                      {recordFile(0, 0x01, {paymentDirectoryRecord()})}),
            paymentDf(0, ascii("2PAY.SYS.DDF01"), proximityDirectoryFci(), {}),
        });
    return mf;
}

const CardFile &socialSecurityCard()
{
    const auto byNumber = [](CardFile file) {
        file.byNumberOnly = true;
        return file;
    };
    // Text items padded with blanks to their fixed lengths, as issued.
    const auto padded = [](Bytes text, std::size_t length) {
        text.resize(std::max(length, text.size()), ' ');
        return text;
    };
    static const CardFile mf = dedicatedFile(
        masterFileId, {}, {},
        {
            dedicatedFile(0x1001, socialSecurityName, "SOCIAL SECURITY",
                          {
                              byNumber(recordFile(
                                  0xEF05, 0,
                                  {
                                      tlv(0x01, {0x99, 0x02, 0x00, 0xD1, 0x56, 0x00, 0x00, 0x05,
                                                 0x00, 0xB7, 0x31, 0x4C, 0x09, 0x2E, 0x5D, 0x68}),
                                      tlv(0x02, ascii("3")),
                                      tlv(0x03, ascii("3.00")),
                                      tlv(0x04, padded(ascii("990203"), 12)),
                                      tlv(0x05, {0x20, 0x25, 0x06, 0x30}),
                                      tlv(0x06, {0x20, 0x35, 0x06, 0x29}),
                                      tlv(0x07, ascii("M28391047")),
                                      tlv(0x08, {0x02}),
                                  })),
                              byNumber(recordFile(
                                  0xEF06, 0,
                                  {
                                      tlv(0x08, ascii("990203199104220027")),
                                      tlv(0x09, padded({0xC1, 0xD6, 0xCF, 0xFE, 0xD6, 0xDB}, 30)),
                                      tlv(0x0A, ascii("2")),
                                      tlv(0x0B, ascii("01")),
                                      tlv(0x0C, padded({0xD4, 0xC6, 0xCF, 0xAA, 0xCA, 0xA1, 0xB0,
                                                        0xD7, 0xCA, 0xAF, 0xCF, 0xD8},
                                                       20)),
                                      tlv(0x0D, {0x19, 0x91, 0x04, 0x22}),
                                  })),
                          }),
        });
    return mf;
}

const CardFile &psamCard()
{
    static const CardFile mf = dedicatedFile(
        masterFileId, {}, {},
        {
            // The terminal number this module is bound to.
            recordFile(0x0016, 0x16, {tlv(0x01, {0x00, 0x00, 0x07, 0x18, 0x29, 0x30})}),
            dedicatedFile(0x1001, ascii("SR.PSAM.APP"), "PSAM", {}),
        });
    return mf;
}

namespace {

// One byte of a length in a status word: 256 is written 00.
uint16_t withLength(uint16_t sw, std::size_t length)
{
    return static_cast<uint16_t>(sw | (length & 0xFF));
}

struct Command
{
    unsigned char cla = 0;
    unsigned char ins = 0;
    unsigned char p1 = 0;
    unsigned char p2 = 0;
    Bytes data;
    bool hasLe = false;
    std::size_t ne = 0; // expected length; 256 for an Le of 00
};

// The four cases of a short APDU. False for anything else, including the
// extended-length form (an Lc byte of 00 followed by more bytes).
bool parse(const unsigned char *bytes, std::size_t length, Command &command)
{
    command.cla = bytes[0];
    command.ins = bytes[1];
    command.p1 = bytes[2];
    command.p2 = bytes[3];
    if (length == 4)
        return true;
    if (length == 5) {
        command.hasLe = true;
        command.ne = bytes[4] == 0 ? 256 : bytes[4];
        return true;
    }
    const std::size_t lc = bytes[4];
    if (lc == 0)
        return false;
    if (length != 5 + lc && length != 6 + lc)
        return false;
    command.data.assign(bytes + 5, bytes + 5 + lc);
    if (length == 6 + lc) {
        command.hasLe = true;
        command.ne = bytes[5 + lc] == 0 ? 256 : bytes[5 + lc];
    }
    return true;
}

// Data produced by a command, delivered as the Le asks.
Bytes answer(CardSession &session, const Command &command, Bytes data)
{
    if (data.empty())
        return status(SwSuccess);
    if (!command.hasLe) {
        const std::size_t size = data.size();
        session.heldBack = std::move(data);
        return status(withLength(SwBytesAvailable, size));
    }
    if (command.ne == 256 || command.ne == data.size())
        return withStatus(std::move(data), SwSuccess);
    return status(withLength(SwExactLength, data.size()));
}

uint64_t nextRandom(CardSession &session)
{
    // xorshift64*: plenty for challenges of a simulated card.
    uint64_t x = session.randomState;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    session.randomState = x;
    return x * 0x2545F4914F6CDD1DULL;
}

bool startsWith(const Bytes &name, const Bytes &prefix)
{
    return !prefix.empty() && prefix.size() <= name.size()
           && std::equal(prefix.begin(), prefix.end(), name.begin());
}

const CardFile *findByName(const CardFile &df, const Bytes &name)
{
    if (df.dedicated && startsWith(df.name, name))
        return &df;
    for (const CardFile &child : df.children) {
        if (const CardFile *found = findByName(child, name))
            return found;
    }
    return nullptr;
}

const CardFile *parentOf(const CardFile &root, const CardFile *file)
{
    for (const CardFile &child : root.children) {
        if (&child == file)
            return &root;
        if (const CardFile *found = parentOf(child, file))
            return found;
    }
    return nullptr;
}

enum class Wanted { Any, Dedicated, Elementary };

const CardFile *childById(const CardFile &df, uint16_t id, Wanted wanted)
{
    for (const CardFile &child : df.children) {
        if (child.id != id || id == 0)
            continue;
        if (wanted == Wanted::Any || child.dedicated == (wanted == Wanted::Dedicated))
            return &child;
    }
    return nullptr;
}

Bytes controlInformation(const CardFile &file)
{
    if (!file.fci.empty())
        return file.fci;
    Bytes inner;
    if (!file.dedicated)
        inner = tlv(0x82, {0x05}); // linear variable records, simple-TLV
    if (file.id != 0)
        inner = concat({inner, tlv(0x83, {static_cast<unsigned char>(file.id >> 8),
                                          static_cast<unsigned char>(file.id & 0xFF)})});
    if (!file.name.empty())
        inner = concat({inner, tlv(0x84, file.name)});
    if (file.sfi != 0)
        inner = concat({inner, tlv(0x88, {file.sfi})});
    if (!file.label.empty())
        inner = concat({inner, tlv(0xA5, tlv(0x50, ascii(file.label.c_str())))});
    return tlv(0x6F, inner);
}

uint16_t fileId(const Bytes &data)
{
    return static_cast<uint16_t>(data[0] << 8 | data[1]);
}

Bytes select(CardSession &session, const Command &command)
{
    if (command.p2 != 0x00 && command.p2 != 0x0C)
        return status(SwWrongP1P2);
    const CardFile *file = nullptr;
    switch (command.p1) {
    case 0x00:
        if (command.data.empty()) {
            file = session.mf;
            break;
        }
        if (command.data.size() != 2)
            return status(SwLcInconsistent);
        file = fileId(command.data) == session.mf->id
                   ? session.mf
                   : childById(*session.currentDf, fileId(command.data), Wanted::Any);
        break;
    case 0x01:
    case 0x02:
        if (command.data.size() != 2)
            return status(SwLcInconsistent);
        file = childById(*session.currentDf, fileId(command.data),
                         command.p1 == 0x01 ? Wanted::Dedicated : Wanted::Elementary);
        break;
    case 0x03:
        if (!command.data.empty())
            return status(SwLcInconsistent);
        file = parentOf(*session.mf, session.currentDf);
        break;
    case 0x04:
        if (command.data.empty() || command.data.size() > 16)
            return status(SwLcInconsistent);
        file = findByName(*session.mf, command.data);
        break;
    default:
        return status(SwWrongP1P2);
    }
    if (!file)
        return status(SwNotFound);
    if (file->dedicated) {
        session.currentDf = file;
        session.currentEf = nullptr;
    } else {
        session.currentEf = file;
    }
    if (command.p2 == 0x0C)
        return status(SwSuccess);
    return answer(session, command, controlInformation(*file));
}

Bytes readRecord(CardSession &session, const Command &command)
{
    if (!command.data.empty())
        return status(SwWrongLength);
    const unsigned sfi = command.p2 >> 3;
    const unsigned mode = command.p2 & 0x07;
    if (command.p1 == 0 || sfi == 0x1F || (mode != 0x04 && mode != 0x00))
        return status(SwWrongP1P2);
    const CardFile *ef = session.currentEf;
    if (sfi != 0) {
        ef = nullptr;
        for (const CardFile &child : session.currentDf->children) {
            if (!child.dedicated && child.sfi == sfi)
                ef = &child;
        }
        if (!ef)
            return status(SwNotFound);
        session.currentEf = ef;
    }
    if (!ef)
        return status(SwCommandNotAllowed);
    const Bytes *record = nullptr;
    if (mode == 0x04) {
        if (command.p1 <= ef->records.size())
            record = &ef->records[command.p1 - 1];
    } else {
        if (ef->byNumberOnly)
            return status(SwWrongP1P2);
        for (const Bytes &candidate : ef->records) {
            if (!candidate.empty() && candidate.front() == command.p1) {
                record = &candidate;
                break;
            }
        }
    }
    if (!record)
        return status(SwRecordNotFound);
    return answer(session, command, *record);
}

Bytes getChallenge(CardSession &session, const Command &command)
{
    if (command.p1 != 0 || command.p2 != 0)
        return status(SwWrongP1P2);
    if (!command.data.empty() || !command.hasLe || (command.ne != 4 && command.ne != 8))
        return status(SwWrongLength);
    Bytes challenge;
    while (challenge.size() < command.ne) {
        const uint64_t value = nextRandom(session);
        for (int i = 0; i < 8 && challenge.size() < command.ne; ++i)
            challenge.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
    return withStatus(std::move(challenge), SwSuccess);
}

Bytes getResponse(CardSession &session, const Command &command)
{
    if (command.p1 != 0 || command.p2 != 0)
        return status(SwWrongP1P2);
    if (!command.data.empty() || !command.hasLe)
        return status(SwWrongLength);
    Bytes &held = session.heldBack;
    if (held.empty())
        return status(SwConditionsNotMet);
    if (command.ne == 256 || command.ne == held.size()) {
        Bytes data;
        data.swap(held);
        return withStatus(std::move(data), SwSuccess);
    }
    if (command.ne > held.size())
        return status(withLength(SwExactLength, held.size()));
    // Part of it now; the rest stays for the next GET RESPONSE.
    Bytes part(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(command.ne));
    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(command.ne));
    return withStatus(std::move(part), withLength(SwBytesAvailable, held.size()));
}

} // namespace

CardSession startSession(const CardFile &mf, uint64_t seed)
{
    CardSession session;
    session.mf = &mf;
    session.currentDf = &mf;
    session.randomState = seed != 0 ? seed : 0x9E3779B97F4A7C15ULL;
    return session;
}

uint16_t statusWord(const Bytes &response)
{
    if (response.size() < 2)
        return 0;
    return static_cast<uint16_t>(response[response.size() - 2] << 8 | response.back());
}

Bytes respond(CardSession &session, const unsigned char *bytes, std::size_t length)
{
    if (!session.mf)
        return status(SwConditionsNotMet);
    if (!bytes || length < 4)
        return status(SwWrongLength);
    Command command;
    const bool wellFormed = parse(bytes, length, command);
    if (command.ins != 0xC0)
        session.heldBack.clear();
    const CardFile *df = session.currentDf;
    BankApplication *bank = session.banks && df && df->payment
                                    && df->application < session.banks->size()
                                ? &(*session.banks)[df->application]
                                : nullptr;
    if (wellFormed && bank) {
        if (auto reply = bank->respond(command.cla, command.ins, command.p1, command.p2,
                                               command.data)) {
            if (reply->second != SwSuccess)
                return status(reply->second);
            return answer(session, command, std::move(reply->first));
        }
    }
    if (command.cla != 0x00)
        return status(SwUnknownClass);
    switch (command.ins) {
    case 0xA4:
    case 0xB2:
    case 0x84:
    case 0xC0:
        break;
    default:
        return status(SwUnknownInstruction);
    }
    if (!wellFormed)
        return status(SwWrongLength);
    const CardFile *const currentDf = session.currentDf;
    const CardFile *const currentEf = session.currentEf;
    Bytes response;
    switch (command.ins) {
    case 0xA4:
        response = select(session, command);
        break;
    case 0xB2:
        response = readRecord(session, command);
        break;
    case 0x84:
        response = getChallenge(session, command);
        break;
    default:
        response = getResponse(session, command);
        break;
    }
    // 6Cxx asks the terminal to send the same command again with Le xx, as a
    // T=0 terminal does at once; so the command must not have taken effect,
    // or selecting a child or the parent DF would then move a second step.
    if (statusWord(response) >> 8 == SwExactLength >> 8) {
        session.currentDf = currentDf;
        session.currentEf = currentEf;
    }
    return response;
}

} // namespace sim
