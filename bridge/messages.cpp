#include "messages.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace bridge {

const std::vector<Verb> &verbs()
{
    using P = Param;
    static const std::vector<Verb> all = {
        {"reader.open",
         ReaderGrant,
         {"open"},
         {{"port_type", P::Text, false, "port_type"},
          {"port_param", P::Text, false, "port_param"},
          {"extended", P::Text, false, "extended"}}},
        {"reader.close", ReaderGrant, {"close"}, {}},
        {"reader.info", ReaderGrant, {"model", "firmware", "heartbeat"}, {}},
        {"identity.read", IdentityGrant, {"identity"}, {}},
        {"identity.serial", IdentityGrant, {"identity-serial"}, {}},
        {"bank.info", BankGrant, {"bank-info"}, {{"letters", P::Letters, false, "letters"}}},
        {"ssse.read", SsseGrant, {"ssse"}, {}},
        {"m1.find", M1Grant, {"m1-find"}, {}},
        {"m1.read",
         M1Grant,
         {"m1-auth", "m1-read"},
         {{"sector", P::Byte, true, "sector"},
          {"block", P::Byte, true, "block"},
          {"key_type", P::KeyType, false, "key_type"},
          {"key", P::Hex, true, "key"}}},
        {"mag.read",
         MagGrant,
         {"mag-read"},
         {{"tracks", P::Byte, false, "tracks"}, {"timeout", P::Byte, false, "timeout"}}},
        {"qr.read", QrGrant, {"qr"}, {{"timeout", P::Byte, false, "timeout"}}},
        {"cpu.apdu",
         ApduGrant,
         {"cpu-apdu"},
         {{"slot", P::Text, false, "slot"}, {"apdu", P::Hex, true, "apdu"}}},
    };
    return all;
}

const Verb *findVerb(const QString &method)
{
    for (const Verb &verb : verbs())
        if (method == QLatin1String(verb.method))
            return &verb;
    return nullptr;
}

namespace {

// The parameter's value in the text form the operation's input takes, or a
// null text when the JSON value does not have the parameter's type.
QString inputText(const Param &param, const QJsonValue &value)
{
    if (param.type == Param::Byte) {
        if (!value.isDouble())
            return {};
        const double number = value.toDouble();
        if (number < 0 || number > 255 || std::floor(number) != number)
            return {};
        return QString::number(static_cast<int>(number));
    }
    if (!value.isString())
        return {};
    const QString text = value.toString();
    auto all = [&text](auto accepted) {
        for (QChar c : text)
            if (!accepted(c.unicode()))
                return false;
        return true;
    };
    switch (param.type) {
    case Param::Text:
        if (text.size() <= 1024 && all([](char16_t c) { return c >= 0x20 && c != 0x7F; }))
            return text.isNull() ? QStringLiteral("") : text;
        return {};
    case Param::Hex:
        if (!text.isEmpty() && text.size() <= 1024 && text.size() % 2 == 0 && all([](char16_t c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
            }))
            return text.toUpper();
        return {};
    case Param::Letters:
        if (!text.isEmpty() && text.size() <= 26
            && all([](char16_t c) { return c >= 'A' && c <= 'Z'; }))
            return text;
        return {};
    case Param::KeyType:
        return text == QLatin1String("A") || text == QLatin1String("B") ? text : QString();
    case Param::Byte:
        break;
    }
    return {};
}

Request refused(Request request, int code, const QString &message)
{
    request.errorCode = code;
    request.errorMessage = message;
    request.verb = nullptr;
    request.arguments.clear();
    return request;
}

} // namespace

Request parseRequest(const QByteArray &message)
{
    Request request;
    request.id = QJsonValue::Null;
    if (message.size() > maxMessageSize)
        return refused(request, InvalidRequest, QStringLiteral("message larger than 64 KiB"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refused(request, ParseError, QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();

    const QJsonValue id = object.value(QLatin1String("id"));
    const bool integerId = id.isDouble() && std::floor(id.toDouble()) == id.toDouble()
                           && std::fabs(id.toDouble()) <= 9007199254740991.0;
    if (integerId || (id.isString() && id.toString().size() <= 64))
        request.id = id;
    else
        return refused(
            request, InvalidRequest,
            QStringLiteral("id must be a string of at most 64 characters or an integer"));

    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.key() != QLatin1String("id") && it.key() != QLatin1String("method")
            && it.key() != QLatin1String("params"))
            return refused(request, InvalidRequest, QStringLiteral("unknown member ") + it.key());
    const QJsonValue method = object.value(QLatin1String("method"));
    if (!method.isString())
        return refused(request, InvalidRequest, QStringLiteral("method must be a string"));
    const Verb *verb = findVerb(method.toString());
    if (!verb)
        return refused(request, UnknownMethod, QStringLiteral("unknown method"));
    const QJsonValue paramsValue = object.value(QLatin1String("params"));
    if (!paramsValue.isUndefined() && !paramsValue.isObject())
        return refused(request, InvalidParams, QStringLiteral("params must be an object"));
    const QJsonObject params = paramsValue.toObject();

    for (auto it = params.begin(); it != params.end(); ++it) {
        const Param *known = nullptr;
        for (const Param &param : verb->params)
            if (it.key() == QLatin1String(param.name))
                known = &param;
        if (!known)
            return refused(request, InvalidParams, QStringLiteral("unknown parameter ") + it.key());
        const QString text = inputText(*known, it.value());
        if (text.isNull())
            return refused(
                request, InvalidParams,
                QStringLiteral("parameter %1 has the wrong type or value").arg(it.key()));
        request.arguments.insert(QString::fromLatin1(known->input), text);
    }
    for (const Param &param : verb->params)
        if (param.required && !params.contains(QLatin1String(param.name)))
            return refused(request, InvalidParams,
                           QStringLiteral("missing parameter ") + QLatin1String(param.name));
    request.verb = verb;
    return request;
}

QByteArray resultAnswer(const QJsonValue &id, const QJsonObject &result)
{
    QJsonObject answer{{QStringLiteral("id"), id}, {QStringLiteral("result"), result}};
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

QByteArray errorAnswer(const QJsonValue &id, int code, const QString &message,
                       const QJsonObject &extra)
{
    QJsonObject error = extra;
    error.insert(QStringLiteral("code"), code);
    error.insert(QStringLiteral("message"), message);
    QJsonObject answer{{QStringLiteral("id"), id}, {QStringLiteral("error"), error}};
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

} // namespace bridge
