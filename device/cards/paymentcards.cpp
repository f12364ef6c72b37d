// The simulated payment cards of paymentcards.h. Every AID other than the
// PBOC ones, every PAN and name here is made up for the simulator.
#include "paymentcards.h"
#include "cardbytes.h"

namespace sim {
namespace {

Bytes aid(std::initializer_list<unsigned char> tail)
{
    return concat({Bytes{0xA0, 0x00, 0x00, 0x03, 0x33}, Bytes(tail)});
}

CardFile recordFile(unsigned char sfi, std::vector<Bytes> records)
{
    CardFile file;
    file.sfi = sfi;
    file.records = std::move(records);
    return file;
}

CardFile directory(const char *name, Bytes fci, std::vector<CardFile> children)
{
    CardFile file;
    file.dedicated = true;
    file.name = ascii(name);
    file.fci = std::move(fci);
    file.children = std::move(children);
    return file;
}

// The DF of application number; its records made from its profile.
CardFile application(const BankProfile &profile, unsigned char number)
{
    CardFile file;
    file.dedicated = true;
    file.name = profile.aid;
    file.fci = bankApplicationFci(profile);
    file.payment = true;
    file.application = number;
    file.children = {recordFile(0x01, bankRecords(0x01, profile)),
                     recordFile(0x02, bankRecords(0x02, profile))};
    return file;
}

// An MF with the directories (PSE only when withPse) and every application.
CardFile paymentMf(const std::vector<BankProfile> &applications, bool withPse)
{
    CardFile mf;
    mf.dedicated = true;
    mf.id = 0x3F00;
    for (std::size_t i = 0; i < applications.size(); ++i)
        mf.children.push_back(application(applications[i], static_cast<unsigned char>(i)));
    if (withPse) {
        // The directory in two records, as long directories are kept.
        const std::size_t half = applications.size() / 2;
        const std::vector<BankProfile> first(applications.begin(), applications.begin() + half);
        const std::vector<BankProfile> second(applications.begin() + half, applications.end());
        mf.children.push_back(directory(
            "1PAY.SYS.DDF01", paymentDirectoryFci(),
            {recordFile(0x01, {paymentDirectoryRecord(first), paymentDirectoryRecord(second)})}));
    }
    mf.children.push_back(directory("2PAY.SYS.DDF01", proximityDirectoryFci(applications), {}));
    return mf;
}

BankProfile profile(Bytes id, const char *label, const char *pan, int priority)
{
    BankProfile made = userDebitProfile(false);
    made.aid = std::move(id);
    made.label = label;
    made.pan = pan;
    made.priority = priority;
    return made;
}

std::vector<BankProfile> multiApplications()
{
    BankProfile credit = profile(aid({0x01, 0x01, 0x02}), "CREDIT", "6999002000555501", 1);
    credit.refusesProcessing = true;
    return {
        profile(aid({0x01, 0x01, 0x03}), "QUASI CREDIT", "6999002000333303", 0),
        credit,
        profile(aid({0x01, 0x01, 0x01}), "DEBIT", "6999002000222202", 2),
        // Not a PBOC application: the terminal must leave it out.
        profile({0xF0, 0x00, 0x00, 0x09, 0x99, 0x01}, "OTHER SCHEME", "6999002000999909", 1),
    };
}

std::vector<BankProfile> quickOnlyApplications()
{
    BankProfile quick = profile(aid({0x01, 0x01, 0x06}), "QUICK PAY", "6999002000444404", 1);
    quick.quickFlow = true;
    quick.quickOnly = true;
    return {quick};
}

std::vector<BankProfile> longPdolApplications()
{
    BankProfile debit = profile(aid({0x01, 0x01, 0x01}), "DEBIT", "6999002000666606", 1);
    // 9F66 04, 9F02 06, 9F37 04, 9F1A 02 and 114 bytes of the issuer's own
    // tag DF60: 130 bytes, a GPO template with BER's long length form.
    debit.pdol = {0x9F, 0x66, 0x04, 0x9F, 0x02, 0x06, 0x9F, 0x37,
                  0x04, 0x9F, 0x1A, 0x02, 0xDF, 0x60, 0x72};
    return {debit};
}

} // namespace

PaymentCard multiApplicationCard()
{
    static const CardFile mf = paymentMf(multiApplications(), true);
    return {mf, multiApplications()};
}

PaymentCard quickOnlyCard()
{
    static const CardFile mf = paymentMf(quickOnlyApplications(), false);
    return {mf, quickOnlyApplications()};
}

PaymentCard longPdolCard()
{
    static const CardFile mf = paymentMf(longPdolApplications(), true);
    return {mf, longPdolApplications()};
}

} // namespace sim
