// readerctl: a card reader tested from the command line (see cli.h).
#include "cli.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#endif

#include <malloc.h>

int main(int argc, char *argv[])
{
    // A loop calls the library thousands of times, each call allocating and
    // freeing much the same memory. The heap keeps what it has grown to
    // instead of handing it back to the system after each call (and large
    // buffers come from the heap, not from a mapping of their own): taking
    // pages back costs a page fault each, the better part of a simulated
    // identity read's time on a virtual machine. Memory stays bounded by
    // the largest call.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

    // No QCoreApplication: CI starts readerctl thousands of times, and the
    // application object (an event dispatcher, logging rules, the locale
    // read from a dozen files) is a good part of a short call's start-up,
    // for nothing readerctl uses. Arguments, file names and messages are
    // UTF-8, as Qt 6 has them on every Unix; the reports always were.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QTextCodec::setCodecForLocale(QTextCodec::codecForMib(106));
#endif
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromUtf8(argv[i]);
    return readerctl::run(arguments);
}
