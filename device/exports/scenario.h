// Fault scenarios of the simulated reader, chosen by words in OpenDevice's
// extended parameter, so that an integrator can watch a failing reader
// without restarting the program. Every export but OpenDevice, CloseDevice
// and the conversions passes through run(); the scenarios live here alone.
#pragma once

#include "entrypoints.h"
#include "errors.h"

#include <tuple>

namespace device::scenario {

enum class Operation {
#define SCENARIO_OPERATION(name, params, args) name,
    COMMON_INTERFACE_ENTRY_POINTS(SCENARIO_OPERATION, COMMON_INTERFACE_IGNORE_UNCALLED)
#undef SCENARIO_OPERATION
};

// What an operation reaches: nothing (opening, closing, the conversions, which
// no scenario touches), the reader itself, its security module, a PSAM, the QR
// scanner, or one kind of card.
enum class Target {
    None,
    Reader,
    SecurityModule,
    Psam,
    Qr,
    Identity,
    Bank,
    SocialSecurity,
    M1,
    Magstripe,
    CpuCard,
};

// Replaces the active scenarios with those named in the extended parameter:
// words separated by spaces or commas, any case. Answers UnknownScenario and
// changes nothing when a word is not a scenario; an empty text means none.
Code select(const char *extendPara);

// No scenario, as after an empty extended parameter.
void clear();

// Answers the scenario's code for an operation about to run, after waiting
// the time a slow reader takes; Ok lets the operation run.
Code before(Operation operation, Target target);

// Notes the result of an operation that ran (a card leaves after a read).
void after(Operation operation, Target target, int64_t result);

// With "slow", waits as a swipe or scan does until its timeout (in seconds).
void awaitPresentation(unsigned char timeoutSeconds);

Target targetOf(Operation operation);
Target cpuTarget(unsigned char slot);

// Whether the reader is open; the scenarios apply to an open reader only.
bool applies();

// Writes the meaning of a scenario's code where the operation reports its
// failures in words as well.
void explain(char *errorText, int64_t code);

template <Operation operation, typename Call, typename... Args>
int64_t run(Call call, std::tuple<Args...> args)
{
    if (!applies())
        return call();
    Target target = targetOf(operation);
    if constexpr (operation == Operation::CpuPowerOn || operation == Operation::CpuApdu
                  || operation == Operation::CpuPowerOff)
        target = cpuTarget(std::get<0>(args));
    const Code code = before(operation, target);
    if (code != Ok) {
        if constexpr (operation == Operation::SsseReadCard)
            explain(std::get<2>(args), code);
        return code;
    }
    const int64_t result = call();
    after(operation, target, result);
    return result;
}

} // namespace device::scenario
