// test_binary.cpp - the built vantri.dll as a file: exports and ordinals,
// imports, the shared section, the version resource, the description text,
// and the stdcall convention of every export.
#include "libtest.h"

#include <string.h>
#include <algorithm>
#include <string>

namespace {

// A PE file read into memory, with RVAs mapped to file offsets.
struct PeFile {
    std::vector<BYTE> data;
    const IMAGE_NT_HEADERS32 *pNt = nullptr;
    const IMAGE_SECTION_HEADER *pSections = nullptr;
    int nSections = 0;

    bool Load()
    {
        char szPath[MAX_PATH];
        LibraryPath(szPath, sizeof szPath);
        data = ReadWholeFile(szPath);
        if (data.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        const IMAGE_DOS_HEADER *pDos = reinterpret_cast<const IMAGE_DOS_HEADER *>(data.data());
        if (pDos->e_magic != IMAGE_DOS_SIGNATURE || (size_t)pDos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > data.size())
            return false;
        pNt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(data.data() + pDos->e_lfanew);
        if (pNt->Signature != IMAGE_NT_SIGNATURE)
            return false;
        pSections = IMAGE_FIRST_SECTION(pNt);
        nSections = pNt->FileHeader.NumberOfSections;
        return true;
    }
    const IMAGE_SECTION_HEADER *Section(const char *name) const
    {
        for (int i = 0; i < nSections; i++)
            if (strncmp(reinterpret_cast<const char *>(pSections[i].Name), name, 8) == 0)
                return &pSections[i];
        return nullptr;
    }
    const IMAGE_SECTION_HEADER *SectionOfOffset(size_t off) const
    {
        for (int i = 0; i < nSections; i++)
            if (off >= pSections[i].PointerToRawData && off < pSections[i].PointerToRawData + pSections[i].SizeOfRawData)
                return &pSections[i];
        return nullptr;
    }
    template <typename T>
    const T *At(DWORD rva) const
    {
        for (int i = 0; i < nSections; i++) {
            const IMAGE_SECTION_HEADER &s = pSections[i];
            DWORD size = s.Misc.VirtualSize > s.SizeOfRawData ? s.Misc.VirtualSize : s.SizeOfRawData;
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) {
                size_t off = rva - s.VirtualAddress + s.PointerToRawData;
                return off + sizeof(T) <= data.size() ? reinterpret_cast<const T *>(data.data() + off) : nullptr;
            }
        }
        return nullptr;
    }
};

}  // namespace

WTEST(BinaryExportsByNameAndOrdinal)
{
    PeFile pe;
    WREQUIRE(pe.Load());
    const IMAGE_DATA_DIRECTORY &dir = pe.pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *pExp = pe.At<IMAGE_EXPORT_DIRECTORY>(dir.VirtualAddress);
    WREQUIRE(pExp);
    WCHECK_STREQ("vantri.dll", pe.At<char>(pExp->Name));
    WCHECK_EQ(1, pExp->Base);
    WCHECK_EQ(7, pExp->NumberOfFunctions);
    WCHECK_EQ(7, pExp->NumberOfNames);
    const char *const names[7] = {"VantriClose", "VantriCreate", "VantriGetLastError", "VantriGetResource",
                                  "VantriGetVersion", "VantriInPort", "VantriOutPort"};
    const DWORD *pNames = pe.At<DWORD>(pExp->AddressOfNames);
    const WORD *pOrdinals = pe.At<WORD>(pExp->AddressOfNameOrdinals);
    const DWORD *pFunctions = pe.At<DWORD>(pExp->AddressOfFunctions);
    WREQUIRE(pNames && pOrdinals && pFunctions);
    for (DWORD i = 0; i < pExp->NumberOfNames && i < 7; i++) {
        WCONTEXT("export %lu", i);
        WCHECK_STREQ(names[i], pe.At<char>(pNames[i]));
        WCHECK_EQ(i + 1, pOrdinals[i] + pExp->Base);  // ordinal = alphabetical position
        WCHECK(pFunctions[pOrdinals[i]] != 0);
    }
    WCONTEXT("");

    // The loader agrees: each ordinal finds the function of its name.
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    for (int i = 0; i < 7; i++) {
        WCONTEXT("%s", names[i]);
        FARPROC byName = GetProcAddress(lib.module(), names[i]);
        WCHECK(byName != NULL);
        WCHECK(byName == GetProcAddress(lib.module(), MAKEINTRESOURCEA(i + 1)));
    }
    WCONTEXT("");
}

WTEST(BinaryImportsOnlyKernel32AndUser32)
{
    PeFile pe;
    WREQUIRE(pe.Load());
    const IMAGE_DATA_DIRECTORY &dir = pe.pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::string dlls;
    bool bUser32OnlyWsprintf = true;
    for (const IMAGE_IMPORT_DESCRIPTOR *pDesc = pe.At<IMAGE_IMPORT_DESCRIPTOR>(dir.VirtualAddress);
         pDesc && pDesc->Name; pDesc++) {
        const char *name = pe.At<char>(pDesc->Name);
        dlls += std::string(name ? name : "?") + ";";
        if (name && lstrcmpiA(name, "USER32.dll") == 0) {
            const IMAGE_THUNK_DATA32 *pThunk = pe.At<IMAGE_THUNK_DATA32>(pDesc->OriginalFirstThunk);
            for (; pThunk && pThunk->u1.AddressOfData; pThunk++) {
                const IMAGE_IMPORT_BY_NAME *pName = pe.At<IMAGE_IMPORT_BY_NAME>(pThunk->u1.AddressOfData);
                if (!pName || strcmp(reinterpret_cast<const char *>(pName->Name), "wsprintfA") != 0)
                    bUser32OnlyWsprintf = false;
            }
        }
    }
    WCHECK_STREQ("KERNEL32.dll;USER32.dll;", dlls.c_str());
    WCHECK(bUser32OnlyWsprintf);
    // Our own entry point, no runtime start-up code.
    WCHECK_EQ(IMAGE_FILE_DLL, pe.pNt->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

WTEST(BinarySharedSection)
{
    PeFile pe;
    WREQUIRE(pe.Load());
    const IMAGE_SECTION_HEADER *pSec = pe.Section(".unidat");
    WREQUIRE(pSec);
    WCHECK_EQ(8, pSec->Misc.VirtualSize);
    WCHECK_EQ(IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_SHARED,
              pSec->Characteristics);
    WREQUIRE(pSec->SizeOfRawData >= 8 && pSec->PointerToRawData + 8 <= pe.data.size());
    WCHECK(AllBytes(pe.data.data() + pSec->PointerToRawData, pSec->SizeOfRawData, 0));
}

WTEST(BinaryDescriptionTextInReadOnlyData)
{
    PeFile pe;
    WREQUIRE(pe.Load());
    const char text[] = "vantri.dll: Vantri-K2 Win32 API.";
    const BYTE *pBegin = pe.data.data(), *pEnd = pBegin + pe.data.size();
    const BYTE *pHit = std::search(pBegin, pEnd, text, text + sizeof text);  // with its terminator
    WREQUIRE(pHit != pEnd);
    const IMAGE_SECTION_HEADER *pSec = pe.SectionOfOffset(pHit - pBegin);
    WREQUIRE(pSec);
    WCHECK(pSec->Characteristics & IMAGE_SCN_CNT_INITIALIZED_DATA);
    WCHECK(!(pSec->Characteristics & IMAGE_SCN_MEM_WRITE));
    WCHECK(!(pSec->Characteristics & IMAGE_SCN_MEM_EXECUTE));
}

WTEST(BinaryVersionResource)
{
    char szPath[MAX_PATH];
    LibraryPath(szPath, sizeof szPath);
    DWORD dwHandle = 0;
    DWORD cb = GetFileVersionInfoSizeA(szPath, &dwHandle);
    WREQUIRE(cb > 0);
    std::vector<BYTE> info(cb);
    WREQUIRE(GetFileVersionInfoA(szPath, 0, cb, info.data()));

    VS_FIXEDFILEINFO *pFixed = NULL;
    UINT uLen = 0;
    WREQUIRE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&pFixed), &uLen));
    WCHECK_EQ(VS_FFI_SIGNATURE, pFixed->dwSignature);
    WCHECK_EQ(0x00010000, pFixed->dwFileVersionMS);
    WCHECK_EQ(0x00000001, pFixed->dwFileVersionLS);
    WCHECK_EQ(0x00010000, pFixed->dwProductVersionMS);
    WCHECK_EQ(0x00000001, pFixed->dwProductVersionLS);
    WCHECK_EQ(VFT_DLL, pFixed->dwFileType);
    WCHECK_EQ(VOS_NT_WINDOWS32, pFixed->dwFileOS);

    // One translation: Japanese, Unicode.
    WORD *pTrans = NULL;
    WREQUIRE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&pTrans), &uLen));
    WCHECK_EQ(4, uLen);
    WCHECK_EQ(0x0411, pTrans[0]);
    WCHECK_EQ(1200, pTrans[1]);

    const struct {
        const char *key, *value;
    } strings[] = {
        {"FileDescription", "Vantri-K2 DLL for WindowsNT"},
        {"OriginalFilename", "VANTRI.dll"},
        {"FileVersion", "1, 0, 0, 1"},
        {"ProductVersion", "1, 0, 0, 1"},
    };
    for (const auto &s : strings) {
        WCONTEXT("%s", s.key);
        char szQuery[100];
        wsprintfA(szQuery, "\\StringFileInfo\\041104b0\\%s", s.key);
        char *pValue = NULL;
        WCHECK(VerQueryValueA(info.data(), szQuery, reinterpret_cast<void **>(&pValue), &uLen));
        if (pValue)
            WCHECK_STREQ(s.value, pValue);
    }
    WCONTEXT("");
}

namespace {

// Calls fn with n stack arguments and returns how many bytes of them the
// callee removed (stdcall: all of them).
__attribute__((noinline)) int BytesPoppedByCallee(FARPROC fn, int nArgs, const DWORD *pArgs)
{
    int popped;
    DWORD dwCount = (DWORD)nArgs;
    const DWORD *pList = pArgs;
    // edi and esi are callee-saved: they keep the stack pointers across the call.
    __asm__ volatile(
        "movl %%esp, %%edi\n\t"
        "1: testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%ebx,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2: movl %%esp, %%esi\n\t"
        "call *%%eax\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%esi, %%eax\n\t"
        "movl %%edi, %%esp\n\t"
        : "=a"(popped), "+c"(dwCount), "+b"(pList)
        : "0"(fn)
        : "edx", "esi", "edi", "memory", "cc");
    return popped;
}

}  // namespace

// Each export removes exactly its own arguments (4 bytes per argument).
WTEST(BinaryExportsAreStdcall)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    // Arguments that fail at once: out-of-range devices, null pointers.
    const DWORD args[3] = {16, 0, 0};
    const struct {
        const char *name;
        int nArgs;
    } exports[] = {
        {"VantriClose", 1}, {"VantriCreate", 1}, {"VantriGetLastError", 1}, {"VantriGetResource", 2},
        {"VantriGetVersion", 2}, {"VantriInPort", 3}, {"VantriOutPort", 3},
    };
    for (const auto &e : exports) {
        WCONTEXT("%s", e.name);
        FARPROC fn = GetProcAddress(lib.module(), e.name);
        WREQUIRE(fn);
        const DWORD nullArgs[3] = {0, 0, 0};
        const DWORD *pArgs = strcmp(e.name, "VantriCreate") == 0 || strcmp(e.name, "VantriGetVersion") == 0
                                 ? nullArgs : args;
        WCHECK_EQ(4 * e.nArgs, BytesPoppedByCallee(fn, e.nArgs, pArgs));
    }
    WCONTEXT("");
}
