// The texts of the bank operations: the element format shared by the
// transaction data and the card data text, and the ARPC form. Pure, so that
// tests and fuzz targets call these functions directly.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace sim {

// One data element: a tag letter, then three decimal digits with the length
// of the value in characters (Unicode code points), then the value.
struct BankElement
{
    char tag = 0;
    QString value;

    bool operator==(const BankElement &other) const
    {
        return tag == other.tag && value == other.value;
    }
};

using BankElements = std::vector<BankElement>;

// The longest value the three length digits can announce.
constexpr int maxElementLength = 999;

// Whether the letter names a data element: A to G, I to L and O to W, upper
// case only.
bool isBankTag(char letter);

// Splits UTF-8 text into its elements. Nothing when the text is not valid
// UTF-8 or not a sequence of whole elements with known tags; an empty text is
// an empty sequence.
std::optional<BankElements> parseBankElements(const QByteArray &utf8);

// The elements in the same form, as UTF-8. Nothing when a value is longer
// than maxElementLength or a tag is unknown.
std::optional<QByteArray> formatBankElements(const BankElements &elements);

// Whether transaction data elements can go into a cryptogram: at least one
// element, no tag twice, and the terminal's numeric fields in their fixed
// sizes (amounts P and Q 12 digits, currency R and country V 4, date S and
// time U 6, type T 2).
bool isUsableTransaction(const BankElements &elements);

// An ARPC as the issuer sends it: 16 hexadecimal digits (8 bytes), optionally
// followed by the 4 digits of the authorisation response code and then by
// issuer scripts (templates 71 and 72) in hexadecimal. Only the form of the
// digits is checked here.
bool isWellFormedArpc(const QByteArray &arpc);

} // namespace sim
