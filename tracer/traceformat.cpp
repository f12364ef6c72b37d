// The trace file's format: entry point shapes, writing arguments, redaction
// and the line parser.
#include "traceformat.h"

#include "personaldata.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

namespace trace {

std::string headerLine(bool redacted)
{
    return std::string(formatName) + ' ' + std::to_string(formatVersion)
           + (redacted ? " redacted" : "");
}

namespace {

template <typename T> constexpr Param paramOf()
{
    if constexpr (std::is_same_v<T, const char *>)
        return Param::InText;
    else if constexpr (std::is_same_v<T, const unsigned char *>)
        return Param::InBytes;
    else if constexpr (std::is_same_v<T, char *>)
        return Param::OutText;
    else if constexpr (std::is_same_v<T, unsigned char *>)
        return Param::OutBytes;
    else if constexpr (std::is_same_v<T, int64_t *>)
        return Param::OutCount;
    else {
        static_assert(std::is_integral_v<T>, "a parameter of a kind the trace cannot hold");
        return Param::Number;
    }
}

template <typename... Args> std::vector<Param> paramsOf(int64_t (*)(Args...))
{
    return {paramOf<Args>()...};
}

// The parameter names of "(portType, portPara, extendPara)".
std::vector<std::string> namesOf(const char *list)
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

const std::vector<Shape> &shapes()
{
    static const std::vector<Shape> all{
#define TRACE_SHAPE_CALLED(name, params, args)                                                     \
    {#name, namesOf(#args), paramsOf(static_cast<name##Function *>(nullptr))},
#define TRACE_SHAPE_UNCALLED(name) {#name, {}, {}},
        COMMON_INTERFACE_ENTRY_POINTS(TRACE_SHAPE_CALLED, TRACE_SHAPE_UNCALLED)
#undef TRACE_SHAPE_CALLED
#undef TRACE_SHAPE_UNCALLED
    };
    return all;
}

} // namespace

const Shape &shape(EntryPoint entry)
{
    return shapes()[static_cast<std::size_t>(entry)];
}

bool entryByName(std::string_view name, EntryPoint &entry)
{
    const std::vector<Shape> &all = shapes();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (name == all[i].name) {
            entry = static_cast<EntryPoint>(i);
            return true;
        }
    }
    return false;
}

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


namespace {
std::size_t utf8Length(const unsigned char *bytes, std::size_t available)
{
    return static_cast<std::size_t>(sequenceLength(bytes, available, TextEncoding::Utf8));
}
} // namespace

void appendText(std::string &out, const char *bytes, std::size_t length)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto *u = reinterpret_cast<const unsigned char *>(bytes);
    // Another encoding (the cards' GB18030) is escaped as a whole rather than
    // shown as the odd pairs of its bytes that happen to be valid UTF-8.
    bool utf8 = true;
    for (std::size_t i = 0; i < length && utf8;) {
        const std::size_t sequence = u[i] < 0x80 ? 1 : utf8Length(u + i, length - i);
        utf8 = sequence > 0;
        i += sequence;
    }
    out += '"';
    for (std::size_t i = 0; i < length;) {
        const unsigned char c = u[i];
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t sequence =
                       utf8 && c >= 0x80 ? utf8Length(u + i, length - i) : 0) {
            out.append(bytes + i, sequence);
            i += sequence;
        } else {
            out += '\\';
            out += 'x';
            out += digits[c >> 4];
            out += digits[c & 0x0F];
            ++i;
        }
    }
    out += '"';
}

void appendHex(std::string &out, const unsigned char *bytes, std::size_t length)
{
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
}

namespace {

// The ':'-separated fields of a card text record, each replaced as its kind
// asks. ':' is a single byte no GB18030 sequence contains.
std::string redactedRecord(const std::string &text, PersonalField (*field)(int))
{
    QByteArray out;
    const QList<QByteArray> fields = QByteArray::fromStdString(text).split(':');
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ':';
        out += redactedBytes(field(i).kind, fields[i], TextEncoding::Gb18030);
    }
    return out.toStdString();
}

// The bank card's elements ("A016…": a letter, three digits giving the
// value's length in characters, the value), each value replaced as its
// letter's kind asks. Text that does not parse as elements is replaced whole.
std::string redactedCardInfo(const std::string &text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    QByteArray out;
    int at = 0;
    while (at < bytes.size()) {
        bool parsed = at + 4 <= bytes.size();
        for (int i = 1; i < 4 && parsed; ++i)
            parsed = bytes[at + i] >= '0' && bytes[at + i] <= '9';
        if (!parsed)
            break;
        const int characters = bytes.mid(at + 1, 3).toInt();
        // The value's characters: a UTF-8 sequence or a stray byte each.
        int end = at + 4;
        int counted = 0;
        for (; counted < characters && end < bytes.size(); ++counted) {
            const auto lead = static_cast<unsigned char>(bytes[end]);
            int length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            for (int i = 1; i < length; ++i)
                if (end + i >= bytes.size()
                    || (static_cast<unsigned char>(bytes[end + i]) & 0xC0) != 0x80)
                    length = 1;
            end += length;
        }
        if (counted < characters)
            break;
        const QByteArray value = bytes.mid(at + 4, end - at - 4);
        out +=
            bytes.mid(at, 4)
            + redactedBytes(bankCardLetter(QLatin1Char(bytes[at])).kind, value, TextEncoding::Utf8);
        at = end;
    }
    if (at < bytes.size())
        return redactedBytes(Personal::Secret, bytes, TextEncoding::Utf8).toStdString();
    return out.toStdString();
}

} // namespace

std::string redactedText(EntryPoint entry, std::size_t index, std::string text)
{
    const std::vector<std::string> &names = shape(entry).names;
    const std::string name = index < names.size() ? names[index] : std::string();
    switch (entry) {
    case EntryPoint::IdReadCard:
    case EntryPoint::SdtReadCard:
        return name == "record" ? redactedRecord(text, identityRecordField) : text;
    case EntryPoint::SsseReadCard:
        return name == "record" ? redactedRecord(text, socialSecurityRecordField) : text;
    case EntryPoint::IccGetCardInfo:
        return name == "cardData" ? redactedCardInfo(text) : text;
    case EntryPoint::MagRead:
    case EntryPoint::MagWrite:
        if (name.rfind("track", 0) == 0)
            return redactedBytes(Personal::CardNumber, QByteArray::fromStdString(text),
                                 TextEncoding::Utf8)
                .toStdString();
        return text;
    default:
        return text;
    }
}

namespace {

// Reads one line from left to right; every method consumes only on success.
class Cursor
{
public:
    explicit Cursor(std::string_view text) : m_text(text) {}

    bool atEnd() const { return m_at == m_text.size(); }
    std::size_t at() const { return m_at; }
    std::string_view rest() const { return m_text.substr(m_at); }

    bool eat(std::string_view literal)
    {
        if (m_text.substr(m_at, literal.size()) != literal)
            return false;
        m_at += literal.size();
        return true;
    }

    // A decimal integer as std::to_string writes it: no '+', no leading
    // zeros, no "-0", within 64 bits.
    bool integer(int64_t &value)
    {
        std::size_t at = m_at;
        const bool negative = at < m_text.size() && m_text[at] == '-';
        at += negative ? 1 : 0;
        const std::size_t first = at;
        uint64_t magnitude = 0;
        while (at < m_text.size() && m_text[at] >= '0' && m_text[at] <= '9') {
            if (__builtin_mul_overflow(magnitude, 10u, &magnitude)
                || __builtin_add_overflow(magnitude, static_cast<unsigned>(m_text[at] - '0'),
                                          &magnitude))
                return false;
            ++at;
        }
        const std::size_t digits = at - first;
        if (digits == 0 || (digits > 1 && m_text[first] == '0') || (negative && magnitude == 0))
            return false;
        const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
        if (magnitude > limit)
            return false;
        value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
        m_at = at;
        return true;
    }

    bool size(std::size_t &value)
    {
        int64_t number = 0;
        const std::size_t start = m_at;
        if (!integer(number) || number < 0) {
            m_at = start;
            return false;
        }
        value = static_cast<std::size_t>(number);
        return true;
    }

    // A quoted text as appendText writes it, decoded into bytes.
    bool text(std::string &bytes)
    {
        std::size_t at = m_at;
        if (at >= m_text.size() || m_text[at] != '"')
            return false;
        ++at;
        std::string out;
        while (at < m_text.size() && m_text[at] != '"') {
            const auto c = static_cast<unsigned char>(m_text[at]);
            if (c == '\\') {
                int high = 0;
                int low = 0;
                if (at + 3 >= m_text.size() || m_text[at + 1] != 'x'
                    || (high = hexDigit(m_text[at + 2])) < 0
                    || (low = hexDigit(m_text[at + 3])) < 0)
                    return false;
                out += static_cast<char>(high << 4 | low);
                at += 4;
            } else if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
                ++at;
            } else {
                const std::size_t length =
                    c >= 0x80 ? utf8Length(
                                    reinterpret_cast<const unsigned char *>(m_text.data() + at),
                                    m_text.size() - at)
                              : 0;
                if (length == 0)
                    return false;
                out.append(m_text.data() + at, length);
                at += length;
            }
        }
        if (at >= m_text.size())
            return false;
        bytes = std::move(out);
        m_at = at + 1;
        return true;
    }

    // Exactly count bytes in upper-case hexadecimal.
    bool hex(std::string &bytes, std::size_t count)
    {
        if (m_text.size() - m_at < 2 * count)
            return false;
        std::string out(count, '\0');
        for (std::size_t i = 0; i < count; ++i) {
            const int high = hexDigit(m_text[m_at + 2 * i]);
            const int low = hexDigit(m_text[m_at + 2 * i + 1]);
            if (high < 0 || low < 0)
                return false;
            out[i] = static_cast<char>(high << 4 | low);
        }
        bytes = std::move(out);
        m_at += 2 * count;
        return true;
    }

private:
    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

bool isTimestamp(std::string_view text)
{
    static constexpr std::string_view pattern = "0000-00-00T00:00:00.000000Z";
    if (text.size() < pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '0' ? !digit : text[i] != pattern[i])
            return false;
    }
    return true;
}

// "[shown of count]=HEX" or "[shown]=HEX" after a byte argument's name,
// shown being the count limited to 0..limit.
bool byteArgument(Cursor &c, std::string &bytes, int64_t &count, int64_t limit)
{
    std::size_t shown = 0;
    if (!c.eat("[") || !c.size(shown))
        return false;
    count = static_cast<int64_t>(shown);
    if (c.eat(" of ") && (!c.integer(count) || count == static_cast<int64_t>(shown)))
        return false;
    return c.eat("]=") && static_cast<int64_t>(shown) == std::clamp<int64_t>(count, 0, limit)
           && c.hex(bytes, shown);
}

std::string describe(std::size_t at, std::string_view what)
{
    return std::string(what) + " at column " + std::to_string(at + 1);
}

std::string describe(const Cursor &c, std::string_view what)
{
    return describe(c.at(), what);
}

Line parseCall(std::string_view text)
{
    Line line;
    line.kind = LineKind::Malformed;
    std::size_t open = text.find('(');
    const std::string_view name = text.substr(0, open);
    Call &call = line.call;
    if (open == std::string_view::npos || !entryByName(name, call.entry)) {
        line.error = "not a call of an entry point";
        return line;
    }
    const Shape &s = shape(call.entry);
    Cursor c(text);
    c.eat(name);
    c.eat("(");
    const std::size_t inputsStart = c.at();
    // The buffer sizes given, by parameter; SIZE_MAX for a null buffer.
    std::vector<std::size_t> sizes(s.params.size(), 0);
    bool first = true;
    for (std::size_t i = 0; i < s.params.size(); ++i) {
        const Param p = s.params[i];
        if (p == Param::OutCount)
            continue;
        if ((!first && !c.eat(", ")) || !c.eat(s.names[i])) {
            line.error = describe(c, "expected the argument " + s.names[i]);
            return line;
        }
        const std::size_t start = c.at() - s.names[i].size();
        first = false;
        bool valid = false;
        int64_t number = 0;
        std::string bytes;
        switch (p) {
        case Param::Number:
            valid = c.eat("=") && c.integer(number);
            break;
        case Param::InText:
            valid = c.eat("=null") || (c.eat("=") && c.text(bytes));
            break;
        case Param::InBytes:
            valid = c.eat("=null") || byteArgument(c, bytes, number, mostBytes);
            break;
        case Param::OutText:
        case Param::OutBytes:
            if (c.eat("=null")) {
                sizes[i] = SIZE_MAX;
                valid = true;
            } else {
                valid = c.eat("[") && c.size(sizes[i]) && c.eat("]")
                        && sizes[i] <= std::size_t(1) << 30;
            }
            break;
        case Param::OutCount:
            break;
        }
        if (!valid) {
            line.error = describe(start, "malformed argument " + s.names[i]);
            return line;
        }
    }
    const std::size_t inputsEnd = c.at();
    if (!c.eat(")")) {
        line.error = describe(c, "expected ')'");
        return line;
    }
    call.inputs = std::string(text.substr(inputsStart, inputsEnd - inputsStart));

    const bool hasOutputs = std::any_of(s.params.begin(), s.params.end(), isOutput);
    if (c.eat(" not exported by the real library")) {
        call.forwarded = Forwarded::NotExported;
    } else if (c.eat(" not forwarded, no real library")) {
        call.forwarded = Forwarded::NoLibrary;
    } else if (hasOutputs) {
        if (!c.eat(" -> ")) {
            line.error = describe(c, "expected the outputs after ' -> '");
            return line;
        }
        first = true;
        for (std::size_t i = 0; i < s.params.size(); ++i) {
            const Param p = s.params[i];
            if (!isOutput(p))
                continue;
            if ((!first && !c.eat(", ")) || !c.eat(s.names[i])) {
                line.error = describe(c, "expected the output " + s.names[i]);
                return line;
            }
            const std::size_t start = c.at() - s.names[i].size();
            first = false;
            Output out;
            out.kind = p;
            out.size = p == Param::OutCount ? 0 : sizes[i];
            bool valid = false;
            if (c.eat("=null")) {
                out.null = true;
                valid = p == Param::OutCount || sizes[i] == SIZE_MAX;
            } else if (p == Param::OutCount) {
                valid = c.eat("=") && c.integer(out.count);
                // The count of the byte buffer just before, as it was written.
                if (valid && !call.outputs.empty() && call.outputs.back().kind == Param::OutBytes
                    && !call.outputs.back().null)
                    valid = call.outputs.back().count == out.count;
            } else if (sizes[i] == SIZE_MAX) {
                valid = false;
            } else if (p == Param::OutText) {
                valid = c.eat("=") && c.text(out.bytes);
                if (valid && c.eat(" (no zero byte in ")) {
                    std::size_t size = 0;
                    out.terminated = false;
                    valid = c.size(size) && c.eat(")") && size == out.size;
                }
                valid =
                    valid
                    && (out.terminated ? out.bytes.size() < out.size : out.bytes.size() == out.size)
                    && out.bytes.find('\0') == std::string::npos;
            } else {
                valid = byteArgument(c, out.bytes, out.count, static_cast<int64_t>(out.size));
            }
            if (!valid) {
                line.error = describe(start, "malformed output " + s.names[i]);
                return line;
            }
            call.outputs.push_back(std::move(out));
        }
    }
    int64_t microseconds = -1;
    if (!c.eat("; result ") || !c.integer(call.result) || !c.eat("; ") || !c.integer(microseconds)
        || microseconds < 0 || !c.eat(" us") || !c.atEnd()) {
        line.error = describe(c, "expected '; result R; D us' to end the line");
        return line;
    }
    call.microseconds = microseconds;
    line.kind = LineKind::Call;
    return line;
}

} // namespace

Line parseLine(std::string_view text, LineKind previous)
{
    Line line;
    const std::string header = std::string(formatName) + ' ';
    if (text.substr(0, header.size()) == header) {
        Cursor c(text.substr(header.size()));
        int64_t version = 0;
        if (!c.integer(version) || version < 0 || version > 1000000 || !(c.atEnd() || c.eat(" "))) {
            line.error = "malformed header";
            return line;
        }
        line.kind = LineKind::Header;
        line.version = static_cast<int>(version);
        if (version == formatVersion) {
            line.redacted = c.eat("redacted");
            if (!c.atEnd()) {
                line.kind = LineKind::Malformed;
                line.error = "malformed header";
            }
        }
        return line;
    }
    if (text.substr(0, 2) == "  ") {
        if (previous == LineKind::Summary || previous == LineKind::SummaryItem)
            line.kind = LineKind::SummaryItem;
        else
            line.error = "an indented line outside a summary";
        return line;
    }
    if (!isTimestamp(text) || text.size() < 29 || text[27] != ' ') {
        line.error = "does not start with a time";
        return line;
    }
    const std::string_view rest = text.substr(28);
    if (rest.substr(0, 12) == "reader-spy: ") {
        line.kind = LineKind::Note;
        return line;
    }
    if (rest == "summary") {
        line.kind = LineKind::Summary;
        return line;
    }
    Line call = parseCall(rest);
    if (call.kind == LineKind::Malformed && call.error.find("column") != std::string::npos) {
        // Columns counted in the whole line.
        const std::size_t at = call.error.rfind("column ") + 7;
        const std::size_t column = std::stoul(call.error.substr(at)) + 28;
        call.error = call.error.substr(0, at) + std::to_string(column);
    }
    return call;
}

Reader::Reader(std::function<std::size_t(char *, std::size_t)> read)
    : m_read(std::move(read)), m_buffer(64 * 1024)
{
}

Reader::Next Reader::fail(std::string message)
{
    m_state = Next::Error;
    m_error = "line " + std::to_string(m_lineNumber) + ": " + message;
    return m_state;
}

bool Reader::readLine(std::string &line)
{
    line.clear();
    for (;;) {
        const char *begin = m_buffer.data() + m_start;
        const auto *newline = static_cast<const char *>(std::memchr(begin, '\n', m_end - m_start));
        const std::size_t take =
            newline ? static_cast<std::size_t>(newline - begin) : m_end - m_start;
        if (line.size() + take > maxLineLength) {
            m_start = m_end = 0;
            line.assign(maxLineLength + 1, ' ');
            return true;
        }
        line.append(begin, take);
        if (newline) {
            m_start += take + 1;
            return true;
        }
        m_start = m_end = 0;
        if (m_eof)
            return !line.empty();
        m_end = m_read(m_buffer.data(), m_buffer.size());
        m_eof = m_end == 0;
    }
}

Reader::Next Reader::next(Call &call)
{
    if (m_state != Next::Call)
        return m_state;
    std::string text;
    while (readLine(text)) {
        ++m_lineNumber;
        if (text.size() > maxLineLength)
            return fail("longer than " + std::to_string(maxLineLength) + " bytes");
        Line line = parseLine(text, m_previous);
        if (m_lineNumber == 1 && line.kind != LineKind::Header) {
            std::string found;
            appendText(found, text.data(), std::min<std::size_t>(text.size(), 40));
            return fail("not a trace: the first line must name the format, \"" + headerLine(false)
                        + "\", but reads " + found);
        }
        switch (line.kind) {
        case LineKind::Malformed:
            return fail(line.error);
        case LineKind::Header:
            if (line.version != formatVersion)
                return fail("a trace of " + std::string(formatName) + " version "
                            + std::to_string(line.version) + "; only version "
                            + std::to_string(formatVersion) + " can be replayed");
            m_redacted = line.redacted;
            break;
        case LineKind::Call:
            call = std::move(line.call);
            call.redacted = m_redacted;
            call.line = m_lineNumber;
            m_previous = LineKind::Call;
            return Next::Call;
        default:
            break;
        }
        m_previous = line.kind;
    }
    if (m_lineNumber == 0) {
        m_state = Next::Error;
        m_error = "the trace is empty";
        return m_state;
    }
    m_state = Next::End;
    return m_state;
}

} // namespace trace
