#include "bridgemain.h"

int main(int argc, char *argv[])
{
    return bridge::runMain(argc, argv);
}
