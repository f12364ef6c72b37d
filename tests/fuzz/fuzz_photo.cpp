// The identity photo from the card: arbitrary text as the photo field, and
// arbitrary bytes as the image file inside it. Whatever the header claims,
// no decoded photo is larger than the largest accepted side, and decoding
// never holds more than 64 MiB of heap at once (no single allocation may
// either: the target runs with -malloc_limit_mb).
#include "fuzzcheck.h"
#include "records.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QString>
#include <QtGlobal>

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int largestSide = 2048;
constexpr long long largestHeap = 64ll << 20;

// The heap held by one decoding: what it allocated minus what it freed, and
// the highest that has been.
bool counting = false;
long long held = 0;
long long mostHeld = 0;

void onAllocation(const volatile void *, std::size_t size)
{
    if (!counting)
        return;
    held += static_cast<long long>(size);
    mostHeld = std::max(mostHeld, held);
}

void onRelease(const volatile void *pointer)
{
    if (counting)
        held -= static_cast<long long>(
            __sanitizer_get_allocated_size(const_cast<const void *>(pointer)));
}

// The image decoders are Qt's and not instrumented, so what they make of an
// input is fed back to the fuzzer through extra counters: the decoded size
// and pixel format and the decoder's warnings each mark a counter of their
// own, and an input that reaches a new one is kept.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t seen[4096];

void mark(uint32_t feature)
{
    uint8_t &counter = seen[feature % sizeof seen];
    if (counter < 255)
        ++counter;
}

void markWarnings(QtMsgType, const QMessageLogContext &, const QString &message)
{
    mark(qHash(message.left(40)) ^ 0x5bd1e995u);
}

void decode(const QString &field, uint32_t route)
{
    held = mostHeld = 0;
    counting = true;
    const QImage photo = identityPhoto(field);
    counting = false;
    check(mostHeld <= largestHeap);
    if (photo.isNull()) {
        mark(route);
        return;
    }
    check(photo.width() <= largestSide && photo.height() <= largestSide);
    check(photo.width() > 0 && photo.height() > 0);
    // Width and height in powers of two, and the pixel format.
    const auto log2 = [](int side) { return 32 - static_cast<uint32_t>(__builtin_clz(side)); };
    mark(route * 7919u + log2(photo.width()) * 64u + log2(photo.height()) * 2048u
         + static_cast<uint32_t>(photo.format()) * 131u);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Image format plugins are found the way the program finds them.
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler(markWarnings);
    __sanitizer_install_malloc_and_free_hooks(onAllocation, onRelease);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // The bytes as the image file, Base64-encoded as the card carries it.
    decode(QString::fromLatin1(bytes.toBase64()), 1);
    // The bytes as the field's text itself: not Base64, or Base64 with
    // anything in between.
    decode(QString::fromLatin1(bytes), 2);
    return 0;
}
