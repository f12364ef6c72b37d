// The simulated bank card's element format on arbitrary text: transaction
// data as the operator types it, card data as the card answers it, and the
// issuer's ARPC. Parsing and formatting must be each other's inverse, and the
// card's answers must stay inside the caller's 4096-byte buffers in the form
// that parsing accepts.
#include "fuzzcheck.h"
#include "bankapplication.h"
#include "bankcard.h"
#include "operations.h"

#include <QByteArray>
#include <QVector>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t replySize = 4096;

bool isUpperHex(const QByteArray &text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// A reply buffer of exactly the caller's size on the heap, so that writing
// past it is an overflow the sanitizer reports; its text must end inside it.
struct Reply
{
    std::unique_ptr<char[]> bytes{new char[replySize]()};

    char *data() { return bytes.get(); }
    QByteArray text() const
    {
        const void *end = std::memchr(bytes.get(), '\0', replySize);
        check(end != nullptr);
        return QByteArray(bytes.get());
    }
};

void checkRoundTrip(const QByteArray &text)
{
    const std::optional<sim::BankElements> elements = sim::parseBankElements(text);
    if (!elements)
        return;
    for (const sim::BankElement &element : *elements) {
        check(sim::isBankTag(element.tag));
        check(element.value.toUcs4().size() <= sim::maxElementLength);
    }
    // Whatever parses is written back byte for byte and parses the same.
    const std::optional<QByteArray> formatted = sim::formatBankElements(*elements);
    check(formatted && *formatted == text);
    const std::optional<sim::BankElements> again = sim::parseBankElements(*formatted);
    check(again && *again == *elements);
}

// The same bytes read as elements built by hand: a tag byte, a length byte,
// then that many bytes of UTF-8 for the value.
void checkFormatting(const QByteArray &bytes)
{
    sim::BankElements elements;
    int at = 0;
    while (at + 2 <= bytes.size()) {
        const char tag = bytes.at(at);
        const int length = static_cast<unsigned char>(bytes.at(at + 1));
        at += 2;
        QByteArray value = bytes.mid(at, length);
        at += value.size();
        // Text from a widget or a card never holds a zero character.
        value.replace('\0', ' ');
        elements.push_back({tag, QString::fromUtf8(value)});
    }
    const std::optional<QByteArray> formatted = sim::formatBankElements(elements);
    bool writable = true;
    for (const sim::BankElement &element : elements)
        writable = writable && sim::isBankTag(element.tag);
    check(formatted.has_value() == writable);
    if (formatted) {
        const std::optional<sim::BankElements> parsed = sim::parseBankElements(*formatted);
        check(parsed && *parsed == elements);
    }
}

void checkArpc(const QByteArray &arpc)
{
    if (!sim::isWellFormedArpc(arpc))
        return;
    check(arpc.size() == 16 || (arpc.size() >= 20 && arpc.size() % 2 == 0));
    check(QByteArray::fromHex(arpc).toHex().toUpper() == arpc.toUpper());
}

// Transaction data through the card: an ARQC exactly when the data is
// usable, and a completed transaction with a well-formed ARPC.
void checkCard(const QByteArray &typed)
{
    const QByteArray txData(typed.constData()); // up to its first zero byte
    const std::optional<sim::BankElements> elements = sim::parseBankElements(txData);
    const bool usable = elements && sim::isUsableTransaction(*elements);
    if (usable) {
        for (const sim::BankElement &element : *elements) {
            for (const sim::BankElement &other : *elements)
                check(&element == &other || element.tag != other.tag);
        }
    }

    Reply arqc, appData;
    const int64_t result =
        device::IccGetARQC(2, txData.constData(), "", arqc.data(), appData.data());
    check(result == (usable ? device::Ok : device::BadTransactionData));
    if (result != device::Ok)
        return;
    check(arqc.text().size() == 16 && isUpperHex(arqc.text()));
    check(appData.text().size() % 2 == 0 && isUpperHex(appData.text()));

    Reply script, certificate;
    // The simulated issuer's answer to this ARQC.
    const QByteArray cryptogram = QByteArray::fromHex(arqc.text());
    const sim::Bytes arpc =
        sim::simulatedArpc(sim::Bytes(cryptogram.begin(), cryptogram.end()), {0x30, 0x30});
    const QByteArray arpcText =
        QByteArray(reinterpret_cast<const char *>(arpc.data()), 8).toHex() + "3030";
    check(device::IccARPCExeScript(2, txData.constData(), arpcText.constData(),
                                   appData.text().constData(), script.data(), certificate.data())
          == device::Ok);
    check(certificate.text().size() == 16 && isUpperHex(certificate.text()));

    // The merchant and the other terminal fields come back as card data in
    // the element form, each letter once, in the order asked.
    Reply cardData;
    check(device::IccGetCardInfo(2, "", "PQRSTUVW", cardData.data()) == device::Ok);
    const std::optional<sim::BankElements> answered = sim::parseBankElements(cardData.text());
    check(answered && answered->size() == 8);
    for (std::size_t i = 0; i < answered->size(); ++i)
        check(answered->at(i).tag == "PQRSTUVW"[i]);
}

// Card data for a list of letters of any length: the whole answer within
// the buffer, or a refusal.
void checkCardInfo(const QByteArray &typed)
{
    const QByteArray tags(typed.constData());
    Reply cardData;
    const int64_t result = device::IccGetCardInfo(2, "", tags.constData(), cardData.data());
    if (result != device::Ok)
        return;
    const std::optional<sim::BankElements> answered = sim::parseBankElements(cardData.text());
    check(answered && static_cast<int>(answered->size()) == tags.size());
    for (int i = 0; i < tags.size(); ++i)
        check(answered->at(static_cast<std::size_t>(i)).tag == tags.at(i));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    check(device::OpenDevice("USB", "E4A50701", "") > 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    checkRoundTrip(bytes);
    checkFormatting(bytes);
    checkArpc(bytes);
    checkArpc(bytes.left(16));
    checkArpc(bytes.left(20));
    checkCard(bytes);
    checkCardInfo(bytes);
    return 0;
}
