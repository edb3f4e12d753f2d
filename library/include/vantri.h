/*
 * vantri.h - programming interface of the Vantri-K2 parallel digital I/O board.
 *
 * Link against vantri.lib (or libvantri.dll.a) or load "vantri.dll" at run
 * time. Every function returns 1 on success and 0 on failure; the reason of a
 * failure is read with VantriGetLastError.
 */
#ifndef VANTRI_H
#define VANTRI_H

#include <windows.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VANTRI_MAX_DEVICES   16      /* device numbers 0 to 15 */
#define VANTRI_ANY_DEVICE    0xFFFF  /* VantriCreate: the first free board that opens */
#define VANTRI_DLL_VERSION   0x10000 /* reported by VantriGetVersion */

/* Error codes; 0 means nothing recorded. Any other value is a driver status. */
#define VANTRI_ERR_SYSTEM    1  /* a system call failed, or an unusable reply */
#define VANTRI_ERR_NODEVICE  2  /* VantriCreate(VANTRI_ANY_DEVICE) found no board */
#define VANTRI_ERR_HANDLE    4  /* the device is in the wrong state for the call */
#define VANTRI_ERR_PARAM     7  /* device number out of range, or null pointer */

/* The record filled by VantriGetResource: 102 little-endian 32-bit words. */
typedef struct VantriResource {
    DWORD dwReserved1[28];   /* bytes 0..111: written as 0 */
    DWORD dwRangeCount;      /* byte 112: number of I/O port ranges (1) */
    DWORD dwBase;            /* byte 116: base I/O port address */
    DWORD dwReserved2[19];   /* bytes 120..195: written as 0 */
    DWORD dwLength;          /* byte 196: length of the range (4) */
    DWORD dwReserved3[52];   /* bytes 200..407: written as 0 */
} VantriResource;

#if defined(__cplusplus) && __cplusplus >= 201103L
static_assert(sizeof(VantriResource) == 408, "VantriResource is 408 bytes");
static_assert(offsetof(VantriResource, dwRangeCount) == 112, "range count at 112");
static_assert(offsetof(VantriResource, dwBase) == 116, "base at 116");
static_assert(offsetof(VantriResource, dwLength) == 196, "length at 196");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(VantriResource) == 408, "VantriResource is 408 bytes");
_Static_assert(offsetof(VantriResource, dwRangeCount) == 112, "range count at 112");
_Static_assert(offsetof(VantriResource, dwBase) == 116, "base at 116");
_Static_assert(offsetof(VantriResource, dwLength) == 196, "length at 196");
#endif

/* Device numbers travel in 32-bit arguments; only the low 16 bits count. */
BOOL  WINAPI VantriGetVersion(DWORD *pdwDllVersion, DWORD *pdwDriverVersion);
DWORD WINAPI VantriGetLastError(DWORD dwDevice);
BOOL  WINAPI VantriCreate(WORD *pwDevice);
BOOL  WINAPI VantriClose(DWORD dwDevice);
BOOL  WINAPI VantriGetResource(DWORD dwDevice, VantriResource *pResource);
BOOL  WINAPI VantriInPort(DWORD dwDevice, DWORD dwPort, BYTE *pbValue);
BOOL  WINAPI VantriOutPort(DWORD dwDevice, DWORD dwPort, DWORD dwValue);

#ifdef __cplusplus
}
#endif

#endif /* VANTRI_H */
