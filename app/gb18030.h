// GB18030, the encoding of card text records, for the program and the
// simulated reader.
//
// Qt 5 converts through QTextCodec, Qt 6 through QStringDecoder and
// QStringEncoder opened by name (Qt 6 knows GB18030 only through ICU, so
// QStringConverter::encodingForName() does not list it). Both turn invalid
// sequences into U+FFFD and drop an incomplete sequence at the very end.
#pragma once

#include <QByteArray>
#include <QString>

// False when this Qt was built without a GB18030 codec.
bool gb18030Available();

// The text of GB18030 bytes, zero bytes included. Ends the process with a
// message naming the missing codec when gb18030Available() is false.
QString fromGb18030(const QByteArray &bytes);

// The GB18030 bytes of a text; the same failure as fromGb18030().
QByteArray toGb18030(const QString &text);
