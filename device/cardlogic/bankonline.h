// Cryptograms and online completion: the ARQC (GENERATE AC, or the quick
// contactless flow's processing options), the issuer's answer, issuer
// authentication, scripts and the second GENERATE AC. The parsers are pure.
#pragma once

#include "bank.h"

#include <map>
#include <optional>
#include <vector>

namespace device::payment {

struct Cryptogram
{
    unsigned char cid = 0;        // 9F27's kind: 00 AAC, 40 TC, 80 ARQC
    std::map<Tag, Bytes> objects; // 9F27, 9F36, 9F26 and, when sent, 9F10
};

// The cryptogram among data objects: 9F26 of 8 bytes, 9F27 of 1 and 9F36 of 2
// are needed; 9F10 is taken when present.
std::optional<Cryptogram> cryptogramIn(const std::map<Tag, Bytes> &objects);

// The answer to GENERATE AC: format 1 (80: CID, ATC, AC, issuer application
// data) or format 2 (template 77).
std::optional<Cryptogram> parseGenerateAc(const Bytes &answer);

// The issuer's answer: the ARPC text's ARPC, response code (default "00")
// and the scripts of templates 71 and 72.
struct IssuerAnswer
{
    Bytes arpc, responseCode;
    std::vector<Bytes> scriptsBefore, scriptsAfter; // templates 71 and 72
};
std::optional<IssuerAnswer> parseIssuerAnswer(const QByteArray &text);

// Whether a response code approves the transaction: "00", "10" or "11".
bool isApproval(const Bytes &responseCode);

} // namespace device::payment
