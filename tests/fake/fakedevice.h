// A scriptable stand-in for libCommonInterface.so.
//
// Built as its own libCommonInterface.so with every export of the entry-point
// list. Each call is recorded with its arguments and answered from a script:
// a result code, the bytes to write into the output buffers and the counts to
// store through the length pointers. HexToAsc and AscToHex always convert for
// real (upper-case digits), so a test sees what the program made of the bytes.
//
// Arguments are recorded in call order as QVariants:
//  - integers and bytes passed by value: qint64;
//  - input texts (const char *): the QByteArray up to the zero byte;
//  - input bytes (const unsigned char *): a QByteArray of the length the
//    operation's contract gives (key 6, UID 4, the passed count otherwise);
//  - output buffers (char *, unsigned char *): a bool, whether the buffer was
//    all zero bytes on entry;
//  - length pointers (int64_t *): the value they pointed at on entry.
#pragma once

#include <QByteArray>
#include <QList>
#include <QVariantList>

namespace fakedevice {

struct Call
{
    QByteArray name;
    QVariantList args;
};

struct Reply
{
    qint64 result = 0;
    // Written into the output buffers in parameter order, byte for byte (no
    // terminating zero is added), cut to the size the program's buffer has.
    QList<QByteArray> buffers;
    // Stored through the length pointers in parameter order.
    QList<qint64> counts;
};

// Forgets all calls and scripts.
void reset();

// From now on, every call of entry answers reply.
void script(const char *entry, const Reply &reply);
inline void script(const char *entry, qint64 result) { script(entry, Reply{result, {}, {}}); }

// Every call since the last reset, in order; or those of one entry point.
QList<Call> calls();
QList<Call> callsOf(const char *entry);
// The arguments of the last call of entry; empty if it was never called.
QVariantList lastArgs(const char *entry);

// The size of the i-th output buffer of entry as the program allocates it.
int bufferSize(const char *entry, int index);

} // namespace fakedevice
