// The identity documents the simulated reader holds: one of each kind, with
// synthetic data made for this reader. Reachable by tests without going
// through the exports.
#pragma once

#include <QByteArray>

namespace sim {

enum class IdentityKind { Resident, Foreigner, HongKongMacaoTaiwan };

constexpr int identityKindCount = 3;

// The document's identity record as IdReadCard writes it: GB18030 text, fields
// separated by ":", the photo as Base64 in the last field; no terminating zero.
QByteArray identityRecord(IdentityKind kind);

// The document's photo: a small PNG drawn by the simulator (a plain outline of
// head and shoulders on a coloured background).
QByteArray identityPhoto(IdentityKind kind);

// The 8-byte serial number of the document's card body.
QByteArray identitySerial(IdentityKind kind);

} // namespace sim
