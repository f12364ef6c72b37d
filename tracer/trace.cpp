#include "trace.h"

#include "traceformat.h"

#include <dlfcn.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace tracer {
namespace {

struct Counts
{
    int64_t calls = 0;
    int64_t errors = 0;
    int64_t totalMicroseconds = 0;
    int64_t longestMicroseconds = 0;
};

// Never destroyed: a call made while the process exits is still traced.
struct State
{
    std::mutex mutex;
    std::FILE *log = stderr;
    std::once_flag opened;
    std::array<void *, entryPointCount> entries{};
    bool available = false;
    std::array<Counts, entryPointCount> counts{};
    bool headerWritten = false;
};

State &state()
{
    static State *const instance = new State;
    return *instance;
}

void writeLine(State &s, const std::string &line)
{
    // Whatever is written first, the trace starts with its header.
    if (!s.headerWritten) {
        s.headerWritten = true;
        writeLine(s, trace::headerLine(redacting()));
    }
    std::fwrite(line.data(), 1, line.size(), s.log);
    std::fputc('\n', s.log);
    // Flushed per line, so the trace up to a crash of the program survives it.
    std::fflush(s.log);
}

// Why the real library cannot be used, or an empty text when it can.
std::string openRealLibrary(State &s)
{
    const char *path = std::getenv("READER_SPY_LIBRARY");
    if (!path || !*path)
        return "READER_SPY_LIBRARY is not set";
    if (path[0] != '/')
        return std::string("READER_SPY_LIBRARY is not an absolute path: ") + path;
    void *library = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    if (!library) {
        const char *error = dlerror();
        return std::string("cannot open READER_SPY_LIBRARY: ") + (error ? error : path);
    }
    // The tracer in front of itself would call itself forever. Its own
    // address is taken from a hidden function, which no other library can
    // interpose.
    Dl_info own{};
    Dl_info real{};
    std::array<void *, entryPointCount> entries{};
    for (int i = 0; i < entryPointCount; ++i) {
        entries[i] = dlsym(library, entryName(static_cast<EntryPoint>(i)));
        if (entries[i] && dladdr(entries[i], &real)
            && dladdr(reinterpret_cast<void *>(&openRealLibrary), &own)
            && real.dli_fbase == own.dli_fbase)
            return std::string("READER_SPY_LIBRARY is the tracing library itself: ") + path;
    }
    s.entries = entries;
    s.available = true;
    return {};
}

void openOnce(State &s)
{
    std::call_once(s.opened, [&s] {
        if (const char *logPath = std::getenv("READER_SPY_LOG"); logPath && *logPath) {
            if (std::FILE *file = std::fopen(logPath, "ae"))
                s.log = file;
            else
                std::fprintf(
                    stderr,
                    "reader-spy: cannot open READER_SPY_LOG %s, tracing to standard error\n",
                    logPath);
        }
        const std::string problem = openRealLibrary(s);
        if (!problem.empty()) {
            const std::lock_guard<std::mutex> lock(s.mutex);
            writeLine(s, timestamp() + " reader-spy: " + problem + "; every call answers "
                             + std::to_string(LibraryUnavailable));
        }
    });
}

bool isError(EntryPoint entry, int64_t result)
{
    // OpenDevice answers a positive device handle on success.
    return entry == EntryPoint::OpenDevice ? result <= 0 : result != 0;
}

__attribute__((destructor)) void writeSummary()
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    Counts all;
    std::string text = timestamp() + " summary";
    for (int i = 0; i < entryPointCount; ++i) {
        const Counts &c = s.counts[i];
        if (c.calls == 0)
            continue;
        text += "\n  " + std::string(entryName(static_cast<EntryPoint>(i))) + ": calls "
                + std::to_string(c.calls) + ", errors " + std::to_string(c.errors) + ", total "
                + std::to_string(c.totalMicroseconds) + " us, longest "
                + std::to_string(c.longestMicroseconds) + " us";
        all.calls += c.calls;
        all.errors += c.errors;
        all.totalMicroseconds += c.totalMicroseconds;
    }
    text += "\n  all: calls " + std::to_string(all.calls) + ", errors " + std::to_string(all.errors)
            + ", total " + std::to_string(all.totalMicroseconds) + " us";
    writeLine(s, text);
}

} // namespace

void *realEntry(EntryPoint entry, Outcome &outcome)
{
    State &s = state();
    openOnce(s);
    if (!s.available) {
        outcome = Outcome::Unavailable;
        return nullptr;
    }
    void *function = s.entries[static_cast<int>(entry)];
    outcome = function ? Outcome::Called : Outcome::Missing;
    return function;
}

void record(EntryPoint entry, const std::string &line, int64_t result, Outcome outcome,
            int64_t microseconds)
{
    State &s = state();
    const std::lock_guard<std::mutex> lock(s.mutex);
    Counts &c = s.counts[static_cast<int>(entry)];
    ++c.calls;
    if (outcome != Outcome::Called || isError(entry, result))
        ++c.errors;
    c.totalMicroseconds += microseconds;
    if (microseconds > c.longestMicroseconds)
        c.longestMicroseconds = microseconds;
    writeLine(s, line);
}

std::string timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%06lldZ",
                  static_cast<long long>(micros % 1000000));
    return text;
}

bool redacting()
{
    static const bool redact = [] {
        const char *setting = std::getenv("READER_SPY_REDACT");
        return !setting || std::strcmp(setting, "0") != 0;
    }();
    return redact;
}

const char *entryName(EntryPoint entry)
{
    static const char *const names[] = {
#define TRACER_NAME(name) #name,
#define TRACER_NAME_CALLED(name, params, args) TRACER_NAME(name)
        COMMON_INTERFACE_ENTRY_POINTS(TRACER_NAME_CALLED, TRACER_NAME)
#undef TRACER_NAME_CALLED
#undef TRACER_NAME
    };
    return names[static_cast<int>(entry)];
}

} // namespace tracer
