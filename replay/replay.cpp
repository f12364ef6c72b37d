#include "replay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace replay {
namespace {

enum class Mode { Strict, Lenient };

// Never destroyed: a call made while the process exits is still answered.
struct State
{
    std::mutex mutex;
    std::once_flag opened;
    std::FILE *file = nullptr;
    std::string path;
    Mode mode = Mode::Strict;
    trace::Reader *reader = nullptr;
    bool unusable = false;
    // Calls read but not yet answered, in trace order: at most one in strict
    // mode, the look-ahead in lenient mode.
    std::deque<trace::Call> pending;
    std::size_t pendingPerEntry[entryPointCount] = {};
    std::size_t pendingBytes = 0;
    int64_t answered = 0;
    // Whether the calls read last were redacted: a call with nothing to be
    // compared with is written the same way in a message.
    bool redacted = false;
};

State &state()
{
    static State *const instance = new State;
    return *instance;
}

void say(const std::string &message)
{
    std::fprintf(stderr, "reader-replay: %s\n", message.c_str());
    std::fflush(stderr);
}

void unusable(State &s, const std::string &why)
{
    s.unusable = true;
    say(why + "; every call answers " + std::to_string(TraceUnusable));
}

void open(State &s)
{
    const char *mode = std::getenv("READER_REPLAY_MODE");
    if (mode && *mode && std::strcmp(mode, "strict") != 0) {
        if (std::strcmp(mode, "lenient") != 0)
            return unusable(s, std::string("READER_REPLAY_MODE is ") + mode
                                   + ", not strict or lenient");
        s.mode = Mode::Lenient;
    }
    const char *path = std::getenv("READER_REPLAY_TRACE");
    if (!path || !*path)
        return unusable(s, "READER_REPLAY_TRACE is not set");
    s.path = path;
    s.file = std::fopen(path, "rbe");
    if (!s.file)
        return unusable(s,
                        "cannot read READER_REPLAY_TRACE " + s.path + ": " + std::strerror(errno));
    std::FILE *file = s.file;
    s.reader = new trace::Reader(
        [file](char *buffer, std::size_t size) { return std::fread(buffer, 1, size, file); });
}

std::size_t weight(const trace::Call &call)
{
    std::size_t bytes = sizeof call + call.inputs.size();
    for (const trace::Output &out : call.outputs)
        bytes += sizeof out + out.bytes.size();
    return bytes;
}

// Reads the next call into pending; false at the end of the trace or when it
// turns out unusable.
bool readAhead(State &s)
{
    trace::Call call;
    switch (s.reader->next(call)) {
    case trace::Reader::Next::Call:
        s.redacted = call.redacted;
        ++s.pendingPerEntry[static_cast<int>(call.entry)];
        s.pendingBytes += weight(call);
        s.pending.push_back(std::move(call));
        return true;
    case trace::Reader::Next::Error:
        unusable(s, s.path + " " + s.reader->error());
        return false;
    case trace::Reader::Next::End:
        return false;
    }
    return false;
}

std::string written(EntryPoint entry, const std::string &inputs)
{
    return std::string(trace::shape(entry).name) + '(' + inputs + ')';
}

std::string traced(const trace::Call &call)
{
    return written(call.entry, call.inputs) + " (line " + std::to_string(call.line) + ")";
}

bool mismatch(const std::string &expected, const std::string &actual, int64_t &code)
{
    say("expected " + expected + ", got " + actual + "; answered "
        + std::to_string(CallNotInTrace));
    code = CallNotInTrace;
    return false;
}

// Answers with the pending call at index when its inputs are the actual ones.
bool answer(State &s, std::size_t index, EntryPoint entry,
            const std::function<std::string(bool)> &inputs, trace::Call &call, int64_t &code)
{
    trace::Call &candidate = s.pending[index];
    const std::string actual = inputs(candidate.redacted);
    if (candidate.entry != entry || candidate.inputs != actual)
        return mismatch(traced(candidate), written(entry, actual), code);
    --s.pendingPerEntry[static_cast<int>(entry)];
    s.pendingBytes -= weight(candidate);
    call = std::move(candidate);
    s.pending.erase(s.pending.begin() + static_cast<std::ptrdiff_t>(index));
    ++s.answered;
    return true;
}

std::string usedUp(const State &s)
{
    return " (the trace is used up, " + std::to_string(s.answered) + " answered)";
}

} // namespace

bool take(EntryPoint entry, const std::function<std::string(bool)> &inputs, trace::Call &call,
          int64_t &code)
{
    State &s = state();
    std::call_once(s.opened, [&s] { open(s); });
    const std::lock_guard<std::mutex> lock(s.mutex);
    code = TraceUnusable;
    if (s.unusable)
        return false;

    if (s.mode == Mode::Strict) {
        if (s.pending.empty() && !readAhead(s))
            return s.unusable ? false
                              : mismatch("no further call" + usedUp(s),
                                         written(entry, inputs(s.redacted)), code);
        return answer(s, 0, entry, inputs, call, code);
    }

    // Lenient: the first pending call of this entry point, reading further
    // on while the look-ahead allows.
    for (std::size_t i = 0;; ++i) {
        if (i == s.pending.size()) {
            const bool full =
                s.pendingBytes >= lookAheadBytes
                || std::any_of(std::begin(s.pendingPerEntry), std::end(s.pendingPerEntry),
                               [](std::size_t n) { return n >= lookAheadCalls; });
            if (full)
                return mismatch("a call of " + std::string(trace::shape(entry).name)
                                    + " within the look-ahead of " + std::to_string(lookAheadCalls)
                                    + " calls per entry point, which is full",
                                written(entry, inputs(s.redacted)), code);
            if (!readAhead(s))
                return s.unusable
                           ? false
                           : mismatch("no further call of " + std::string(trace::shape(entry).name)
                                          + " (none left in the trace; "
                                          + std::to_string(s.answered) + " answered, "
                                          + std::to_string(s.pending.size())
                                          + " waiting for other entry points)",
                                      written(entry, inputs(s.redacted)), code);
        }
        if (s.pending[i].entry == entry)
            return answer(s, i, entry, inputs, call, code);
    }
}

bool timing()
{
    static const bool wait = [] {
        const char *setting = std::getenv("READER_REPLAY_TIMING");
        return setting && std::strcmp(setting, "1") == 0;
    }();
    return wait;
}

} // namespace replay
