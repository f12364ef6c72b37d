// The window's operations without the window: one call of the device library
// each, from typed texts to the status line's text and the outputs by name.
//
// The tabs, the command-line program and the web bridge all run the same
// calls, so that a reader answers each of them with the same texts: the input
// conversions (padded hexadecimal, decimal bytes, the window's buffer sizes),
// the guards against what the library writes (operation.h) and the decoding
// of card records (records.h) live here once.
//
// Inputs and outputs carry lower_snake_case names. An input left out takes
// the value the window's field holds when the program starts. An output the
// call did not produce is absent, never empty by accident.
#pragma once

#include "personaldata.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

namespace calls {

using Arguments = QMap<QString, QString>;

struct Output
{
    QString name;
    QString value;
    Personal kind = Personal::No;
};

struct Result
{
    enum class Stage {
        Refused, // the typed input was refused; nothing was called
        Missing, // the library does not export an entry point the call needs
        Called,  // the library was called and answered code
    };
    Stage stage = Stage::Refused;
    qint64 code = 0;
    bool success = false; // the library answered success (0, or a handle)
    QString status; // the status line's text, exactly as the window shows it
    std::vector<Output> outputs;
    // Card text records as the library wrote them, split at ':' (identity and
    // social security reads), for the window's own decoding.
    QStringList record;
    // The identity photo's image file as the card holds it (never masked:
    // Photo outputs do not leave the program unless asked for in full).
    QByteArray photo;

    // OpenDevice succeeds with a positive handle, every other call with 0.
    bool succeeded() const;
    // The output's value, or an empty text when the call did not produce it.
    QString value(const QString &name) const;
};

struct Input
{
    const char *name;
    // The window's field at start; null for an input chained from the call
    // before (Session), which the window's field carries the same way.
    const char *defaultValue;
};

struct OutputDefinition
{
    const char *name;
    Personal kind;
};

// State carried from one call to the next, as the window's fields carry it:
// m1-auth without a uid takes the last m1-find's, bank-script without app_data
// the last bank-arqc's.
struct Session
{
    QString m1Uid;
    QString bankAppData;
};

struct Definition
{
    const char *name;        // e.g. "identity"
    const char *entryPoint;  // e.g. "IdReadCard"
    const char *description; // the button's caption, e.g. "读二代证"
    std::vector<Input> inputs;
    std::vector<OutputDefinition> outputs;
    Result (*run)(const Arguments &arguments, Session &session);
};

// Every operation, in the order of the window's tabs (open and close first).
const std::vector<Definition> &definitions();

// The operation of that name, or null.
const Definition *find(const QString &name);

// Runs the operation with the given inputs; missing ones take their defaults.
// Inputs the operation does not have are the caller's mistake: check them
// with unknownInput() first.
Result run(const Definition &definition, const Arguments &arguments, Session &session);

// The operation of that name run with a session of its own, for callers that
// pass every chained input themselves (the window's tabs).
Result run(const char *name, const Arguments &arguments = {});

// The first input name the operation does not have, or an empty text.
QString unknownInput(const Definition &definition, const Arguments &arguments);

// The outputs as they may leave the program: masked by their kind unless
// full is asked for; a photo never appears among them (only its size does).
std::vector<Output> shownOutputs(const Result &result, bool full);

} // namespace calls
