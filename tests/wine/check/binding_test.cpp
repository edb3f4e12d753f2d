/* The run-time binding of "vantri.dll": guarded entry points, loading,
 * resolution by name, release, and argument widths as the board sees them. */
#include "check_fixture.h"
#include "binding.h"
#include <stddef.h>
#include "vantri.h"

namespace {

/* Names asked of GetProcAddress, in order, while a hook is in place. */
std::vector<std::string> g_asked;
const char *g_refuse = NULL;          /* a name to answer with null */
FARPROC (WINAPI *g_realGetProcAddress)(HMODULE, LPCSTR);
BOOL g_freeResult = 0;                /* what the failing FreeLibrary answers */

FARPROC WINAPI RecordingGetProcAddress(HMODULE h, LPCSTR name)
{
    g_asked.push_back(name);
    if (g_refuse && strcmp(name, g_refuse) == 0)
        return NULL;
    return g_realGetProcAddress(h, name);
}

BOOL WINAPI FailingFreeLibrary(HMODULE) { return g_freeResult; }

struct ProcHook {
    ImportHook hook;
    explicit ProcHook(const char *refuse = NULL)
        : hook("kernel32.dll", "GetProcAddress", (void *)RecordingGetProcAddress)
    {
        g_asked.clear();
        g_refuse = refuse;
        g_realGetProcAddress = (FARPROC (WINAPI *)(HMODULE, LPCSTR))hook.Original();
    }
};

bool LibraryMapped(void) { return GetModuleHandleA("vantri.dll") != NULL; }

/* Every guarded entry point answers 0 and leaves what its arguments point to alone. */
void CheckGuardedEntriesInert(void)
{
    DWORD v1 = 0xAAAAAAAA, v2 = 0xBBBBBBBB;
    WORD dev = 0xCCCC;
    BYTE b = 0xDD;
    VantriResource res;
    memset(&res, 0xEE, sizeof res);
    WCHECK_EQ(0, LibGetVersion(&v1, &v2));
    WCHECK_EQ(0, LibCreate(&dev));
    WCHECK_EQ(0, LibClose(0));
    WCHECK_EQ(0, LibGetResource(0, &res));
    WCHECK_EQ(0, LibInPort(0, 0, &b));
    WCHECK_EQ(0, LibOutPort(0, 0, 0x55));
    WCHECK_EQ(0xAAAAAAAA, v1);
    WCHECK_EQ(0xBBBBBBBB, v2);
    WCHECK_EQ(0xCCCC, dev);
    WCHECK_EQ(0xDD, b);
    WCHECK_EQ(0xEEEEEEEE, res.dwBase);
    WCHECK_EQ(0xEEEEEEEE, res.dwLength);
}

const char *const kExportOrder[] = {
    "VantriGetVersion", "VantriCreate", "VantriClose", "VantriGetResource",
    "VantriInPort", "VantriOutPort", "VantriGetLastError",
};

struct SimFixture {
    SimFixture() { SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK); }
    ~SimFixture()
    {
        LibFree();
        WCHECK(!LibraryMapped());
        WCHECK_EQ(0, SimOpenTotal());
    }
};

} // namespace

WTEST(lib_guarded_entries_before_load_write_nothing)
{
    SimFixture sim;
    CheckGuardedEntriesInert();
    WCHECK_EQ(1, LibFree());   /* nothing held: nothing to release */
    WCHECK_EQ(0, SimLog().size());   /* no library, not one request */
}

WTEST(lib_load_resolves_seven_names_in_order)
{
    SimFixture sim;
    ProcHook hook;
    WREQUIRE(hook.hook.Installed());
    WCHECK_EQ(1, LibLoad());
    WCHECK(LibraryMapped());
    WREQUIRE(g_asked.size() == 7);
    for (int i = 0; i < 7; i++) {
        WCONTEXT("name %d", i);
        WCHECK_STREQ(kExportOrder[i], g_asked[i].c_str());
    }
}

WTEST(lib_second_load_refused_library_stays_usable)
{
    SimFixture sim;
    WREQUIRE(LibLoad() == 1);
    HMODULE first = GetModuleHandleA("vantri.dll");
    WCHECK_EQ(0, LibLoad());
    WCHECK(GetModuleHandleA("vantri.dll") == first);
    DWORD dll = 0, drv = 0;
    WCHECK_EQ(1, LibGetVersion(&dll, &drv));
    WCHECK_EQ(0x00010000, dll);
    WCHECK_EQ(VANTRISIM_DEFAULT_VERSION, drv);
    WORD dev = VANTRI_ANY_DEVICE;
    WCHECK_EQ(1, LibCreate(&dev));
    WCHECK_EQ(0, dev);
    WCHECK_EQ(1, LibClose(dev));
    WCHECK_EQ(1, LibFree());
    WCHECK(!LibraryMapped());
    CheckGuardedEntriesInert();   /* after a release as before a load */
}

WTEST(lib_arguments_reach_the_board_narrowed)
{
    SimFixture sim;
    WREQUIRE(LibLoad() == 1);
    WORD dev = VANTRI_ANY_DEVICE;
    WREQUIRE(LibCreate(&dev) == 1);
    VantriSimClearLog();
    /* Wider values than the entry points take: only the low bits travel. */
    DWORD wideDevice = 0x30000u | dev, wideValue = 0x1A5, port = 2;
    WCHECK_EQ(1, LibOutPort((WORD)wideDevice, port, (BYTE)wideValue));
    VantriSimSetInput(dev, 3, VANTRISIM_INPUT_FIXED, 0x5A);
    BYTE in = 0;
    WCHECK_EQ(1, LibInPort((WORD)wideDevice, 3, &in));
    WCHECK_EQ(0x5A, in);
    VantriResource res = {};
    WCHECK_EQ(1, LibGetResource((WORD)wideDevice, &res));
    WCHECK_EQ(VANTRISIM_DEFAULT_BASE(0), res.dwBase);
    WCHECK_EQ(4, res.dwLength);
    std::vector<VantriSimLogEntry> log = SimLog();
    WREQUIRE(log.size() >= 1);
    WCHECK_EQ(IOCTL_VANTRI_OUT_PORT, log[0].dwCode);
    WCHECK_EQ(dev, log[0].dwBoard);
    const BYTE expect[8] = { 2, 0, 0, 0, 0xA5, 0, 0, 0 };
    for (int i = 0; i < 8; i++) {
        WCONTEXT("input byte %d", i);
        WCHECK_EQ(expect[i], log[0].bInput[i]);
    }
    WCONTEXT("");
    WCHECK_EQ(1, LibClose((WORD)wideDevice));
    WCHECK_EQ(0, SimOpenTotal());
}

WTEST(lib_release_must_answer_exactly_one)
{
    SimFixture sim;
    WREQUIRE(LibLoad() == 1);
    for (BOOL answer : { 0, 2 }) {
        WCONTEXT("FreeLibrary answers %d", answer);
        g_freeResult = answer;
        ImportHook fail("kernel32.dll", "FreeLibrary", (void *)FailingFreeLibrary);
        WREQUIRE(fail.Installed());
        WCHECK_EQ(0, LibFree());
        DWORD dll = 0, drv = 0;
        WCHECK_EQ(1, LibGetVersion(&dll, &drv));   /* still held, still usable */
    }
    WCONTEXT("");
    WCHECK_EQ(1, LibFree());
    WCHECK(!LibraryMapped());
}

WTEST(lib_missing_export_with_failed_release_calls_nothing)
{
    SimFixture sim;
    {
        ProcHook hook("VantriInPort");
        g_freeResult = 0;
        ImportHook fail("kernel32.dll", "FreeLibrary", (void *)FailingFreeLibrary);
        WCHECK_EQ(0, LibLoad());
        WCHECK_EQ(5, g_asked.size());   /* stops at the first missing name */
        WCHECK(LibraryMapped());        /* the release failed */
        CheckGuardedEntriesInert();     /* the null entry, and every other, is never called */
        for (const VantriSimLogEntry &e : SimLog())   /* only the library's own attach query */
            WCHECK_EQ(IOCTL_VANTRI_GET_VERSION, e.dwCode);
        WCHECK_EQ(0, LibLoad());        /* still counts as held */
    }
    WCHECK_EQ(1, LibFree());
}

WTEST(partial_library_without_last_error_is_refused_and_released)
{
    /* Run beside a stand-in vantri.dll that lacks only VantriGetLastError. */
    WREQUIRE(GetFileAttributesA((ProgramDir() + "vantri.dll").c_str()) != INVALID_FILE_ATTRIBUTES);
    ProcHook hook;
    WCHECK_EQ(0, LibLoad());
    WREQUIRE(g_asked.size() == 7);
    WCHECK_STREQ("VantriGetLastError", g_asked[6].c_str());
    WCHECK(!LibraryMapped());
    CheckGuardedEntriesInert();
    WCHECK_EQ(1, LibFree());
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
