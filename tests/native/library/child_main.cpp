// child_main.cpp - a second "process" for the attach tests: loads the
// library (calls its entry point) against the machine-wide block named on
// the command line, with a board model of its own.
//
//   vantri_native_child attach <shm-name>
//       attaches, prints "attach <result> <count> <driver-version> <requests>",
//       waits for a line on stdin, detaches, prints "detach <count>".
//   vantri_native_child cycle <shm-name> <n>
//       waits for a line on stdin (so that several children start at once),
//       then attaches and detaches n times; exit status 0 when every attach
//       succeeded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vantri.h"
#include "vantri_internal.h"
#include "winlayer_test.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID lpReserved);

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    WinlayerSetSharedName(argv[2]);
    WinlayerSetProcessId(2000);
    if (std::strcmp(argv[1], "attach") == 0) {
        BOOL ok = DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
        DWORD drv = 0;
        BOOL got = ok ? VantriGetVersion(nullptr, &drv) : FALSE;
        VantriSimLogEntry log[4];
        DWORD requests = WinlayerReadLog(log, 4);
        std::printf("attach %d %d %lu %lu\n", ok, static_cast<int>(GetSharedBlock()->lAttachCount),
                    got ? static_cast<unsigned long>(drv) : 0ul,
                    static_cast<unsigned long>(requests));
        std::fflush(stdout);
        char line[16];
        if (std::fgets(line, sizeof line, stdin) == nullptr)
            return 3;
        if (ok)
            DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
        std::printf("detach %d\n", static_cast<int>(GetSharedBlock()->lAttachCount));
        std::fflush(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "cycle") == 0 && argc >= 4) {
        int n = std::atoi(argv[3]);
        char line[16];
        if (std::fgets(line, sizeof line, stdin) == nullptr)
            return 3;
        for (int i = 0; i < n; ++i) {
            if (!DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr))
                return 1;
            DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
        }
        return 0;
    }
    return 2;
}
