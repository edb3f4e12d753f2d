// port_test.cpp - the resource record, the port requests, and the bytes and
// lengths each request carries to the driver.
#include "fixture.h"

#include <cstring>

namespace vt {
namespace {

uint32_t Word(const uint8_t *bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

TEST_F(LibraryTest, ResourceRecordHoldsExactlyThreeWords)
{
    VantriSimConfig cfg = Config(VANTRISIM_DEFAULT_BOARD_MASK);
    cfg.dwBase[1] = 0x2A8;
    ASSERT_EQ(Reattach(cfg), TRUE);
    Open(1);
    uint32_t words[102];
    std::memset(words, 0xEE, sizeof words);
    static_assert(sizeof words == sizeof(VantriResource), "the record is 102 words");
    ASSERT_EQ(VantriGetResource(1, reinterpret_cast<VantriResource *>(words)), TRUE);
    for (int i = 0; i < 102; ++i) {
        uint32_t expected = i == 28 ? 1u : i == 29 ? 0x2A8u : i == 49 ? 4u : 0u;
        EXPECT_EQ(words[i], expected) << "word " << i << " (byte " << 4 * i << ")";
    }
}

TEST_F(LibraryTest, InPortWritesExactlyOneByte)
{
    Open(0);
    // Byte 4 of the reply is 0xA5, bytes 5..7 are not zero.
    SetFault(Fault(0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_REPLY_WORD, 0x5A3C7EA5u, 1, 1));
    BYTE area[5];
    std::memset(area, 0x11, sizeof area);
    ASSERT_EQ(VantriInPort(0, 2, &area[2]), TRUE);
    const BYTE expected[5] = {0x11, 0x11, 0xA5, 0x11, 0x11};
    EXPECT_EQ(0, std::memcmp(area, expected, sizeof area));
}

TEST_F(LibraryTest, InPortReadsWhatTheBoardShows)
{
    Open(2);
    VantriSimInput in = {2, 3, VANTRISIM_INPUT_FIXED, 0x96};
    ASSERT_EQ(WinlayerSetInput(&in), TRUE);
    ASSERT_EQ(VantriOutPort(2, 1, 0x5B), TRUE);
    BYTE b3 = 0, b1 = 0;
    EXPECT_EQ(VantriInPort(2, 3, &b3), TRUE);
    EXPECT_EQ(VantriInPort(2, 1, &b1), TRUE);
    EXPECT_EQ(b3, 0x96) << "fixed input";
    EXPECT_EQ(b1, 0x5B) << "loopback of the output latch";
}

// Every request's code, lengths and defined input bytes, from the model's log.
TEST_F(LibraryTest, RequestsCarryTheirCodesLengthsAndBytes)
{
    // The attach-time version query, seen from a fresh machine.
    Detach();
    WinlayerResetModel(nullptr);
    SetShared(0, 0);
    ASSERT_EQ(Attach(), TRUE);
    WORD w = 1;
    ASSERT_EQ(VantriCreate(&w), TRUE);
    VantriResource res;
    ASSERT_EQ(VantriGetResource(1, &res), TRUE);
    BYTE b;
    ASSERT_EQ(VantriInPort(1, 7, &b), FALSE) << "port 7: the driver's status decides";
    ASSERT_EQ(VantriInPort(1, 0xFFFFFFFFu, &b), FALSE);
    ASSERT_EQ(VantriOutPort(1, 3, 0x1FF), TRUE);
    ASSERT_EQ(VantriOutPort(1, 0x12345678u, 0xFFFFFF80u), FALSE);
    ASSERT_EQ(VantriClose(1), TRUE);

    struct Expected {
        uint32_t code;
        uint32_t inputLength;
        uint32_t inputPresent;
        uint32_t port;   // bytes 0..3 when present
        uint32_t value;  // bytes 4..7 for OUT_PORT
    } const expected[] = {
        {IOCTL_VANTRI_GET_VERSION, 0, 0, 0, 0},
        {IOCTL_VANTRI_OPEN, 64, 1, 0, 0},  // a zeroed record: no defined content
        {IOCTL_VANTRI_GET_RESOURCE, 64, 1, 0, 0},
        {IOCTL_VANTRI_IN_PORT, 64, 1, 7, 0},
        {IOCTL_VANTRI_IN_PORT, 64, 1, 0xFFFFFFFFu, 0},
        {IOCTL_VANTRI_OUT_PORT, 64, 1, 3, 0xFF},
        {IOCTL_VANTRI_OUT_PORT, 64, 1, 0x12345678u, 0x80},
        {IOCTL_VANTRI_CLOSE, 64, 1, 0, 0},
    };
    std::vector<VantriSimLogEntry> log = ReadLog();
    ASSERT_EQ(log.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < log.size(); ++i) {
        const VantriSimLogEntry &e = log[i];
        const Expected &x = expected[i];
        SCOPED_TRACE(::testing::Message() << "request " << i << ", code 0x" << std::hex << x.code);
        EXPECT_EQ(e.dwCode, x.code);
        EXPECT_EQ(e.dwBoard, i == 0 ? 0u : 1u);
        EXPECT_EQ(e.dwInputLength, x.inputLength);
        EXPECT_EQ(e.dwOutputLength, 64u);
        EXPECT_EQ(e.dwInputPresent, x.inputPresent);
        EXPECT_EQ(e.dwProcessId, 1000u);
        if (x.inputPresent) {
            EXPECT_EQ(Word(e.bInput), x.port) << "port index passed unchanged";
            if (x.code == IOCTL_VANTRI_OUT_PORT)
                EXPECT_EQ(Word(e.bInput + 4), x.value) << "low 8 bits, upper 24 zero";
        }
    }
    EXPECT_EQ(VantriGetLastError(1), static_cast<DWORD>(VANTRISIM_STATUS_BAD_PORT));
}

TEST_F(LibraryTest, ResourceAndPortCallsLeaveTheBoardOpenWhateverHappens)
{
    Open(1);
    SetFault(Fault(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_FAIL, 0, 1));
    SetFault(Fault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 3, 1));
    SetFault(Fault(1, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_STATUS, 2, 1));
    VantriResource res;
    BYTE b;
    EXPECT_EQ(VantriGetResource(1, &res), FALSE);
    EXPECT_EQ(VantriInPort(1, 0, &b), FALSE);
    EXPECT_EQ(VantriOutPort(1, 0, 0), FALSE);
    EXPECT_EQ(Status().dwOpenCount[1], 1u);
    EXPECT_EQ(VantriGetResource(1, &res), TRUE);
    EXPECT_EQ(res.dwBase, VANTRISIM_DEFAULT_BASE(1));
}

}  // namespace
}  // namespace vt
