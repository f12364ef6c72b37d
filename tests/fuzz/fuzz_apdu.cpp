// The simulated CPU cards' command interpreter: the input is a session of
// command APDUs, each preceded by its length (one byte; FF adds the next
// byte, for the longest short APDUs), run on the user card and on the PSAM.
// Every response must be a well-formed response APDU, and what its status
// word promises (61xx: so many bytes wait for GET RESPONSE; 6Cxx: repeat the
// command with this Le) must hold for the command that follows it.
#include "fuzzcheck.h"
#include "cardos.h"

#include <cstdint>
#include <cstring>

namespace {

using sim::Bytes;

// The number of bytes a length byte of a status word stands for.
std::size_t announced(unsigned char low)
{
    return low == 0 ? 256 : low;
}

bool isCardFile(const sim::CardFile &root, const sim::CardFile *file)
{
    if (&root == file)
        return true;
    for (const sim::CardFile &child : root.children) {
        if (isCardFile(child, file))
            return true;
    }
    return false;
}

// A response APDU: data, then SW1 SW2 from the interpreter's own list, data
// only with success or with more data waiting.
void checkForm(const Bytes &response)
{
    check(response.size() >= 2 && response.size() <= 256 + 2);
    const uint16_t sw = sim::statusWord(response);
    const unsigned char sw1 = static_cast<unsigned char>(sw >> 8);
    switch (sw) {
    case sim::SwSuccess:
    case sim::SwWrongLength:
    case sim::SwCommandNotAllowed:
    case sim::SwConditionsNotMet:
    case sim::SwNotFound:
    case sim::SwRecordNotFound:
    case sim::SwWrongP1P2:
    case sim::SwLcInconsistent:
    case sim::SwUnknownInstruction:
    case sim::SwUnknownClass:
        break;
    default:
        check(sw1 == 0x61 || sw1 == 0x6C);
    }
    if (response.size() > 2)
        check(sw == sim::SwSuccess || sw1 == 0x61);
}

void checkSession(const sim::CardSession &session, const sim::CardFile &card)
{
    check(session.mf == &card);
    check(session.currentDf && session.currentDf->dedicated && isCardFile(card, session.currentDf));
    check(!session.currentEf
          || (!session.currentEf->dedicated && isCardFile(*session.currentDf, session.currentEf)));
    check(session.heldBack.size() <= 256);
    check(session.randomState != 0);
}

Bytes run(sim::CardSession &session, const Bytes &command)
{
    Bytes response = sim::respond(session, command.data(), command.size());
    checkForm(response);
    return response;
}

void checkPromises(const sim::CardSession &after, const Bytes &command, const Bytes &response)
{
    const uint16_t sw = sim::statusWord(response);
    const unsigned char sw1 = static_cast<unsigned char>(sw >> 8);
    const unsigned char sw2 = static_cast<unsigned char>(sw & 0xFF);
    if (sw1 == 0x61) {
        // GET RESPONSE with that Le fetches exactly that many bytes.
        sim::CardSession next = after;
        const Bytes fetched = run(next, {0x00, 0xC0, 0x00, 0x00, sw2});
        const uint16_t fetchedSw = sim::statusWord(fetched);
        check(fetchedSw == sim::SwSuccess || fetchedSw >> 8 == 0x61);
        check(fetched.size() - 2 == announced(sw2));
    } else if (sw1 == 0x6C) {
        // The same command again with Le = xx gets exactly xx bytes, as a
        // T=0 terminal sends it right after the 6Cxx.
        check(command.size() >= 5);
        Bytes again = command;
        again.back() = sw2;
        sim::CardSession next = after;
        const Bytes answered = run(next, again);
        check(sim::statusWord(answered) == sim::SwSuccess);
        check(answered.size() - 2 == announced(sw2));
    }
}

void runSession(const sim::CardFile &card, const uint8_t *data, std::size_t size, uint64_t seed)
{
    sim::CardSession session = sim::startSession(card, seed);
    checkSession(session, card);
    std::size_t at = 0;
    while (at < size) {
        std::size_t length = data[at++];
        if (length == 0xFF && at < size)
            length += data[at++];
        if (length > size - at)
            length = size - at;
        const Bytes command(data + at, data + at + length);
        at += length;

        const Bytes response = run(session, command);
        checkSession(session, card);
        checkPromises(session, command, response);
        // The interpreter reads only the bytes it is given: a null command
        // of length 0 is answered too.
        if (command.empty())
            check(sim::respond(session, nullptr, 0) == response);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    uint64_t seed = 0;
    std::memcpy(&seed, data, size < sizeof seed ? size : sizeof seed);
    runSession(sim::userCard(), data, size, seed);
    runSession(sim::psamCard(), data, size, seed);
    return 0;
}
