// The arguments of one call of an export, typed as the entry-point list
// declares them: written into a trace line by the tracing library, and by the
// replaying library both written (to compare a call with the traced one) and
// filled from the trace (its outputs).
//
// Inputs: numbers in decimal; input texts (const char *) up to their zero
// byte; input bytes (const unsigned char *) in hexadecimal with the length the
// operation's contract gives; output buffers (char *, unsigned char *) by the
// size the program gives them. Outputs, after the call: text buffers up to
// their zero byte but never past their size, byte buffers as many bytes as the
// returned count says, clamped to their size, and the counts themselves.
#pragma once

#include "bounds.h"
#include "traceformat.h"

#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>

namespace trace {

template <typename... Args> class CallArguments
{
    using Values = std::tuple<Args...>;
    static constexpr std::size_t count = sizeof...(Args);

public:
    CallArguments(EntryPoint entry, Args... args) : m_entry(entry), m_values(args...) {}

    const Values &values() const { return m_values; }

    // "port=0, mode=1, record[10240], flags=0"; input texts redacted when
    // asked, as the tracer redacts them.
    std::string inputs(bool redact)
    {
        std::string line;
        m_separator = "";
        m_redact = redact;
        inputsAt(line, std::index_sequence_for<Args...>{});
        return line;
    }

    // "record=\"...\"": what the library wrote.
    std::string outputs(bool redact)
    {
        std::string line;
        m_separator = "";
        m_redact = redact;
        outputsAt(line, std::index_sequence_for<Args...>{});
        return line;
    }

    // Writes the traced outputs (one per output parameter, in order) into the
    // caller's buffers, within the sizes the caller gave.
    void fill(const std::vector<Output> &traced)
    {
        std::size_t next = 0;
        fillAt(traced, next, std::index_sequence_for<Args...>{});
    }

private:
    template <std::size_t I> using At = std::tuple_element_t<I, Values>;

    template <std::size_t... I> void inputsAt(std::string &line, std::index_sequence<I...>)
    {
        (input<I>(line), ...);
    }
    template <std::size_t... I> void outputsAt(std::string &line, std::index_sequence<I...>)
    {
        (output<I>(line), ...);
    }
    template <std::size_t... I>
    void fillAt(const std::vector<Output> &traced, std::size_t &next, std::index_sequence<I...>)
    {
        (fillOne<I>(traced, next), ...);
    }

    void name(std::string &line, std::size_t index)
    {
        line += m_separator;
        m_separator = ", ";
        const std::vector<std::string> &names = shape(m_entry).names;
        line += index < names.size() ? names[index] : "arg" + std::to_string(index);
    }

    // The count passed by value at parameter I, or -1 when there is none.
    template <std::size_t I> int64_t countAt() const
    {
        if constexpr (I < count) {
            if constexpr (std::is_same_v<At<I>, int64_t>)
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

    // The size of the output buffer at parameter I as the program gives it:
    // HexToAsc's text holds two digits per byte and a zero byte, AscToHex's
    // bytes as many as the count passed, every other the operation's size.
    template <std::size_t I> std::size_t bufferSize() const
    {
        if (m_entry == EntryPoint::HexToAsc) {
            if constexpr (I > 0)
                return textSizeForCount(countAt<I - 1>());
        }
        if (m_entry == EntryPoint::AscToHex) {
            if constexpr (I > 0)
                return static_cast<std::size_t>(clampedCount(countAt<I - 1>(), mostBytes));
        }
        return outputSize(m_entry);
    }

    // The count returned with the byte buffer at parameter I: the count
    // passed for AscToHex, the int64_t * just after it for the others.
    template <std::size_t I> int64_t returnedCount() const
    {
        if (m_entry == EntryPoint::AscToHex)
            return countAt<I - 1>();
        if constexpr (I + 1 < count) {
            if constexpr (std::is_same_v<At<I + 1>, int64_t *>) {
                const int64_t *returned = std::get<I + 1>(m_values);
                return returned ? *returned : 0;
            }
        }
        return 0;
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

    void text(std::string &line, std::size_t index, QByteArray value)
    {
        std::string bytes = value.toStdString();
        if (m_redact)
            bytes = redactedText(m_entry, index, std::move(bytes));
        appendText(line, bytes.data(), bytes.size());
    }

    template <std::size_t I> void input(std::string &line)
    {
        using T = At<I>;
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
                text(line, I, boundedText(value, static_cast<std::size_t>(digits)));
            } else {
                text(line, I, QByteArray(value, static_cast<int>(std::strlen(value))));
            }
        } else if constexpr (std::is_same_v<T, const unsigned char *>) {
            name(line, I);
            if (value)
                bytes(line, value, inputLength<I>(), mostBytes);
            else
                line += "=null";
        } else if constexpr (std::is_same_v<T, char *> || std::is_same_v<T, unsigned char *>) {
            name(line, I);
            line += value ? '[' + std::to_string(bufferSize<I>()) + ']' : std::string("=null");
        }
    }

    template <std::size_t I> void output(std::string &line)
    {
        using T = At<I>;
        const T value = std::get<I>(m_values);
        if constexpr (std::is_same_v<T, char *>) {
            name(line, I);
            line += '=';
            if (!value) {
                line += "null";
                return;
            }
            const std::size_t size = bufferSize<I>();
            const QByteArray written = boundedText(value, size);
            text(line, I, written);
            if (static_cast<std::size_t>(written.size()) == size)
                line += " (no zero byte in " + std::to_string(size) + ")";
        } else if constexpr (std::is_same_v<T, unsigned char *>) {
            name(line, I);
            if (value)
                bytes(line, value, returnedCount<I>(), static_cast<int64_t>(bufferSize<I>()));
            else
                line += "=null";
        } else if constexpr (std::is_same_v<T, int64_t *>) {
            name(line, I);
            line += value ? '=' + std::to_string(*value) : std::string("=null");
        }
    }

    template <std::size_t I> void fillOne(const std::vector<Output> &traced, std::size_t &next)
    {
        using T = At<I>;
        if constexpr (
            std::is_same_v<
                T, char *> || std::is_same_v<T, unsigned char *> || std::is_same_v<T, int64_t *>) {
            if (next >= traced.size())
                return;
            const Output &out = traced[next++];
            T value = std::get<I>(m_values);
            if (!value || out.null)
                return;
            if constexpr (std::is_same_v<T, int64_t *>) {
                *value = out.count;
            } else {
                const std::size_t size = bufferSize<I>();
                const std::size_t length = std::min(out.bytes.size(), size);
                std::memcpy(value, out.bytes.data(), length);
                if constexpr (std::is_same_v<T, char *>) {
                    if (out.terminated && length < size)
                        value[length] = '\0';
                }
            }
        }
    }

    EntryPoint m_entry;
    Values m_values;
    const char *m_separator = "";
    bool m_redact = false;
};

} // namespace trace
