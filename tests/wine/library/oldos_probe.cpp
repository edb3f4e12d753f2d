// oldos_probe.cpp - runs with a non-NT Windows version set for this program
// (HKCU\Software\Wine\AppDefaults\vantri-oldos-probe.exe\Version = win98)
// and checks how vantri.dll refuses to load. Exit code 0 when all holds;
// otherwise it prints what differed.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "libtest.h"

namespace {

int g_failures;

void Expect(bool ok, const char *what, DWORD got)
{
    if (!ok) {
        printf("oldos-probe: %s (got %lu)\n", what, got);
        g_failures++;
    }
}

// Fills the import address table of an image mapped without its imports.
bool ResolveImports(HMODULE hModule)
{
    BYTE *pBase = reinterpret_cast<BYTE *>(hModule);
    IMAGE_NT_HEADERS32 *pNt =
        reinterpret_cast<IMAGE_NT_HEADERS32 *>(pBase + reinterpret_cast<IMAGE_DOS_HEADER *>(pBase)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return true;
    for (IMAGE_IMPORT_DESCRIPTOR *pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(pBase + dir.VirtualAddress);
         pDesc->Name; pDesc++) {
        HMODULE hDep = LoadLibraryA(reinterpret_cast<const char *>(pBase + pDesc->Name));
        if (!hDep)
            return false;
        IMAGE_THUNK_DATA32 *pLookup = reinterpret_cast<IMAGE_THUNK_DATA32 *>(
            pBase + (pDesc->OriginalFirstThunk ? pDesc->OriginalFirstThunk : pDesc->FirstThunk));
        IMAGE_THUNK_DATA32 *pIat = reinterpret_cast<IMAGE_THUNK_DATA32 *>(pBase + pDesc->FirstThunk);
        for (; pLookup->u1.AddressOfData; pLookup++, pIat++) {
            FARPROC fn;
            if (IMAGE_SNAP_BY_ORDINAL32(pLookup->u1.Ordinal))
                fn = GetProcAddress(hDep, reinterpret_cast<LPCSTR>(IMAGE_ORDINAL32(pLookup->u1.Ordinal)));
            else
                fn = GetProcAddress(hDep, reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(
                                              pBase + pLookup->u1.AddressOfData)->Name);
            if (!fn)
                return false;
            DWORD dwOld;
            VirtualProtect(&pIat->u1.Function, sizeof(DWORD), PAGE_READWRITE, &dwOld);
            pIat->u1.Function = reinterpret_cast<DWORD>(fn);
            VirtualProtect(&pIat->u1.Function, sizeof(DWORD), dwOld, &dwOld);
        }
    }
    return true;
}

}  // namespace

int main()
{
    OSVERSIONINFOA osvi;
    osvi.dwOSVersionInfoSize = sizeof osvi;
    GetVersionExA(&osvi);
    if (osvi.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        printf("oldos-probe: the per-program Windows version is not in effect\n");
        return 10;
    }
    char szPath[MAX_PATH];
    LibraryPath(szPath, sizeof szPath);

    // The loader's view: the load fails with its own code.
    SetLastError(0);
    HMODULE hLoaded = LoadLibraryA(szPath);
    DWORD dwError = GetLastError();
    Expect(hLoaded == NULL, "LoadLibrary succeeded", 0);
    Expect(dwError == 1114, "LoadLibrary's error is not ERROR_DLL_INIT_FAILED", dwError);
    if (hLoaded)
        FreeLibrary(hLoaded);

    // The entry point's own answer, on a mapping whose imports we resolve.
    HMODULE hModule = LoadLibraryExA(szPath, NULL, DONT_RESOLVE_DLL_REFERENCES);
    Expect(hModule != NULL, "the image does not map", GetLastError());
    if (!hModule)
        return 1;
    Expect(ResolveImports(hModule), "imports do not resolve", 0);
    volatile LONG *pShared = FindSharedBlock(hModule);
    Expect(pShared != NULL, "no .unidat section", 0);
    LONG lBefore = pShared ? pShared[0] : 0;
    BYTE *pBase = reinterpret_cast<BYTE *>(hModule);
    IMAGE_NT_HEADERS32 *pNt =
        reinterpret_cast<IMAGE_NT_HEADERS32 *>(pBase + reinterpret_cast<IMAGE_DOS_HEADER *>(pBase)->e_lfanew);
    typedef BOOL(WINAPI * EntryFn)(HINSTANCE, DWORD, LPVOID);
    EntryFn entry = reinterpret_cast<EntryFn>(pBase + pNt->OptionalHeader.AddressOfEntryPoint);
    SetLastError(0);
    BOOL bResult = entry(hModule, DLL_PROCESS_ATTACH, NULL);
    dwError = GetLastError();
    Expect(bResult == 0, "the entry point accepted the load", (DWORD)bResult);
    Expect(dwError == 1151, "the entry point's error is not ERROR_APP_WRONG_OS", dwError);
    if (pShared)
        Expect(pShared[0] == lBefore, "the attach count changed", (DWORD)pShared[0]);
    FreeLibrary(hModule);
    return g_failures;
}
