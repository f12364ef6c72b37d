// The 78 exports of the tracing libCommonInterface.so, generated from the
// entry-point list with C linkage.
//
// Arguments are traced from their declared types: numbers in decimal, input
// texts (const char *) up to their zero byte, input bytes (const unsigned
// char *) in hexadecimal with the length the operation's contract gives,
// and after the call the outputs: text buffers (char *) up to their zero byte
// but never past the size the program allocates for them, byte buffers
// (unsigned char *) as many bytes as the returned count says, clamped to that
// size, and the counts themselves. The 48 names the program never calls are
// declared without parameters; they are forwarded without arguments, which is
// exactly how the program calls them.
#include "bounds.h"
#include "trace.h"

#include <chrono>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace tracer {

// Most bytes traced for one input or converted byte buffer: the program's
// largest byte buffer (an APDU command or response).
constexpr int64_t mostBytes = 1024;

// Size of every output buffer (char * or unsigned char *) of an operation as
// the program allocates it; all outputs of one operation have the same size.
std::size_t outputSize(EntryPoint entry)
{
    using E = EntryPoint;
    switch (entry) {
    case E::TerminalGetModel:
    case E::TerminalGetFirmVersion:
    case E::SamGetIdStr:
    case E::SdtSamGetIdStr:
        return 256;
    case E::IdReadCard:
    case E::SdtReadCard:
        return 10240;
    case E::IdReadSn:
    case E::M1FindCard:
        return 16;
    case E::M1ReadBlock:
        return 32;
    case E::IccGetCardInfo:
    case E::IccGetARQC:
    case E::IccARPCExeScript:
    case E::IccGetTrDetail:
    case E::IccGetLoadDetail:
    case E::SsseReadCard:
        return 4096;
    case E::MagRead:
    case E::QrRead:
        return 512;
    case E::CpuPowerOn:
        return 128;
    case E::CpuApdu:
        return 1024;
    default:
        return 0;
    }
}

// The parameter names of "(portType, portPara, extendPara)".
std::vector<std::string> argumentNames(const char *list)
{
    std::vector<std::string> names;
    std::string name;
    for (const char *p = list; *p; ++p) {
        if (*p == ',' || *p == ')') {
            if (!name.empty())
                names.push_back(name);
            name.clear();
        } else if (*p != '(' && *p != ' ') {
            name += *p;
        }
    }
    return names;
}

template <typename... Args> class TracedCall
{
    using Values = std::tuple<Args...>;
    static constexpr std::size_t count = sizeof...(Args);

public:
    TracedCall(EntryPoint entry, const std::vector<std::string> &names, Args... args)
        : m_entry(entry), m_names(names), m_values(args...)
    {
    }

    int64_t run()
    {
        std::string line = timestamp() + ' ' + entryName(m_entry) + '(';
        m_separator = "";
        inputs(line, std::index_sequence_for<Args...>{});
        line += ')';

        Outcome outcome = Outcome::Called;
        void *function = realEntry(m_entry, outcome);
        int64_t result = outcome == Outcome::Missing ? EntryPointMissing : LibraryUnavailable;
        int64_t microseconds = 0;
        if (function) {
            const auto start = std::chrono::steady_clock::now();
            result = std::apply(reinterpret_cast<int64_t (*)(Args...)>(function), m_values);
            microseconds = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
            std::string returned;
            m_separator = "";
            outputs(returned, std::index_sequence_for<Args...>{});
            if (!returned.empty())
                line += " -> " + returned;
        } else {
            line += outcome == Outcome::Missing ? " not exported by the real library"
                                                : " not forwarded, no real library";
        }
        line += "; result " + std::to_string(result) + "; " + std::to_string(microseconds) + " us";
        record(m_entry, line, result, outcome, microseconds);
        return result;
    }

private:
    template <std::size_t... I> void inputs(std::string &line, std::index_sequence<I...>)
    {
        (input<I>(line), ...);
    }
    template <std::size_t... I> void outputs(std::string &line, std::index_sequence<I...>)
    {
        (output<I>(line), ...);
    }

    void name(std::string &line, std::size_t index)
    {
        line += m_separator;
        m_separator = ", ";
        line += index < m_names.size() ? m_names[index] : "arg" + std::to_string(index);
    }

    // The count passed by value at parameter I, or -1 when there is none.
    template <std::size_t I> int64_t countAt() const
    {
        if constexpr (I < count) {
            if constexpr (std::is_same_v<std::tuple_element_t<I, Values>, int64_t>)
                return std::get<I>(m_values);
        }
        return -1;
    }

    // Length of the input bytes at parameter I by the operation's contract:
    // M1Authentication's key and UID are 6 and 4 bytes; HexToAsc passes the
    // count after the bytes, every other operation just before them.
    template <std::size_t I> int64_t inputLength() const
    {
        if (m_entry == EntryPoint::M1Authentication)
            return I == 2 ? 6 : 4;
        if (m_entry == EntryPoint::HexToAsc)
            return countAt<I + 1>();
        if constexpr (I > 0)
            return countAt<I - 1>();
        return -1;
    }

    void bytes(std::string &line, const unsigned char *data, int64_t wanted, int64_t limit)
    {
        const int64_t shown = clampedCount(wanted, limit);
        line += '[' + std::to_string(shown);
        if (shown != wanted)
            line += " of " + std::to_string(wanted);
        line += "]=";
        appendHex(line, data, static_cast<std::size_t>(shown));
    }

    template <std::size_t I> void input(std::string &line)
    {
        using T = std::tuple_element_t<I, Values>;
        const T value = std::get<I>(m_values);
        if constexpr (std::is_integral_v<T>) {
            name(line, I);
            line += '=' + std::to_string(static_cast<long long>(value));
        } else if constexpr (std::is_same_v<T, const char *>) {
            name(line, I);
            line += '=';
            if (!value) {
                line += "null";
            } else if (m_entry == EntryPoint::AscToHex) {
                // Two digits per converted byte; the text need not end there.
                const int64_t digits = 2 * clampedCount(countAt<I + 1>(), mostBytes);
                const QByteArray text = boundedText(value, static_cast<std::size_t>(digits));
                appendText(line, text.constData(), static_cast<std::size_t>(text.size()));
            } else {
                appendText(line, value, std::strlen(value));
            }
        } else if constexpr (std::is_same_v<T, const unsigned char *>) {
            name(line, I);
            if (value)
                bytes(line, value, inputLength<I>(), mostBytes);
            else
                line += "=null";
        }
    }

    template <std::size_t I> void output(std::string &line)
    {
        using T = std::tuple_element_t<I, Values>;
        const T value = std::get<I>(m_values);
        if constexpr (std::is_same_v<T, char *>) {
            name(line, I);
            // HexToAsc writes two digits per byte and a zero byte; the program
            // sizes its text buffer for the count it passes.
            std::size_t size = outputSize(m_entry);
            if (m_entry == EntryPoint::HexToAsc)
                size = static_cast<std::size_t>(2 * clampedCount(countAt<I - 1>(), mostBytes) + 1);
            line += '=';
            if (!value) {
                line += "null";
                return;
            }
            const QByteArray text = boundedText(value, size);
            appendText(line, text.constData(), static_cast<std::size_t>(text.size()));
            if (static_cast<std::size_t>(text.size()) == size)
                line += " (no zero byte in " + std::to_string(size) + ")";
        } else if constexpr (std::is_same_v<T, unsigned char *>) {
            name(line, I);
            if (!value) {
                line += "=null";
                return;
            }
            if (m_entry == EntryPoint::AscToHex) {
                bytes(line, value, countAt<I - 1>(), mostBytes);
            } else if constexpr (I + 1 < count) {
                using Next = std::tuple_element_t<I + 1, Values>;
                if constexpr (std::is_same_v<Next, int64_t *>) {
                    const int64_t *returned = std::get<I + 1>(m_values);
                    const auto size = static_cast<int64_t>(outputSize(m_entry));
                    bytes(line, value, returned ? *returned : 0, size);
                }
            }
        } else if constexpr (std::is_same_v<T, int64_t *>) {
            name(line, I);
            line += value ? '=' + std::to_string(*value) : std::string("=null");
        }
    }

    EntryPoint m_entry;
    const std::vector<std::string> &m_names;
    Values m_values;
    const char *m_separator = "";
};

// Called with the arguments of one export: traces and forwards them.
struct Traced
{
    EntryPoint entry;
    const std::vector<std::string> &names;

    template <typename... Args> int64_t operator()(Args... args) const
    {
        return TracedCall<Args...>(entry, names, args...).run();
    }
};

} // namespace tracer

#define TRACER_EXPORT extern "C" __attribute__((visibility("default")))

#define TRACER_CALLED(name, params, args)                                                          \
    TRACER_EXPORT int64_t name params                                                              \
    {                                                                                              \
        static const std::vector<std::string> names = tracer::argumentNames(#args);                \
        return tracer::Traced{EntryPoint::name, names} args;                                       \
    }
#define TRACER_UNCALLED(name)                                                                      \
    TRACER_EXPORT int64_t name()                                                                   \
    {                                                                                              \
        static const std::vector<std::string> names;                                               \
        return tracer::Traced{EntryPoint::name, names}();                                          \
    }

COMMON_INTERFACE_ENTRY_POINTS(TRACER_CALLED, TRACER_UNCALLED)
