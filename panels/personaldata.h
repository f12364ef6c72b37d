// A person's data in what the operations hand out, and how it is hidden
// whenever it leaves the window: command-line reports, traces, logs and
// answers to web pages. The window itself always shows the card as it is.
//
// Two ways of hiding, for two kinds of reader:
//  - masked(): for people. Enough is left to tell one card from another at
//    a glance (苏**, 990102********0023, 699900******3451) and nothing more.
//  - redacted(): for programs that replay a trace. Every character becomes a
//    placeholder of its own class and encoded size (a digit stays a digit, a
//    Chinese character another Chinese character), so lengths, field counts
//    and formats stay exactly as they were and only the values are gone.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

enum class Personal {
    No,         // not a person's data: shown as it is
    Name,       // names, addresses, places: the first character, then '*'
    IdNumber,   // identity numbers: the first 6 and the last 4 characters
    CardNumber, // card numbers and track data: the first 6 and the last 4 digits
    Secret,     // dates of birth and the like: every character '*'
    Photo,      // never shown outside the window, not even masked
    // The element text of IccGetCardInfo ("A016…B006…": a letter, three
    // digits giving the value's length in characters, the value): each value
    // as its letter's kind asks. Text that does not parse as elements is
    // hidden whole, never passed through.
    BankElements,
};

// The value as a person may see it outside the window. Values too short to
// keep 6 and 4 characters and still hide a third keep less of each end, so
// that something is always hidden. A Photo gives an empty text.
QString masked(Personal kind, const QString &value);

// The value with every character replaced by a placeholder of the same class:
// ASCII digits by '0', ASCII letters by 'X' (lower case by 'x'), other
// printable ASCII kept as it is (separators keep the structure), any other
// character by one of the same encoded length in UTF-8 and in GB18030 alike.
// Nothing of No changes.
QString redacted(Personal kind, const QString &value);

// The encodings of the texts the library hands out: the card text records are
// GB18030, every other text UTF-8.
enum class TextEncoding { Utf8, Gb18030 };

// Length of the valid sequence of the encoding that starts at bytes (1 for
// ASCII), or 0 when none does: a cut, overlong or surrogate sequence, or a
// byte that starts nothing.
int sequenceLength(const unsigned char *bytes, std::size_t available, TextEncoding encoding);

// redacted() over the bytes of a text as the library wrote them: every valid
// sequence becomes a placeholder of the same class and the same byte count,
// every byte that starts no valid sequence becomes 0x80 (which starts none in
// either encoding). The result has exactly as many bytes as the original, its
// separators in the same places and its invalid bytes where they were.
QByteArray redactedBytes(Personal kind, const QByteArray &bytes, TextEncoding encoding);

// The fields of the card text records and the bank card's data letters, by
// position: what the operations name them and what kind of data each holds.
struct PersonalField
{
    const char *name; // lower_snake_case, as the command line and web pages name it
    Personal kind;
};

// Identity record (the 15 fields of IdReadCard and SdtReadCard): null name
// for a field no output shows.
PersonalField identityRecordField(int index);
// Social security record (SsseReadCard).
PersonalField socialSecurityRecordField(int index);
// Bank card data by reference letter (IccGetCardInfo): null name for a letter
// the card has no data object for.
PersonalField bankCardLetter(QChar letter);
