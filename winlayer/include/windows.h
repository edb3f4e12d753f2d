/*
 * windows.h - the small Win32 layer of the native (Linux) build.
 *
 * Declares only what the board access library and its tests use: the basic
 * types with their 32-bit widths, the constants of device access, and the
 * handful of KERNEL32/USER32 calls the library makes. The calls are served
 * in-process by winlayer/src, with the board model standing in for the
 * kernel-mode driver. Written for this project; nothing here is meant to be
 * a complete or exact system header.
 */
#ifndef WINLAYER_WINDOWS_H
#define WINLAYER_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling conventions do not exist on this platform. */
#define WINAPI
#define CALLBACK
#define APIENTRY
#define WINAPIV

/* Basic types. The widths are those of 32-bit Windows where the library's
 * records and codes depend on them; pointer-sized types follow the host. */
typedef int            BOOL;
typedef unsigned char  BYTE;
typedef unsigned short WORD;
typedef uint32_t       DWORD;
typedef int32_t        LONG;
typedef uint32_t       ULONG;
typedef int            INT;
typedef unsigned int   UINT;
typedef char           CHAR;
typedef uintptr_t      ULONG_PTR;
typedef intptr_t       LONG_PTR;
typedef ULONG_PTR      DWORD_PTR;
typedef void          *PVOID;
typedef void          *LPVOID;
typedef const void    *LPCVOID;
typedef char          *LPSTR;
typedef const char    *LPCSTR;
typedef BOOL          *LPBOOL;
typedef BYTE          *LPBYTE;
typedef WORD          *LPWORD;
typedef DWORD         *LPDWORD;
typedef LONG          *LPLONG;
typedef void          *HANDLE;
typedef HANDLE        *LPHANDLE;
typedef struct WinlayerModule *HINSTANCE;
typedef HINSTANCE      HMODULE;

#ifdef __cplusplus
static_assert(sizeof(DWORD) == 4, "DWORD is 32-bit");
static_assert(sizeof(LONG) == 4, "LONG is 32-bit");
static_assert(sizeof(WORD) == 2, "WORD is 16-bit");
static_assert(sizeof(BOOL) == 4, "BOOL is a 32-bit int");
#endif

#ifndef TRUE
#define TRUE  1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL  0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define LOBYTE(w)     ((BYTE)((DWORD_PTR)(w) & 0xFF))
#define HIBYTE(w)     ((BYTE)(((DWORD_PTR)(w) >> 8) & 0xFF))
#define LOWORD(l)     ((WORD)((DWORD_PTR)(l) & 0xFFFF))
#define HIWORD(l)     ((WORD)(((DWORD_PTR)(l) >> 16) & 0xFFFF))
#define MAKEWORD(a, b) ((WORD)(((BYTE)(a)) | ((WORD)((BYTE)(b))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))

/* Entry point reasons. */
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH  2
#define DLL_THREAD_DETACH  3

/* CreateFileA. */
#define GENERIC_READ              0x80000000u
#define GENERIC_WRITE             0x40000000u
#define CREATE_NEW                1
#define CREATE_ALWAYS             2
#define OPEN_EXISTING             3
#define OPEN_ALWAYS               4
#define TRUNCATE_EXISTING         5
#define FILE_ATTRIBUTE_NORMAL     0x00000080u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_OVERLAPPED      0x40000000u

/* GetVersionExA. */
#define VER_PLATFORM_WIN32s        0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT      2

/* Waits. */
#define INFINITE      0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT  0x00000102u
#define WAIT_FAILED   0xFFFFFFFFu

/* Last-error values the layer reports. */
#define ERROR_SUCCESS             0
#define ERROR_FILE_NOT_FOUND      2
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED       5
#define ERROR_INVALID_HANDLE      6
#define ERROR_NOT_ENOUGH_MEMORY   8
#define ERROR_GEN_FAILURE         31
#define ERROR_INVALID_PARAMETER   87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_IO_INCOMPLETE       996
#define ERROR_IO_PENDING          997
#define ERROR_APP_WRONG_OS        1151

/* Completion status kept in OVERLAPPED.Internal while a request is pending. */
#define STATUS_PENDING 0x00000103u

typedef struct _SECURITY_ATTRIBUTES {
    DWORD  nLength;
    LPVOID lpSecurityDescriptor;
    BOOL   bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
    ULONG_PTR Internal;      /* completion status; STATUS_PENDING until done */
    ULONG_PTR InternalHigh;  /* bytes transferred */
    union {
        struct {
            DWORD Offset;
            DWORD OffsetHigh;
        };
        PVOID Pointer;
    };
    HANDLE hEvent;           /* set when the request completes */
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR  szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

#ifdef __cplusplus
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
static_assert(offsetof(OSVERSIONINFOA, dwPlatformId) == 16, "platform id at 16");
#endif

/* A critical section is opaque storage here; the layer keeps a recursive
 * host mutex in it (recursive like the real thing). */
typedef struct _CRITICAL_SECTION {
    union {
        unsigned char bStorage[64];
        void         *pAlign;
        uint64_t      qwAlign;
    };
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

/* Last error of the calling thread. */
DWORD WINAPI GetLastError(void);
void  WINAPI SetLastError(DWORD dwErrCode);

/* Device access. */
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE hTemplateFile);
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode,
                            LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait);
BOOL WINAPI CloseHandle(HANDLE hObject);

/* Events and waits. */
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName);
BOOL  WINAPI SetEvent(HANDLE hEvent);
BOOL  WINAPI ResetEvent(HANDLE hEvent);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

/* Critical sections. */
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

/* Interlocked operations: full barriers, the result is the new value
 * (Increment, Decrement) or the previous one (Exchange, CompareExchange). */
LONG WINAPI InterlockedIncrement(LONG volatile *lpAddend);
LONG WINAPI InterlockedDecrement(LONG volatile *lpAddend);
LONG WINAPI InterlockedExchange(LONG volatile *Target, LONG Value);
LONG WINAPI InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange,
                                       LONG Comperand);
/* The same for pointer-sized values (handles). */
PVOID WINAPI InterlockedExchangePointer(PVOID volatile *Target, PVOID Value);
PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile *Destination, PVOID Exchange,
                                               PVOID Comperand);

/* Platform. */
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetCurrentProcessId(void);

/* Formatting: %d %i %u %x %X %c %s %% with optional '-', '0', width and 'l'.
 * At most 1024 bytes are written, the terminating zero included; the result
 * is the number of characters written without it. */
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);

#ifdef __cplusplus
}
#endif

#endif /* WINLAYER_WINDOWS_H */
