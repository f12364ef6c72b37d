// The replaying libCommonInterface.so: shared state behind its 78 exports.
//
// The exports (exports.cpp) are generated from the entry-point list. Each one
// writes its inputs as the tracer does and asks take() for the traced call
// that answers them: the next call of the trace named by READER_REPLAY_TRACE
// in strict mode (READER_REPLAY_MODE=strict, the default), or the next traced
// call of the same entry point in lenient mode. The trace is read as the calls
// come, line by line, so its size does not matter.
#pragma once

#include "traceformat.h"

#include <cstdint>
#include <functional>
#include <string>

namespace replay {

// Answered, without calling anything, when READER_REPLAY_TRACE is unset or
// cannot be read, READER_REPLAY_MODE is neither strict nor lenient, or the
// trace is not one this library reads (another format or version, a malformed
// line); one line on standard error says why and where.
constexpr int64_t TraceUnusable = -9910;
// Answered, without calling anything, for a call the trace cannot answer:
// another entry point or other inputs than the traced call, or a trace used
// up. One line on standard error names the expected call and the actual one.
constexpr int64_t CallNotInTrace = -9911;

// How many traced calls lenient mode holds back, per entry point, while it
// looks for another entry point's call further on; and how many bytes of
// them in all.
constexpr std::size_t lookAheadCalls = 1024;
constexpr std::size_t lookAheadBytes = 64u << 20;

// The traced call that answers a call of entry, taken from the trace; false
// with the code to answer when there is none. inputs(redacted) writes the
// call's inputs as the tracer did, with personal data replaced or not.
bool take(EntryPoint entry, const std::function<std::string(bool redacted)> &inputs,
          trace::Call &call, int64_t &code);

// Whether READER_REPLAY_TIMING=1 asks every call to take its traced time.
bool timing();

} // namespace replay
