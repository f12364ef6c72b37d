// virtualcard: serves one simulated card to pcscd's vpcd driver, so that any
// PC/SC program sees it in the reader "Virtual PCD 00 00" (port 35963) or
// "Virtual PCD 00 01" (port 35964).
#include "bankapplication.h"
#include "simulatedcard.h"
#include "vpcdlink.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

struct CardName
{
    const char *name;
    sim::CardKind kind;
};

const CardName cardNames[] = {
    {"user", sim::CardKind::User},
    {"user-a", sim::CardKind::UserTypeA},
    {"user-b", sim::CardKind::UserTypeB},
    {"psam1", sim::CardKind::Psam1},
    {"psam2", sim::CardKind::Psam2},
    {"psam3", sim::CardKind::Psam3},
    {"m1", sim::CardKind::M1},
    {"ssse3", sim::CardKind::SocialSecurity},
    {"multi", sim::CardKind::MultiApplication},
    {"qpboc", sim::CardKind::QuickOnly},
    {"longpdol", sim::CardKind::LongPdol},
};

void printUsage(FILE *to)
{
    std::fprintf(to,
                 "Usage: virtualcard [--card KIND] [--host ADDRESS] [--port PORT]\n"
                 "Serves one simulated card to pcscd's vpcd driver until SIGTERM or SIGINT.\n"
                 "  --card KIND     user (default), user-a, user-b, psam1, psam2, psam3, m1,\n"
                 "                  ssse3 (third-generation social security card),\n"
                 "                  multi (several payment applications), qpboc (contactless,\n"
                 "                  quick flow only), longpdol (a PDOL of 130 bytes)\n"
                 "  --host ADDRESS  IPv4 address vpcd listens on (default 127.0.0.1)\n"
                 "  --port PORT     35963 for \"Virtual PCD 00 00\" (default),\n"
                 "                  35964 for \"Virtual PCD 00 01\"\n"
                 "  --print-atr     print the card's ATR as opensc-tool shows it, and exit\n"
                 "  --issuer-arpc ARQC [CODE]\n"
                 "                  play the issuer of the simulated bank card: print the\n"
                 "                  ARPC text (ARPC and response code, by default 00,\n"
                 "                  approved) that its issuer script accepts for ARQC\n"
                 "                  (16 hex digits), and exit; CODE is two characters,\n"
                 "                  e.g. 05 for a decline\n"
                 "It keeps trying to connect while vpcd is not listening and connects\n"
                 "again when pcscd closes the connection.\n");
}

// The ARPC text the simulated bank card accepts for an ARQC typed as 16
// hexadecimal digits and a response code of two characters ("00" approves);
// empty when either is not in that form.
std::string issuerArpc(const std::string &arqcText, const std::string &code)
{
    if (arqcText.size() != 16 || code.size() != 2
        || !std::isalnum(static_cast<unsigned char>(code[0]))
        || !std::isalnum(static_cast<unsigned char>(code[1])))
        return {};
    sim::Bytes arqc;
    for (std::size_t i = 0; i < arqcText.size(); i += 2) {
        char *end = nullptr;
        const std::string pair = arqcText.substr(i, 2);
        const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0' || !std::isxdigit(static_cast<unsigned char>(pair[0])))
            return {};
        arqc.push_back(static_cast<unsigned char>(value));
    }
    const sim::Bytes responseCode(code.begin(), code.end());
    std::string text;
    char digits[3];
    for (unsigned char byte : sim::simulatedArpc(arqc, responseCode)) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    for (unsigned char byte : responseCode) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// Waits up to ms milliseconds; a signal ends the wait early.
void pause(int ms)
{
    poll(nullptr, 0, ms);
}

int connectTo(const sockaddr_in &address)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool sendAll(int fd, const sim::Bytes &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR && !stopRequested)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Serves the card until the connection drops or a stop is requested.
void serve(int fd, vpcd::Link &link)
{
    unsigned char buffer[4096];
    while (!stopRequested) {
        pollfd ready{fd, POLLIN, 0};
        const int events = poll(&ready, 1, 500);
        if (events <= 0)
            continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        // vpcd writes a frame's length and its payload separately; an
        // acknowledgement held back for 40 ms would hold back the payload
        // (Nagle) and make every exchange take that long.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        if (!sendAll(fd, link.receive(buffer, static_cast<std::size_t>(n))))
            return;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *cardName = "user";
    bool printAtr = false;
    std::string host = "127.0.0.1";
    long port = 35963;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (option == "--print-atr") {
            printAtr = true;
            continue;
        }
        if (option == "--issuer-arpc" && i + 1 < argc) {
            const std::string code = i + 2 < argc ? argv[i + 2] : "00";
            const std::string arpc = issuerArpc(argv[i + 1], code);
            if (arpc.empty()) {
                std::fprintf(stderr,
                             "virtualcard: an ARQC is 16 hexadecimal digits, a response code"
                             " two characters: %s %s\n",
                             argv[i + 1], code.c_str());
                return 2;
            }
            std::printf("%s\n", arpc.c_str());
            return 0;
        }
        if (i + 1 >= argc || (option != "--card" && option != "--host" && option != "--port")) {
            printUsage(stderr);
            return 2;
        }
        const char *value = argv[++i];
        if (option == "--card") {
            cardName = value;
        } else if (option == "--host") {
            host = value;
        } else {
            char *end = nullptr;
            port = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || port < 1 || port > 65535) {
                std::fprintf(stderr, "virtualcard: not a port number: %s\n", value);
                return 2;
            }
        }
    }

    const CardName *chosen = nullptr;
    for (const CardName &entry : cardNames) {
        if (std::strcmp(entry.name, cardName) == 0)
            chosen = &entry;
    }
    if (!chosen) {
        std::fprintf(stderr, "virtualcard: unknown card kind: %s\n", cardName);
        printUsage(stderr);
        return 2;
    }
    std::unique_ptr<sim::SimulatedCard> card = sim::makeCard(chosen->kind);

    if (printAtr) {
        const sim::Bytes atr = card->answerToReset();
        for (std::size_t i = 0; i < atr.size(); ++i)
            std::printf(i ? ":%02x" : "%02x", atr[i]);
        std::printf("\n");
        return 0;
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "virtualcard: not an IPv4 address: %s\n", host.c_str());
        return 2;
    }

    // No SA_RESTART: a signal wakes poll() and connect() so the loops see it.
    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    vpcd::Link link(*card);
    bool waitingReported = false;
    while (!stopRequested) {
        const int fd = connectTo(address);
        if (fd < 0) {
            if (!waitingReported)
                std::fprintf(stderr, "virtualcard: waiting for vpcd on %s:%ld\n", host.c_str(),
                             port);
            waitingReported = true;
            pause(200);
            continue;
        }
        std::fprintf(stderr, "virtualcard: serving the %s card on %s:%ld\n", cardName, host.c_str(),
                     port);
        serve(fd, link);
        close(fd);
        link.disconnect();
        waitingReported = false;
        if (!stopRequested)
            std::fprintf(stderr, "virtualcard: vpcd closed the connection\n");
    }
    return 0;
}
