// The readerbridge program: options, the files it reads, the device library,
// and the service's event loop.
#pragma once

namespace bridge {
int runMain(int argc, char *argv[]);
}
