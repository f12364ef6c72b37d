// The command line of readerctl: everything main() does, callable from tests.
#pragma once

#include <QStringList>

namespace readerctl {

// Runs one command line (arguments[0] is the program's name) and returns the
// exit status. The library is loaded here, unless it is loaded already.
int run(const QStringList &arguments);

} // namespace readerctl
