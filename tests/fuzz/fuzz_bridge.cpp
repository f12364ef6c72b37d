// What a web page or any local program sends the bridge: the request head of
// a connection and each message. Neither may crash or read out of bounds; a
// refused message names no verb and carries no arguments, an accepted one
// only inputs of its own verb; a normalised origin normalises to itself; a
// head is accepted only with a loopback Host.
#include "fuzzcheck.h"
#include "handshake.h"
#include "messages.h"
#include "origin.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));

    const bridge::Request request = bridge::parseRequest(bytes);
    if (!request.ok()) {
        check(!request.verb && request.arguments.isEmpty());
    } else {
        check(request.verb != nullptr);
        for (auto it = request.arguments.begin(); it != request.arguments.end(); ++it) {
            bool known = false;
            for (const bridge::Param &param : request.verb->params)
                known = known || it.key() == QLatin1String(param.input);
            check(known);
        }
    }

    const QString origin = bridge::normaliseOrigin(bytes);
    if (!origin.isEmpty())
        check(bridge::normaliseOrigin(origin.toLatin1()) == origin);

    const int length = bridge::headLength(bytes);
    bridge::HttpHead head;
    if (length > 0 && bridge::parseHead(bytes.left(length), &head)) {
        const bridge::Verdict verdict =
            bridge::checkHead(head, 47211, [](const QString &) { return true; });
        if (verdict.status == 0) {
            check(head.values("host").size() == 1
                  && bridge::hostAllowed(head.values("host").first(), 47211));
            check(!verdict.origin.isEmpty());
        }
    }
    return 0;
}
