// What an origin may ask for. A grant is named in the administrator's file,
// in a person's stored consent and in the audit log by its lower-case name.
#pragma once

#include <QString>
#include <QStringList>

namespace bridge {

enum Grant : unsigned {
    NoGrant = 0,
    ReaderGrant = 1u << 0,   // open, close and describe the reader
    IdentityGrant = 1u << 1, // identity documents
    BankGrant = 1u << 2,     // bank card data
    SsseGrant = 1u << 3,     // social security cards
    M1Grant = 1u << 4,       // find and read M1 cards
    MagGrant = 1u << 5,      // magnetic stripes
    QrGrant = 1u << 6,       // QR codes
    ApduGrant = 1u << 7,     // raw APDUs: engineering only
    FullGrant = 1u << 8,     // personal data unmasked
};
using Grants = unsigned;

// Grants a person may give in the consent dialog; the others (raw APDUs,
// unmasked data) come from the administrator's file only.
constexpr Grants consentable =
    ReaderGrant | IdentityGrant | BankGrant | SsseGrant | M1Grant | MagGrant | QrGrant;

// The grant of that name, or NoGrant.
Grant grantNamed(const QString &name);
QString grantName(Grant grant);
QStringList grantNames(Grants grants);

// What a consent dialog says the page asks for, e.g. "读取身份证件信息".
QString grantPurpose(Grant grant);

} // namespace bridge
