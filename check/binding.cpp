/* binding.cpp - loads "vantri.dll" at run time and reaches it only through
 * guarded entry points, which answer 0 and touch nothing while no library is
 * held (or while the entry they need was never resolved). */
#include "binding.h"
#include <stddef.h>  /* offsetof, used by the record checks in vantri.h */
#include "vantri.h"

namespace {

typedef BOOL  (WINAPI *GetVersionFn)(DWORD *, DWORD *);
typedef BOOL  (WINAPI *CreateFn)(WORD *);
typedef BOOL  (WINAPI *CloseFn)(DWORD);
typedef BOOL  (WINAPI *GetResourceFn)(DWORD, VantriResource *);
typedef BOOL  (WINAPI *InPortFn)(DWORD, DWORD, BYTE *);
typedef BOOL  (WINAPI *OutPortFn)(DWORD, DWORD, DWORD);
typedef DWORD (WINAPI *GetLastErrorFn)(DWORD);

struct LibraryBinding {
    HMODULE        hModule;        /* the only sign of a loaded library */
    GetVersionFn   pfnGetVersion;
    CreateFn       pfnCreate;
    CloseFn        pfnClose;
    GetResourceFn  pfnGetResource;
    InPortFn       pfnInPort;
    OutPortFn      pfnOutPort;
    GetLastErrorFn pfnGetLastError;  /* required, never called */
    BOOL           bComplete;        /* the last resolution found all seven */
};

LibraryBinding g_binding;

constexpr char kLibraryName[] = "vantri.dll";

template <typename Fn>
BOOL ResolveOne(Fn &entry, LPCSTR name)
{
    entry = (Fn)(void *)GetProcAddress(g_binding.hModule, name);
    return entry != NULL;
}

/* A release that fails after an incomplete resolution leaves the module set
 * with some entries null and the later ones left from an earlier load: none
 * of them is called then, as if no library were loaded. */
template <typename Fn>
BOOL Usable(Fn entry)
{
    return g_binding.hModule != NULL && g_binding.bComplete && entry != NULL;
}

} // namespace

BOOL LibResolve(void)
{
    g_binding.bComplete = ResolveOne(g_binding.pfnGetVersion,   "VantriGetVersion")
        && ResolveOne(g_binding.pfnCreate,       "VantriCreate")
        && ResolveOne(g_binding.pfnClose,        "VantriClose")
        && ResolveOne(g_binding.pfnGetResource,  "VantriGetResource")
        && ResolveOne(g_binding.pfnInPort,       "VantriInPort")
        && ResolveOne(g_binding.pfnOutPort,      "VantriOutPort")
        && ResolveOne(g_binding.pfnGetLastError, "VantriGetLastError");
    return g_binding.bComplete;
}

BOOL LibLoad(void)
{
    if (g_binding.hModule)
        return FALSE;
    g_binding.hModule = LoadLibraryA(kLibraryName);
    if (!g_binding.hModule)
        return FALSE;
    if (LibResolve())
        return TRUE;
    LibFree();
    return FALSE;
}

BOOL LibFree(void)
{
    if (!g_binding.hModule)
        return TRUE;
    if (FreeLibrary(g_binding.hModule) == 1) {
        g_binding.hModule = NULL;
        return TRUE;
    }
    return FALSE;
}

BOOL LibGetVersion(DWORD *pdwDllVersion, DWORD *pdwDriverVersion)
{
    if (!Usable(g_binding.pfnGetVersion))
        return FALSE;
    return g_binding.pfnGetVersion(pdwDllVersion, pdwDriverVersion);
}

BOOL LibCreate(WORD *pwDevice)
{
    if (!Usable(g_binding.pfnCreate))
        return FALSE;
    return g_binding.pfnCreate(pwDevice);
}

BOOL LibClose(WORD wDevice)
{
    if (!Usable(g_binding.pfnClose))
        return FALSE;
    return g_binding.pfnClose(wDevice);
}

BOOL LibGetResource(WORD wDevice, struct VantriResource *pResource)
{
    if (!Usable(g_binding.pfnGetResource))
        return FALSE;
    return g_binding.pfnGetResource(wDevice, pResource);
}

BOOL LibInPort(WORD wDevice, DWORD dwPort, BYTE *pbValue)
{
    if (!Usable(g_binding.pfnInPort))
        return FALSE;
    return g_binding.pfnInPort(wDevice, dwPort, pbValue);
}

BOOL LibOutPort(WORD wDevice, DWORD dwPort, BYTE bValue)
{
    if (!Usable(g_binding.pfnOutPort))
        return FALSE;
    return g_binding.pfnOutPort(wDevice, dwPort, bValue);
}
