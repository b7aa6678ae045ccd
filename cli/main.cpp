#include "cli/climain.h"

int main(int argc, char *argv[])
{
    return runCli(argc, argv);
}
