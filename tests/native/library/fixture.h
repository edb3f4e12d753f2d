// fixture.h - the native library tests' fixture: a fresh board model, a
// zero shared block, the library attached for the test and detached after
// it, with a check that no handle was left open.
#ifndef VANTRI_NATIVE_TEST_FIXTURE_H
#define VANTRI_NATIVE_TEST_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "vantri.h"
#include "vantri_internal.h"
#include "vantri_protocol.h"
#include "vantrisim.h"
#include "winlayer_test.h"

// The library's entry point: an ordinary function in the native build.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID lpReserved);

namespace vt {

// A configuration with the boards of `mask`, bases 0x300 + 0x10 * n.
VantriSimConfig Config(uint32_t mask, uint32_t driverVersion = VANTRISIM_DEFAULT_VERSION);

VantriSimFault Fault(uint32_t board, uint32_t code, uint32_t kind, uint32_t value = 0,
                     uint32_t count = 0, uint32_t word = 0);

std::vector<VantriSimLogEntry> ReadLog();
VantriSimStatus Status();

// Sets the shared block to a given state (as other processes would leave it).
void SetShared(LONG attachCount, DWORD driverVersion);

// All 17 codes of the error store: [0..15] per device, [16] global.
struct Codes {
    DWORD code[VANTRI_MAX_DEVICES + 1];
    DWORD Global() const { return code[VANTRI_MAX_DEVICES]; }
    bool operator==(const Codes &o) const;
};
Codes ReadCodes();
::testing::AssertionResult CodesEqual(const Codes &expected, const Codes &actual);

// Polls `done` until it holds or deadlineMs pass; true when it held.
template <typename Pred>
bool WaitFor(Pred done, unsigned deadlineMs = 5000)
{
    for (unsigned waited = 0; waited < deadlineMs; waited += 2) {
        if (done())
            return true;
        Sleep(2);
    }
    return done();
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Detaches (if attached), sets up the model and the shared block anew and
    // attaches again; returns DllMain's result.
    BOOL Reattach(const VantriSimConfig &cfg, LONG attachCount = 0, DWORD cachedVersion = 0);
    BOOL Attach();
    void Detach();

    // Opens board n by number (asserting success).
    void Open(WORD n);
    void SetFault(const VantriSimFault &f);

    // Handles a test leaves open on purpose (e.g. after an injected close
    // failure); closed by the fixture before it checks for leaks.
    void ExpectLeftOpen(DWORD devices) { leftOpen_ = devices; }

    bool attached_ = false;
    DWORD leftOpen_ = 0;
};

}  // namespace vt

#endif  // VANTRI_NATIVE_TEST_FIXTURE_H
