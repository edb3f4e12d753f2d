// main.cpp - the Wine test program of vantri.dll. With "--child <mode>" it
// plays a second process for the tests that need one.
#include "libtest.h"

int main(int argc, char **argv)
{
    int childResult = RunChildMode(argc, argv);
    if (childResult >= 0)
        return childResult;
    return WTestMain(argc, argv);
}
