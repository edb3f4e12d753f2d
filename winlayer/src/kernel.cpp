// kernel.cpp - last error, critical sections, interlocked operations, the
// platform query and the small process services.
#include "layer_internal.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <unistd.h>

namespace winlayer {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

std::atomic<uint32_t> g_platform{WINLAYER_PLATFORM_NT};
std::atomic<uint32_t> g_platformError{ERROR_SUCCESS};
std::atomic<uint32_t> g_processId{0};

// The recursive mutex lives in the CRITICAL_SECTION's storage, followed by a
// marker word, so use of a section that was never initialised (or already
// deleted) stops the program instead of silently racing.
constexpr uint32_t kSectionMarker = 0x43534543u;
constexpr size_t kMarkerOffset = sizeof(CRITICAL_SECTION) - sizeof(uint32_t);
static_assert(sizeof(std::recursive_mutex) <= kMarkerOffset, "mutex fits the section");
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION), "section alignment");

uint32_t &SectionMarker(LPCRITICAL_SECTION cs)
{
    return *reinterpret_cast<uint32_t *>(cs->bStorage + kMarkerOffset);
}

std::recursive_mutex *SectionMutex(LPCRITICAL_SECTION cs, const char *call)
{
    if (cs == nullptr || SectionMarker(cs) != kSectionMarker) {
        std::fprintf(stderr, "winlayer: %s on a critical section that is not initialised\n", call);
        std::abort();
    }
    return std::launder(reinterpret_cast<std::recursive_mutex *>(cs->bStorage));
}

}  // namespace

void SetLastErrorValue(DWORD code)
{
    t_lastError = code;
}

uint32_t ProcessIdForLog()
{
    uint32_t id = g_processId.load();
    return id != 0 ? id : static_cast<uint32_t>(getpid());
}

}  // namespace winlayer

using namespace winlayer;

extern "C" {

DWORD WINAPI GetLastError(void)
{
    return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (lpCriticalSection == nullptr)
        return;
    new (lpCriticalSection->bStorage) std::recursive_mutex();
    SectionMarker(lpCriticalSection) = kSectionMarker;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    SectionMutex(lpCriticalSection, "EnterCriticalSection")->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    SectionMutex(lpCriticalSection, "LeaveCriticalSection")->unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    std::recursive_mutex *m = SectionMutex(lpCriticalSection, "DeleteCriticalSection");
    m->~recursive_mutex();
    SectionMarker(lpCriticalSection) = 0;
}

LONG WINAPI InterlockedIncrement(LONG volatile *lpAddend)
{
    return __atomic_add_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile *lpAddend)
{
    return __atomic_sub_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedExchange(LONG volatile *Target, LONG Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange,
                                       LONG Comperand)
{
    LONG expected = Comperand;
    __atomic_compare_exchange_n(Destination, &expected, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}

PVOID WINAPI InterlockedExchangePointer(PVOID volatile *Target, PVOID Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile *Destination, PVOID Exchange,
                                               PVOID Comperand)
{
    PVOID expected = Comperand;
    __atomic_compare_exchange_n(Destination, &expected, Exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (lpVersionInformation == nullptr) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    uint32_t platform = g_platform.load();
    if (platform == WINLAYER_PLATFORM_FAIL) {
        t_lastError = g_platformError.load();
        return FALSE;
    }
    OSVERSIONINFOA &v = *lpVersionInformation;
    std::memset(v.szCSDVersion, 0, sizeof v.szCSDVersion);
    if (platform == WINLAYER_PLATFORM_WINDOWS) {
        v.dwMajorVersion = 4;
        v.dwMinorVersion = 10;
        v.dwBuildNumber = 0x040A08AEu;
        v.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        std::strcpy(v.szCSDVersion, " A ");
    } else {
        v.dwMajorVersion = 4;
        v.dwMinorVersion = 0;
        v.dwBuildNumber = 1381;
        v.dwPlatformId = VER_PLATFORM_WIN32_NT;
        std::strcpy(v.szCSDVersion, "Service Pack 6");
    }
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return ProcessIdForLog();
}

void WinlayerSetPlatform(WinlayerPlatform platform, DWORD failError)
{
    g_platformError.store(failError);
    g_platform.store(static_cast<uint32_t>(platform));
}

void WinlayerSetProcessId(DWORD processId)
{
    g_processId.store(processId);
}

}  // extern "C"
