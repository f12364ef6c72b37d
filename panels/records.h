// What the identity and social security tabs make of a card text record.
// Pure functions of the record, kept apart from the slots so that every
// field's placement can be checked, and fuzzed, without a window.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <array>

// The texts of the identity tab's widgets for one identity record. A record
// shorter than its 15 fields gives empty texts for the fields it lacks, so
// one document's data is never shown beside another's.
struct IdentityDisplay
{
    QString name;
    QString gender;
    QString nation;
    QString birthday;
    QString address;
    QString idNumber;
    QString signOrg;
    QString validity; // "first - last"; empty when the record has neither
    QString other;    // the type flag and, for "I" and "J", their extra fields
    QString photo;    // Base64 of the photo's image file
};

IdentityDisplay identityDisplay(const QStringList &fields);

// The photo field decoded: Base64 of an image file in whatever format its
// header names. Null when it is empty, does not decode, is not a PNG, JPEG,
// BMP or GIF file, or declares a side longer than any identity photo could
// have or more pixel data than 2048 x 2048 at 32 bits (nothing is allocated
// for it).
QImage identityPhoto(const QString &base64);

// The record fields of a social security card in the order of the tab's
// thirteen line edits: identity code, category, card standard version,
// initialising organisation, issue date, validity, card number, identity
// number, name, gender, nation, birth place, birth date. Field 9 is not
// shown; missing fields give empty texts.
constexpr std::array<int, 13> socialSecurityFieldIndexes{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13};
std::array<QString, 13> socialSecurityDisplay(const QStringList &fields);
