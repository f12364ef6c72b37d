// readerctl: a card reader tested from the command line (see cli.h).
#include "cli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return readerctl::run(QCoreApplication::arguments());
}
