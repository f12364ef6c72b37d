// A trace from someone else's machine: arbitrary bytes through the streaming
// reader, fed in pieces of varying size, and every line through the line
// parser. What it accepts must be what the tracer could have written: outputs
// within their buffers, counts as returned, and written again the same way
// they parse the same; redaction keeps every text's length.
#include "fuzzcheck.h"
#include "traceformat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

void checkOutputs(const trace::Call &call)
{
    const trace::Shape &shape = trace::shape(call.entry);
    std::size_t next = 0;
    for (std::size_t i = 0; i < shape.params.size(); ++i) {
        if (!trace::isOutput(shape.params[i]) || call.forwarded != trace::Forwarded::Yes)
            continue;
        check(next < call.outputs.size());
        const trace::Output &out = call.outputs[next++];
        check(out.kind == shape.params[i]);
        if (out.null)
            continue;
        if (out.kind == trace::Param::OutText) {
            check(out.terminated ? out.bytes.size() < out.size : out.bytes.size() == out.size);
            check(out.bytes.find('\0') == std::string::npos);
            check(trace::redactedText(call.entry, i, out.bytes).size() == out.bytes.size());
            // Written again as the tracer writes it, it reads back the same.
            std::string written;
            trace::appendText(written, out.bytes.data(), out.bytes.size());
            const std::string line =
                "2026-01-01T00:00:00.000000Z QrRead(content[" + std::to_string(out.size)
                + "], timeout=1) -> content=" + written
                + (out.terminated ? std::string()
                                  : " (no zero byte in " + std::to_string(out.size) + ")")
                + "; result 0; 0 us";
            const trace::Line again = trace::parseLine(line, trace::LineKind::Call);
            check(again.kind == trace::LineKind::Call && again.call.outputs.size() == 1
                  && again.call.outputs[0].bytes == out.bytes);
        } else if (out.kind == trace::Param::OutBytes) {
            check(static_cast<int64_t>(out.bytes.size())
                  == std::clamp<int64_t>(out.count, 0, static_cast<int64_t>(out.size)));
        }
    }
    check(next == call.outputs.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);

    // Every line on its own, with the kind of the line before.
    trace::LineKind previous = trace::LineKind::Header;
    for (std::size_t start = 0; start <= size;) {
        const void *newline = std::memchr(bytes + start, '\n', size - start);
        const std::size_t end = newline ? static_cast<const char *>(newline) - bytes : size;
        const trace::Line line =
            trace::parseLine(std::string_view(bytes + start, end - start), previous);
        check(line.kind != trace::LineKind::Malformed || !line.error.empty());
        if (line.kind == trace::LineKind::Call)
            checkOutputs(line.call);
        previous = line.kind;
        start = end + 1;
    }

    // The whole trace through the reader, in pieces of 1 to 64 bytes.
    std::size_t at = 0;
    const std::size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    trace::Reader reader([&](char *buffer, std::size_t capacity) {
        const std::size_t n = std::min({capacity, piece, size - at});
        std::memcpy(buffer, bytes + at, n);
        at += n;
        return n;
    });
    trace::Call call;
    int64_t lastLine = 0;
    trace::Reader::Next next;
    while ((next = reader.next(call)) == trace::Reader::Next::Call) {
        check(call.line > lastLine);
        lastLine = call.line;
        checkOutputs(call);
    }
    check(next == trace::Reader::Next::End || !reader.error().empty());
    return 0;
}
