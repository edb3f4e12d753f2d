/* A stand-in "vantri.dll" with every export but VantriGetLastError: the check
 * program must refuse it and release it again. Its functions answer 1. */
#include <windows.h>

extern "C" {
__declspec(dllexport) BOOL WINAPI VantriGetVersion(DWORD *a, DWORD *b) { if (a) *a = 0x77; if (b) *b = 0x77; return TRUE; }
__declspec(dllexport) BOOL WINAPI VantriCreate(WORD *p) { if (p) *p = 7; return TRUE; }
__declspec(dllexport) BOOL WINAPI VantriClose(DWORD) { return TRUE; }
__declspec(dllexport) BOOL WINAPI VantriGetResource(DWORD, void *) { return TRUE; }
__declspec(dllexport) BOOL WINAPI VantriInPort(DWORD, DWORD, BYTE *p) { if (p) *p = 0x77; return TRUE; }
__declspec(dllexport) BOOL WINAPI VantriOutPort(DWORD, DWORD, DWORD) { return TRUE; }
}
