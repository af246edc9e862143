#include "Startup.h"

int main(int argc, char* argv[])
{
    return RunDevscan(argc, argv);
}
