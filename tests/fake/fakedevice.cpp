#include "fakedevice.h"

#include "entrypoints.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace fakedevice {
namespace {

QList<Call> recorded;
QHash<QByteArray, Reply> scripts;

// Output buffer sizes of each operation, in parameter order.
const QHash<QByteArray, QList<int>> &outputSizes()
{
    static const QHash<QByteArray, QList<int>> sizes{
        {"TerminalGetModel", {256}},
        {"TerminalGetFirmVersion", {256, 256}},
        {"SamGetIdStr", {256}},
        {"SdtSamGetIdStr", {256}},
        {"IdReadCard", {10240}},
        {"SdtReadCard", {10240}},
        {"IdReadSn", {16}},
        {"IccGetCardInfo", {4096}},
        {"IccGetARQC", {4096, 4096}},
        {"IccARPCExeScript", {4096, 4096}},
        {"IccGetTrDetail", {4096}},
        {"IccGetLoadDetail", {4096}},
        {"SsseReadCard", {4096, 4096}},
        {"M1FindCard", {16}},
        {"M1ReadBlock", {32}},
        {"MagRead", {512, 512, 512}},
        {"QrRead", {512}},
        {"CpuPowerOn", {128}},
        {"CpuApdu", {1024}},
    };
    return sizes;
}

// Length of the i-th input byte array of an operation, from its contract.
int inputLength(const QByteArray &entry, const QVariantList &argsSoFar)
{
    if (entry == "M1Authentication")
        return argsSoFar.size() == 2 ? 6 : 4;
    // M1WriteBlock and CpuApdu pass the count just before the bytes.
    return static_cast<int>(std::clamp<qint64>(argsSoFar.last().toLongLong(), 0, 1 << 20));
}

class Dispatch
{
public:
    explicit Dispatch(const char *entry) : m_call{entry, {}}, m_reply(scripts.value(entry)) {}

    template <typename... Args> int64_t operator()(Args... args)
    {
        (record(args), ...);
        recorded.append(m_call);
        m_outputIndex = 0;
        m_countIndex = 0;
        (answer(args), ...);
        return m_reply.result;
    }

    // The conversions convert unless a test has scripted them.
    int64_t operator()(const unsigned char *bytes, int64_t length, char *text)
    {
        m_call.args = {QByteArray(reinterpret_cast<const char *>(bytes),
                                  static_cast<int>(std::max<int64_t>(length, 0))),
                       qint64(length), text[0] == '\0'};
        recorded.append(m_call);
        static const char digits[] = "0123456789ABCDEF";
        for (int64_t i = 0; i < length; ++i) {
            *text++ = digits[bytes[i] >> 4];
            *text++ = digits[bytes[i] & 0x0F];
        }
        *text = '\0';
        return 0;
    }

    int64_t operator()(const char *text, int64_t count, unsigned char *bytes)
    {
        // Reads exactly 2 × count characters, as the contract allows, so a
        // caller handing a shorter text shows up under the sanitizers.
        const int chars = static_cast<int>(2 * std::max<int64_t>(count, 0));
        m_call.args = {QByteArray(text, chars), qint64(count), bytes[0] == 0};
        recorded.append(m_call);
        for (int i = 0; i < chars / 2; ++i) {
            bool ok = false;
            const uint value = QByteArray(text + 2 * i, 2).toUInt(&ok, 16);
            bytes[i] = static_cast<unsigned char>(ok ? value : 0);
        }
        return 0;
    }

private:
    template <typename T> void record(T value)
    {
        if constexpr (std::is_same_v<T, const char *>) {
            m_call.args.append(QByteArray(value));
        } else if constexpr (std::is_same_v<T, const unsigned char *>) {
            m_call.args.append(QByteArray(reinterpret_cast<const char *>(value),
                                          inputLength(m_call.name, m_call.args)));
        } else if constexpr (std::is_same_v<T, char *> || std::is_same_v<T, unsigned char *>) {
            const int size = outputSizes().value(m_call.name).value(m_bufferIndex++);
            const char *bytes = reinterpret_cast<const char *>(value);
            m_call.args.append(std::all_of(bytes, bytes + size, [](char c) { return c == 0; }));
        } else if constexpr (std::is_same_v<T, int64_t *>) {
            m_call.args.append(qint64(*value));
        } else {
            static_assert(std::is_integral_v<T>, "unexpected parameter type");
            m_call.args.append(qint64(value));
        }
    }

    template <typename T> void answer(T value)
    {
        if constexpr (std::is_same_v<T, char *> || std::is_same_v<T, unsigned char *>) {
            const int index = m_outputIndex++;
            const QByteArray bytes = m_reply.buffers.value(index);
            const int size = outputSizes().value(m_call.name).value(index);
            std::memcpy(value, bytes.constData(), std::min<qsizetype>(bytes.size(), size));
        } else if constexpr (std::is_same_v<T, int64_t *>) {
            const int index = m_countIndex++;
            if (index < m_reply.counts.size())
                *value = m_reply.counts.at(index);
        }
    }

    Call m_call;
    Reply m_reply;
    int m_bufferIndex = 0;
    int m_outputIndex = 0;
    int m_countIndex = 0;
};

} // namespace

void reset()
{
    recorded.clear();
    scripts.clear();
}

void script(const char *entry, const Reply &reply)
{
    scripts.insert(entry, reply);
}

QList<Call> calls()
{
    return recorded;
}

QList<Call> callsOf(const char *entry)
{
    QList<Call> matching;
    for (const Call &call : recorded) {
        if (call.name == entry)
            matching.append(call);
    }
    return matching;
}

QVariantList lastArgs(const char *entry)
{
    const QList<Call> matching = callsOf(entry);
    return matching.isEmpty() ? QVariantList() : matching.last().args;
}

int bufferSize(const char *entry, int index)
{
    return outputSizes().value(entry).value(index);
}

} // namespace fakedevice

#define FAKE_DEVICE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_DEVICE_CALLED(name, params, args)                                                     \
    FAKE_DEVICE_EXPORT int64_t name params { return fakedevice::Dispatch(#name) args; }
#define FAKE_DEVICE_UNCALLED(name)                                                                 \
    FAKE_DEVICE_EXPORT int64_t name() { return fakedevice::Dispatch(#name)(); }

COMMON_INTERFACE_ENTRY_POINTS(FAKE_DEVICE_CALLED, FAKE_DEVICE_UNCALLED)
