// The bridge's messages: typed verbs in JSON, never a pipe to the library.
//
//   request  {"id": 7, "method": "identity.read", "params": {}}
//   answer   {"id": 7, "result": {"name": "苏**", ...}}
//            {"id": 7, "error": {"code": -32602, "message": "..."}}
//
// parseRequest() is a pure function over the bytes of one message: anything
// it does not accept exactly (broken JSON, an unknown member, method or
// parameter, a missing parameter, a wrong type, more than 64 KiB) becomes an
// error answer, and nothing is called.
#pragma once

#include "calls.h"
#include "grants.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <vector>

namespace bridge {

constexpr int maxMessageSize = 64 * 1024;

// Error codes of an answer. The first five are those of JSON-RPC; the rest
// are the bridge's own.
enum ErrorCode {
    ParseError = -32700,     // not a JSON object
    InvalidRequest = -32600, // too large, or id/method/params missing or mistyped
    UnknownMethod = -32601,
    InvalidParams = -32602,
    Forbidden = 1,    // the origin does not hold the verb's grant and may not be asked for it
    Denied = 2,       // the person answered "Deny"
    Busy = 3,         // another operation is running
    DeviceError = 4,  // the library answered an error code (device_code)
    NotSupported = 5, // the library does not export an entry point the verb needs
};

struct Param
{
    enum Type {
        Text,    // a JSON string of printable characters, at most 1024
        Hex,     // a JSON string of hexadecimal digit pairs, at most 1024 digits
        Byte,    // a JSON integer 0-255, handed on in decimal
        Letters, // a JSON string of capital letters A-Z, at most 26
        KeyType, // "A" or "B"
    };
    const char *name; // the parameter's name in params
    Type type;
    bool required;
    const char *input; // the name of the operation's input it fills
};

struct Verb
{
    const char *method;              // e.g. "identity.read"
    Grant grant;                     // the grant the origin must hold
    std::vector<const char *> calls; // the operations run in order, each after the last succeeded
    std::vector<Param> params;
};

const std::vector<Verb> &verbs();
const Verb *findVerb(const QString &method);

struct Request
{
    QJsonValue id; // a string or an integer; null when the message had none readable
    const Verb *verb = nullptr;
    calls::Arguments arguments; // by the operations' input names, in their text form
    int errorCode = 0;          // not 0: the message is refused with this code
    QString errorMessage;

    bool ok() const { return errorCode == 0; }
};

Request parseRequest(const QByteArray &message);

QByteArray resultAnswer(const QJsonValue &id, const QJsonObject &result);
QByteArray errorAnswer(const QJsonValue &id, int code, const QString &message,
                       const QJsonObject &extra = {});

} // namespace bridge
