// The trace file: what the tracing library writes and the replaying library
// reads back. Everything here is pure (no I/O, no state) except Reader, which
// pulls lines from a source it is given.
//
// A trace is UTF-8 text, one line per event:
//
//   reader-trace 1 redacted                      the format and its version
//   <time> Name(inputs) -> outputs; result R; D us    one call
//   <time> reader-spy: ...                       a note from the tracer
//   <time> summary                               the summary, followed by
//     Name: calls ...                            lines indented by two spaces
//
// The arguments of a call are written by kind of parameter (see Param); the
// README's section on tracing shows one example of each.
#pragma once

#include "loader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

constexpr std::string_view formatName = "reader-trace";
constexpr int formatVersion = 1;

// The first line of a trace; "redacted" when personal data was replaced.
std::string headerLine(bool redacted);

// Most bytes traced for one input or converted byte buffer: the program's
// largest byte buffer (an APDU command or response).
constexpr int64_t mostBytes = 1024;

// A parameter by its declared type.
enum class Param {
    Number,   // any integer passed by value
    InText,   // const char *: a text up to its zero byte
    InBytes,  // const unsigned char *: bytes of the length the contract gives
    OutText,  // char *: a text buffer the library fills
    OutBytes, // unsigned char *: a byte buffer the library fills
    OutCount, // int64_t *: the count of the byte buffer before it
};

inline bool isOutput(Param p)
{
    return p == Param::OutText || p == Param::OutBytes || p == Param::OutCount;
}

// The names and kinds of an entry point's parameters, from the entry-point
// list. The names the program never calls have none.
struct Shape
{
    const char *name;
    std::vector<std::string> names;
    std::vector<Param> params;
};
const Shape &shape(EntryPoint entry);
// False for a name that is not an entry point.
bool entryByName(std::string_view name, EntryPoint &entry);

// Size of every output buffer of an operation as the program allocates it
// (all outputs of one operation have the same size); HexToAsc's text buffer
// is sized by the count passed (textSizeForCount).
std::size_t outputSize(EntryPoint entry);
inline std::size_t textSizeForCount(int64_t count)
{
    return static_cast<std::size_t>(2
                                        * (count < 0           ? 0
                                           : count > mostBytes ? mostBytes
                                                               : count)
                                    + 1);
}

// Texts in double quotes: printable ASCII and valid UTF-8 as they are,
// quotes, backslashes and every other byte escaped as \xNN, so a line stays
// one line. A text that is not valid UTF-8 as a whole is escaped whole.
void appendText(std::string &out, const char *bytes, std::size_t length);
// Bytes in upper-case hexadecimal.
void appendHex(std::string &out, const unsigned char *bytes, std::size_t length);

// The text argument at parameter index of entry with the person's data in it
// replaced by placeholders of the same bytes (see personaldata.h); any other
// argument as it is.
std::string redactedText(EntryPoint entry, std::size_t index, std::string text);

// One traced argument the library wrote (an output).
struct Output
{
    Param kind = Param::OutText;
    bool null = false;
    std::string bytes;      // the text or the bytes within the buffer
    bool terminated = true; // a text followed by a zero byte within the buffer
    int64_t count = 0;      // an OutCount's value, or an OutBytes' count as returned
    std::size_t size = 0;   // the buffer's size (OutText, OutBytes)
};

enum class Forwarded { Yes, NotExported, NoLibrary };

struct Call
{
    EntryPoint entry = EntryPoint::OpenDevice;
    std::string inputs;          // between the parentheses, exactly as written
    std::vector<Output> outputs; // every output parameter in order, or none when not forwarded
    Forwarded forwarded = Forwarded::Yes;
    int64_t result = 0;
    int64_t microseconds = 0;
    bool redacted = false; // from the header the call follows
    int64_t line = 0;      // its line number in the trace, from 1
};

enum class LineKind { Header, Call, Note, Summary, SummaryItem, Malformed };

struct Line
{
    LineKind kind = LineKind::Malformed;
    Call call;             // Call
    int version = 0;       // Header
    bool redacted = false; // Header
    std::string error;     // Malformed: what is wrong
};

// One line without its line feed. previous is the kind of the line before
// (Header for the first), since summary items only follow a summary.
Line parseLine(std::string_view text, LineKind previous);

// The calls of a trace pulled line by line from a source, in bounded memory:
// at most one line of maxLineLength bytes at a time.
class Reader
{
public:
    static constexpr std::size_t maxLineLength = 1 << 20;

    // read(buffer, capacity) fills at most capacity bytes and returns how
    // many; 0 at the end.
    explicit Reader(std::function<std::size_t(char *, std::size_t)> read);

    enum class Next { Call, End, Error };
    // The next call; Error with error() naming the line for a malformed
    // line, a line too long, another format or version, or a trace that
    // does not start with its header. After End or Error it stays there.
    Next next(Call &call);
    const std::string &error() const { return m_error; }
    // The number of the last line read.
    int64_t lineNumber() const { return m_lineNumber; }

private:
    bool readLine(std::string &line);
    Next fail(std::string message);

    std::function<std::size_t(char *, std::size_t)> m_read;
    std::vector<char> m_buffer;
    std::size_t m_start = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    int64_t m_lineNumber = 0;
    LineKind m_previous = LineKind::Header;
    bool m_redacted = false;
    Next m_state = Next::Call;
    std::string m_error;
};

} // namespace trace
