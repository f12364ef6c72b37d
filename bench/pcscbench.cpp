// The device library's overhead on a PC/SC reader: the same APDUs through
// CpuApdu (the library loaded through the program's own loader) and through
// SCardTransmit directly, on the same card behind the same pcscd, in one run.
//
// pcscd serves the handle connected first more slowly than the one connected
// second on the same card, so the run has two halves: in the first the
// library connects first, in the second the direct handle does; each half
// alternates the two sides in rounds, and the ratio is taken over both.
// Beside the wall-clock ratio it prints the CPU time this process spent per
// APDU on each side: their difference is the library's own work, which the
// round trips through pcscd and the card hide in the ratio.
//
// Then the price of transactions: a SCardBeginTransaction/SCardEndTransaction
// pair on its own, and a bank operation and a social security read (each
// holds one transaction for all its commands) with their time per operation.
//
//   pcscbench LIBRARY READER
#include "loader.h"

#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Apdu = std::vector<unsigned char>;

const std::vector<Apdu> commands{
    {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x03, 0x33, 0x01, 0x01, 0x01, 0x00},
    {0x00, 0xB2, 0x01, 0x0C, 0x00},
    {0x00, 0xA4, 0x00, 0x0C},
    {0x00, 0xFE, 0x00, 0x00, 0x00},
};

constexpr int rounds = 10; // per half
constexpr int perRound = 50;
constexpr int operations = 50;

// Wall-clock and CPU time of this thread, in milliseconds.
struct Cost
{
    double wall = 0;
    double cpu = 0;
    Cost &operator+=(const Cost &other)
    {
        wall += other.wall;
        cpu += other.cpu;
        return *this;
    }
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

template <typename Work> Cost measure(Work work)
{
    const double cpu = threadCpuMs();
    const Clock::time_point start = Clock::now();
    work();
    return {std::chrono::duration<double, std::milli>(Clock::now() - start).count(),
            threadCpuMs() - cpu};
}

Cost throughLibrary(int count, int &failures)
{
    unsigned char response[1024];
    int64_t length = 0;
    return measure([&] {
        for (int i = 0; i < count; ++i) {
            const Apdu &command = commands[i % commands.size()];
            if (pCpuApdu(0x01, int64_t(command.size()), command.data(), response, &length) != 0)
                ++failures;
        }
    });
}

Cost direct(SCARDHANDLE card, DWORD protocol, int count, int &failures)
{
    const SCARD_IO_REQUEST *pci = protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
    unsigned char response[1024];
    return measure([&] {
        for (int i = 0; i < count; ++i) {
            const Apdu &command = commands[i % commands.size()];
            DWORD length = sizeof response;
            if (SCardTransmit(card, pci, command.data(), DWORD(command.size()), nullptr, response,
                              &length)
                != SCARD_S_SUCCESS)
                ++failures;
        }
    });
}

struct Direct
{
    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;

    bool connect(const char *reader)
    {
        return SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context)
                   == SCARD_S_SUCCESS
               && SCardConnect(context, reader, SCARD_SHARE_SHARED,
                               SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol)
                      == SCARD_S_SUCCESS;
    }
    void disconnect()
    {
        SCardDisconnect(card, SCARD_LEAVE_CARD);
        SCardReleaseContext(context);
    }
};

bool connectLibrary(const char *reader)
{
    unsigned char atr[128];
    int64_t atrLength = 0;
    return pOpenDevice("PCSC", reader, "") > 0 && pCpuPowerOn(0x01, atr, &atrLength) == 0;
}

void disconnectLibrary()
{
    pCpuPowerOff(0x01);
    pCloseDevice();
}

struct Half
{
    Cost library;
    Cost pcsc;
};

// One half of the run; libraryFirst: the library connects before the
// direct handle does.
bool runHalf(const char *reader, bool libraryFirst, Half &half, int &failures)
{
    Direct other;
    const bool connected = libraryFirst ? connectLibrary(reader) && other.connect(reader)
                                        : other.connect(reader) && connectLibrary(reader);
    if (!connected) {
        std::fprintf(stderr, "no card in a reader named %s\n", reader);
        return false;
    }
    throughLibrary(20, failures);
    direct(other.card, other.protocol, 20, failures);
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            half.library += throughLibrary(perRound, failures);
            half.pcsc += direct(other.card, other.protocol, perRound, failures);
        } else {
            half.pcsc += direct(other.card, other.protocol, perRound, failures);
            half.library += throughLibrary(perRound, failures);
        }
    }
    other.disconnect();
    disconnectLibrary();
    return true;
}

Cost transactionPairs(const char *reader, int count, int &failures)
{
    Direct other;
    if (!other.connect(reader)) {
        ++failures;
        return {};
    }
    const Cost cost = measure([&] {
        for (int i = 0; i < count; ++i) {
            if (SCardBeginTransaction(other.card) != SCARD_S_SUCCESS)
                ++failures;
            SCardEndTransaction(other.card, SCARD_LEAVE_CARD);
        }
    });
    other.disconnect();
    return cost;
}

template <typename Operation> Cost repeated(int count, int &failures, Operation operation)
{
    return measure([&] {
        for (int i = 0; i < count; ++i) {
            if (operation() != 0)
                ++failures;
        }
    });
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pcscbench LIBRARY READER\n");
        return 2;
    }
    if (!LoadCommonInterface(argv[1]) || !pOpenDevice || !pCpuApdu || !pCpuPowerOn
        || !pIccGetCardInfo || !pSsseReadCard) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    const char *reader = argv[2];

    int failures = 0;
    Half first, second;
    if (!runHalf(reader, true, first, failures) || !runHalf(reader, false, second, failures))
        return 1;
    Cost library = first.library;
    library += second.library;
    Cost pcsc = first.pcsc;
    pcsc += second.pcsc;

    const int half = rounds * perRound;
    const int count = 2 * half;
    std::printf("%d APDUs through CpuApdu:       %8.1f ms (%6.1f us each, CPU %5.2f us)\n", count,
                library.wall, library.wall * 1000 / count, library.cpu * 1000 / count);
    std::printf("%d APDUs through SCardTransmit: %8.1f ms (%6.1f us each, CPU %5.2f us)\n", count,
                pcsc.wall, pcsc.wall * 1000 / count, pcsc.cpu * 1000 / count);
    std::printf("ratio CpuApdu / SCardTransmit: %.3f (goal: at most 1.050); "
                "library connected first %.3f, second %.3f\n",
                library.wall / pcsc.wall, first.library.wall / first.pcsc.wall,
                second.library.wall / second.pcsc.wall);
    std::printf("the library's own CPU time: %.2f us per APDU\n",
                (library.cpu - pcsc.cpu) * 1000 / count);

    const Cost pairs = transactionPairs(reader, 500, failures);
    const double pairUs = pairs.wall * 1000 / 500;
    std::printf("one SCardBeginTransaction + SCardEndTransaction: %.1f us (CPU %.2f us)\n", pairUs,
                pairs.cpu * 1000 / 500);
    if (pOpenDevice("PCSC", reader, "") <= 0) {
        std::fprintf(stderr, "cannot open %s again\n", reader);
        return 1;
    }
    std::vector<char> data(4096), record(4096), error(1024);
    const Cost bank = repeated(operations, failures,
                               [&] { return pIccGetCardInfo(2, "", "ABCDIJKL", data.data()); });
    const Cost socialSecurity = repeated(
        operations, failures, [&] { return pSsseReadCard(3, record.data(), error.data(), 0); });
    pCloseDevice();
    const double bankUs = bank.wall * 1000 / operations;
    const double socialUs = socialSecurity.wall * 1000 / operations;
    std::printf("bank card data (IccGetCardInfo): %.0f us per operation; one transaction adds "
                "%.1f us (%.1f %%)\n",
                bankUs, pairUs, 100 * pairUs / bankUs);
    std::printf("social security read (SsseReadCard): %.0f us per operation; its transaction "
                "%.1f us (%.1f %%)\n",
                socialUs, pairUs, 100 * pairUs / socialUs);
    if (failures) {
        std::printf("%d exchanges failed\n", failures);
        return 1;
    }
    return 0;
}
