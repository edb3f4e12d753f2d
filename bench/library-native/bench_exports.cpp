// bench_exports.cpp - calls one export of the native library build N times
// against the in-process board model, for bench/library-native/run.sh to
// count instructions with callgrind (collection switched on inside that
// export only). Also prints the wall-clock time per call, layer and model
// included, for a rough idea.
//
//   vantri_bench_native <export> <calls> [nowarm]
//
// Prints "counted <K>": how many calls of that export the program made in
// all (the measured ones, the warm-up, and the set-up's VantriCreate or the
// detach's VantriClose of board 1), which is what callgrind sees.
//   export: VantriGetVersion VantriGetLastError VantriCreate VantriClose
//           VantriGetResource VantriInPort VantriOutPort
#include <windows.h>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vantri.h"
#include "winlayer_test.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID lpReserved);

namespace {

volatile DWORD g_sink;  // keeps results alive

bool Run(const char *name, long calls)
{
    BYTE b = 0;
    DWORD dll = 0, drv = 0;
    VantriResource res;
    if (std::strcmp(name, "VantriGetVersion") == 0) {
        for (long i = 0; i < calls; ++i)
            g_sink = VantriGetVersion(&dll, &drv);
    } else if (std::strcmp(name, "VantriGetLastError") == 0) {
        for (long i = 0; i < calls; ++i)
            g_sink = VantriGetLastError(static_cast<DWORD>(i) & 31);
    } else if (std::strcmp(name, "VantriCreate") == 0 || std::strcmp(name, "VantriClose") == 0) {
        // Both are measured on the same loop; callgrind counts only the one named.
        for (long i = 0; i < calls; ++i) {
            WORD w = VANTRI_ANY_DEVICE;
            g_sink = VantriCreate(&w);
            g_sink = VantriClose(w);
        }
    } else if (std::strcmp(name, "VantriGetResource") == 0) {
        for (long i = 0; i < calls; ++i)
            g_sink = VantriGetResource(1, &res);
    } else if (std::strcmp(name, "VantriInPort") == 0) {
        for (long i = 0; i < calls; ++i)
            g_sink = VantriInPort(1, static_cast<DWORD>(i) & 3, &b);
    } else if (std::strcmp(name, "VantriOutPort") == 0) {
        for (long i = 0; i < calls; ++i)
            g_sink = VantriOutPort(1, static_cast<DWORD>(i) & 3, static_cast<DWORD>(i));
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <export> <calls>\n", argv[0]);
        return 2;
    }
    long calls = std::atol(argv[2]);
    char shm[64];
    std::snprintf(shm, sizeof shm, "/vantri-bench-%d", static_cast<int>(getpid()));
    WinlayerSetSharedName(shm);
    WinlayerResetModel(nullptr);
    if (!DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) {
        std::fprintf(stderr, "attach failed\n");
        shm_unlink(shm);
        return 1;
    }
    WORD w = 1;
    VantriCreate(&w);  // board 1 stays open for the port calls
    bool warm = argc < 4 || std::strcmp(argv[3], "nowarm") != 0;
    long warmCalls = warm ? calls / 10 + 1 : 0;
    Run(argv[1], warmCalls);  // the request event and the caches
    auto start = std::chrono::steady_clock::now();
    bool known = Run(argv[1], calls);
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                  std::chrono::steady_clock::now() - start).count();
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    shm_unlink(shm);
    if (!known) {
        std::fprintf(stderr, "unknown export %s\n", argv[1]);
        return 2;
    }
    long extra = (std::strcmp(argv[1], "VantriCreate") == 0 || std::strcmp(argv[1], "VantriClose") == 0) ? 1 : 0;
    std::printf("%s: %ld calls, %.0f ns per call (layer and model included)\n", argv[1], calls,
                static_cast<double>(ns) / static_cast<double>(calls));
    std::printf("counted %ld\n", calls + warmCalls + extra);
    return 0;
}
