// The tracing libCommonInterface.so: shared state behind its 78 exports.
//
// The exports (exports.cpp) are generated from the entry-point list. Each one
// asks realEntry() for the same name in the library that READER_SPY_LIBRARY
// names, forwards the call unchanged, and hands the finished trace line to
// record(). The trace goes to the file READER_SPY_LOG names, or to standard
// error, after a first line naming the trace format (traceformat.h) and
// whether personal data was replaced; a summary per entry point is written when the library is
// unloaded (at process exit for the program, which never unloads it).
#pragma once

#include "loader.h"

#include <cstdint>
#include <string>

namespace tracer {

// Answered, without calling anything, when READER_SPY_LIBRARY is unset, not
// an absolute path, cannot be opened, or names the tracing library itself.
constexpr int64_t LibraryUnavailable = -9901;
// Answered, without calling anything, for a name the real library does not
// export.
constexpr int64_t EntryPointMissing = -9902;

enum class Outcome { Called, Missing, Unavailable };

// The real library's entry point, or null with why it cannot be called. The
// real library is opened on the first call.
void *realEntry(EntryPoint entry, Outcome &outcome);

// Writes one trace line and counts the call for the summary.
void record(EntryPoint entry, const std::string &line, int64_t result, Outcome outcome,
            int64_t microseconds);

// "2026-01-31T08:15:42.123456Z": wall-clock time in UTC.
std::string timestamp();

// The exported name of an entry point.
const char *entryName(EntryPoint entry);

// Whether personal data is replaced by placeholders: unless READER_SPY_REDACT
// is 0.
bool redacting();

} // namespace tracer
