// state_test.cpp - reading codes back (VantriGetLastError) and the versions
// (VantriGetVersion).
#include "fixture.h"

namespace vt {
namespace {

TEST_F(LibraryTest, AllCodesAreZeroAfterAttach)
{
    Codes zero = {};
    EXPECT_TRUE(CodesEqual(zero, ReadCodes()));
    EXPECT_EQ(VantriGetLastError(1000), 0u);
}

TEST_F(LibraryTest, GetLastErrorReadsByTheLowSixteenBits)
{
    VantriCreate(nullptr);             // global 7
    BYTE b;
    VantriInPort(3, 0, &b);            // device 3: not open, 4
    struct {
        DWORD argument;
        DWORD code;
    } const rows[] = {
        {16, VANTRI_ERR_PARAM},         {0xFFFF, VANTRI_ERR_PARAM},
        {1000, VANTRI_ERR_PARAM},       {0x10010, VANTRI_ERR_PARAM},
        {3, VANTRI_ERR_HANDLE},         {0x10003, VANTRI_ERR_HANDLE},
        {0xFFFF0003u, VANTRI_ERR_HANDLE}, {0x10004, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(::testing::Message() << "argument 0x" << std::hex << row.argument);
        EXPECT_EQ(VantriGetLastError(row.argument), row.code);
        EXPECT_EQ(VantriGetLastError(row.argument), row.code) << "reading changed it";
    }
}

TEST_F(LibraryTest, CodesOutliveSuccessfulCalls)
{
    BYTE b;
    VantriInPort(1, 0, &b);            // device 1: 4
    VantriClose(99);                   // global 7
    Open(1);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(VantriInPort(1, i % 4, &b), TRUE);
        ASSERT_EQ(VantriOutPort(1, i % 4, i), TRUE);
    }
    DWORD dll, drv;
    ASSERT_EQ(VantriGetVersion(&dll, &drv), TRUE);
    EXPECT_EQ(VantriGetLastError(1), static_cast<DWORD>(VANTRI_ERR_HANDLE));
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_PARAM));
}

// VantriGetVersion: each pointer given or not, with a cached driver version
// or none. The library version is written whenever its pointer is given.
TEST_F(LibraryTest, GetVersionPointerCases)
{
    constexpr DWORD kUntouched = 0xCDCDCDCDu;
    struct Row {
        bool dllGiven, driverGiven;
        DWORD cached;
        BOOL result;
        DWORD dllAfter, driverAfter, globalAfter;
    } const rows[] = {
        {false, false, 0x20001, TRUE, kUntouched, kUntouched, 0},
        {false, false, 0, TRUE, kUntouched, kUntouched, 0},
        {true, false, 0x20001, TRUE, VANTRI_DLL_VERSION, kUntouched, 0},
        {true, false, 0, TRUE, VANTRI_DLL_VERSION, kUntouched, 0},
        {false, true, 0x20001, TRUE, kUntouched, 0x20001, 0},
        {true, true, 0x20001, TRUE, VANTRI_DLL_VERSION, 0x20001, 0},
        {true, true, 0xFFFFFFFFu, TRUE, VANTRI_DLL_VERSION, 0xFFFFFFFFu, 0},
        {false, true, 0, FALSE, kUntouched, kUntouched, VANTRI_ERR_SYSTEM},
        {true, true, 0, FALSE, VANTRI_DLL_VERSION, kUntouched, VANTRI_ERR_SYSTEM},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "dll " << row.dllGiven << " driver " << row.driverGiven
                                          << " cached 0x" << std::hex << row.cached);
        ASSERT_EQ(Reattach(Config(VANTRISIM_DEFAULT_BOARD_MASK), 1, row.cached), TRUE);
        DWORD dll = kUntouched, drv = kUntouched;
        EXPECT_EQ(VantriGetVersion(row.dllGiven ? &dll : nullptr, row.driverGiven ? &drv : nullptr),
                  row.result);
        EXPECT_EQ(dll, row.dllAfter);
        EXPECT_EQ(drv, row.driverAfter);
        EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), row.globalAfter);
        EXPECT_EQ(ReadLog().size(), 0u) << "GetVersion never asks the driver";
    }
}

}  // namespace
}  // namespace vt
