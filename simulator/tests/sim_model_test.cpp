// Tests of the portable board model: what every request answers, the board's
// ports, faults, the log and the control records.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>

#include "sim_model.h"
#include "vantri_protocol.h"

namespace {

constexpr uint32_t kPid = 4242;

struct Reply {
    SimResult result;
    VantriReply reply;
};

class SimModelTest : public ::testing::Test {
protected:
    void SetUp() override { SimModelInit(m()); }

    SimModel *m() { return model_.get(); }

    // A request the way the library sends it: 64/64, a port record for the
    // port requests, no input pointer for the others, null/0 for the version.
    Reply Send(uint32_t board, uint32_t code, uint32_t port = 0, uint32_t value = 0,
               uint64_t nowMs = 0)
    {
        Reply r;
        memset(&r.reply, 0xEE, sizeof r.reply);
        VantriPortRequest req;
        memset(&req, 0xCC, sizeof req);
        req.dwPort = port;
        req.dwValue = value;
        bool port_request = code == IOCTL_VANTRI_IN_PORT || code == IOCTL_VANTRI_OUT_PORT;
        uint32_t in_len = code == IOCTL_VANTRI_GET_VERSION ? 0 : VANTRI_REQUEST_SIZE;
        r.result = SimModelRequest(m(), board, code, port_request ? &req : nullptr, in_len,
                                   &r.reply, sizeof r.reply, kPid, nowMs);
        return r;
    }

    uint8_t InPort(uint32_t board, uint32_t port, uint64_t nowMs = 0)
    {
        Reply r = Send(board, IOCTL_VANTRI_IN_PORT, port, 0, nowMs);
        EXPECT_EQ(0u, r.reply.dwStatus);
        EXPECT_EQ(0u, r.reply.dwData1 & 0xFFFFFF00u) << "upper bytes of the value word";
        return (uint8_t)r.reply.dwData1;
    }

    bool Control(uint32_t code, const void *in, uint32_t inLen, void *out = nullptr,
                 uint32_t outLen = 0, uint64_t nowMs = 0)
    {
        uint32_t got = 0xFFFFFFFF;
        return SimModelControl(m(), code, in, inLen, out, outLen, &got, nowMs);
    }

    bool SetFault(uint32_t board, uint32_t code, uint32_t kind, uint32_t word = 0,
                  uint32_t value = 0, uint32_t count = 0)
    {
        VantriSimFault f = { board, code, kind, word, value, count };
        return Control(IOCTL_VANTRISIM_SET_FAULT, &f, sizeof f);
    }

    bool SetInput(uint32_t board, uint32_t port, uint32_t mode, uint32_t value)
    {
        VantriSimInput in = { board, port, mode, value };
        return Control(IOCTL_VANTRISIM_SET_INPUT, &in, sizeof in);
    }

    bool SetPattern(uint32_t board, uint32_t port, uint32_t periodMs, uint64_t nowMs)
    {
        VantriSimPattern p = { board, port, periodMs };
        return Control(IOCTL_VANTRISIM_SET_PATTERN, &p, sizeof p, nullptr, 0, nowMs);
    }

    VantriSimStatus Status(uint64_t nowMs = 0)
    {
        VantriSimStatus st;
        memset(&st, 0xEE, sizeof st);
        EXPECT_TRUE(Control(IOCTL_VANTRISIM_GET_STATUS, nullptr, 0, &st, sizeof st, nowMs));
        return st;
    }

    VantriSimLogPage LogPage(uint32_t first)
    {
        VantriSimLogPage page;
        memset(&page, 0xEE, sizeof page);
        VantriSimLogQuery q = { first };
        memcpy(&page, &q, sizeof q);  // one buffer for query and page, as buffered I/O has it
        EXPECT_TRUE(Control(IOCTL_VANTRISIM_READ_LOG, &page, sizeof q, &page, sizeof page));
        return page;
    }

    static bool Zero(const uint8_t *p, size_t n)
    {
        for (size_t i = 0; i < n; i++)
            if (p[i] != 0)
                return false;
        return true;
    }

private:
    std::unique_ptr<SimModel> model_ = std::make_unique<SimModel>();
};

TEST_F(SimModelTest, EachRequestAnswersItsReplyRecord)
{
    ASSERT_TRUE(SetInput(1, 2, VANTRISIM_INPUT_FIXED, 0x5A));
    struct Row {
        uint32_t board, code, port;
        uint32_t data1, data2;
    } rows[] = {
        { 0, IOCTL_VANTRI_GET_VERSION, 0, VANTRISIM_DEFAULT_VERSION, 0 },
        { 0, IOCTL_VANTRI_OPEN, 0, 0, 0 },
        { 2, IOCTL_VANTRI_CLOSE, 0, 0, 0 },
        { 0, IOCTL_VANTRI_GET_RESOURCE, 0, 0x300, 4 },
        { 1, IOCTL_VANTRI_GET_RESOURCE, 0, 0x310, 4 },
        { 2, IOCTL_VANTRI_GET_RESOURCE, 0, 0x320, 4 },
        { 1, IOCTL_VANTRI_IN_PORT, 2, 0x5A, 0 },
        { 0, IOCTL_VANTRI_OUT_PORT, 3, 0, 0 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "board " << row.board << " code 0x" << std::hex << row.code);
        Reply r = Send(row.board, row.code, row.port, 0x11);
        EXPECT_EQ(SimOutcome::Complete, r.result.outcome);
        EXPECT_EQ(64u, r.result.bytesReturned);
        EXPECT_EQ(0u, r.reply.dwStatus);
        EXPECT_EQ(row.data1, r.reply.dwData1);
        EXPECT_EQ(row.data2, r.reply.dwData2);
        EXPECT_TRUE(Zero(r.reply.bUnused, sizeof r.reply.bUnused));
    }
}

TEST_F(SimModelTest, OutputLatchTakesLowByteAndLoopsBackToItsOwnPort)
{
    EXPECT_EQ(0u, Send(0, IOCTL_VANTRI_OUT_PORT, 2, 0x1A5).reply.dwStatus);
    EXPECT_EQ(0xA5, InPort(0, 2));
    EXPECT_EQ(0x00, InPort(0, 1));
    EXPECT_EQ(0x00, InPort(1, 2)) << "boards have latches of their own";
    VantriSimStatus st = Status();
    EXPECT_EQ(0xA5, st.bLatch[0][2]);
    EXPECT_EQ(0xA5, st.bInput[0][2]);
}

TEST_F(SimModelTest, FixedInputReplacesLoopbackUntilSwitchedBack)
{
    Send(0, IOCTL_VANTRI_OUT_PORT, 1, 0x0F);
    ASSERT_TRUE(SetInput(0, 1, VANTRISIM_INPUT_FIXED, 0x1F0));
    EXPECT_EQ(0xF0, InPort(0, 1));
    Send(0, IOCTL_VANTRI_OUT_PORT, 1, 0x33);
    EXPECT_EQ(0xF0, InPort(0, 1)) << "output does not reach a fixed input";
    EXPECT_EQ(0x33, Status().bLatch[0][1]);
    ASSERT_TRUE(SetInput(0, 1, VANTRISIM_INPUT_LOOPBACK, 0));
    EXPECT_EQ(0x33, InPort(0, 1));
    EXPECT_EQ((uint32_t)VANTRISIM_INPUT_LOOPBACK, Status().dwInputMode[0][1]);
}

TEST_F(SimModelTest, PatternGeneratorWalksOneBitPerPeriod)
{
    ASSERT_TRUE(SetInput(2, 0, VANTRISIM_INPUT_FIXED, 0x42));
    ASSERT_TRUE(SetPattern(2, 0, 100, 1000));
    struct { uint64_t now; uint8_t value; } rows[] = {
        { 1000, 0x01 }, { 1099, 0x01 }, { 1100, 0x02 }, { 1250, 0x04 },
        { 1799, 0x80 }, { 1800, 0x01 }, { 500, 0x01 } /* clock before the start */,
        { 1000 + 100ull * 8 * 1000000 + 300, 0x08 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.now);
        EXPECT_EQ(row.value, InPort(2, 0, row.now));
        EXPECT_EQ(row.value, Status(row.now).bInput[2][0]);
    }
    EXPECT_EQ(100u, Status().dwPatternMs[2][0]);
    ASSERT_TRUE(SetPattern(2, 0, 0, 2000));
    EXPECT_EQ(0x42, InPort(2, 0, 2050)) << "off: the fixed input shows again";
}

TEST_F(SimModelTest, BadPortUnknownCodeAndMissingRecordGetTheirStatus)
{
    struct Row {
        uint32_t code, port, status;
    } rows[] = {
        { IOCTL_VANTRI_IN_PORT, 4, VANTRISIM_STATUS_BAD_PORT },
        { IOCTL_VANTRI_OUT_PORT, 4, VANTRISIM_STATUS_BAD_PORT },
        { IOCTL_VANTRI_IN_PORT, 0xFFFFFFFF, VANTRISIM_STATUS_BAD_PORT },
        { IOCTL_VANTRI_OUT_PORT, 0x100, VANTRISIM_STATUS_BAD_PORT },
        { 0x8000200C /* function 0x803 */, 0, VANTRISIM_STATUS_BAD_REQUEST },
        { 0, 0, VANTRISIM_STATUS_BAD_REQUEST },
        { 0x80012000, 0, VANTRISIM_STATUS_BAD_REQUEST },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << row.code << " port " << row.port);
        Reply r = Send(0, row.code, row.port, 0xFF);
        EXPECT_EQ(SimOutcome::Complete, r.result.outcome);
        EXPECT_EQ(row.status, r.reply.dwStatus);
        EXPECT_EQ(0u, r.reply.dwData1);
    }
    VantriSimStatus st = Status();
    EXPECT_TRUE(Zero(&st.bLatch[0][0], sizeof st.bLatch)) << "refused writes leave the latches";

    // A port request without its record: no input, or too short for its fields.
    VantriReply reply;
    uint8_t shortIn[8] = { 1, 0, 0, 0, 0x77, 0, 0, 0 };
    EXPECT_EQ(64u, SimModelRequest(m(), 0, IOCTL_VANTRI_IN_PORT, nullptr, 64, &reply, 64, kPid, 0).bytesReturned);
    EXPECT_EQ(VANTRISIM_STATUS_BAD_LENGTH, reply.dwStatus);
    SimModelRequest(m(), 0, IOCTL_VANTRI_OUT_PORT, shortIn, 4, &reply, 64, kPid, 0);
    EXPECT_EQ(VANTRISIM_STATUS_BAD_LENGTH, reply.dwStatus);
    SimModelRequest(m(), 0, IOCTL_VANTRI_OUT_PORT, shortIn, 8, &reply, 64, kPid, 0);
    EXPECT_EQ(0u, reply.dwStatus);
    EXPECT_EQ(0x77, Status().bLatch[0][1]);
}

TEST_F(SimModelTest, OneBufferForInputAndOutputReadsTheRequestFirst)
{
    uint8_t buf[64];
    memset(buf, 0xCC, sizeof buf);
    VantriPortRequest req = {};
    req.dwPort = 3;
    req.dwValue = 0x96;
    memcpy(buf, &req, 8);
    SimResult r = SimModelRequest(m(), 0, IOCTL_VANTRI_OUT_PORT, buf, 64, buf, 64, kPid, 0);
    EXPECT_EQ(64u, r.bytesReturned);
    EXPECT_EQ(0x96, Status().bLatch[0][3]);
    EXPECT_TRUE(Zero(buf, sizeof buf)) << "the whole reply replaced the request";

    memset(buf, 0xCC, sizeof buf);
    memcpy(buf, &req, 4);
    SimModelRequest(m(), 0, IOCTL_VANTRI_IN_PORT, buf, 64, buf, 64, kPid, 0);
    VantriReply reply;
    memcpy(&reply, buf, sizeof reply);
    EXPECT_EQ(0u, reply.dwStatus);
    EXPECT_EQ(0x96u, reply.dwData1);

    VantriSimLogPage page = LogPage(0);
    ASSERT_EQ(2u, page.dwCount);
    const uint8_t logged[8] = { 3, 0, 0, 0, 0x96, 0, 0, 0 };
    EXPECT_EQ(0, memcmp(logged, page.entries[0].bInput, 8));
    const uint8_t loggedIn[8] = { 3, 0, 0, 0, 0xCC, 0xCC, 0xCC, 0xCC };
    EXPECT_EQ(0, memcmp(loggedIn, page.entries[1].bInput, 8));
}

TEST_F(SimModelTest, ShortOrMissingOutputReceivesWhatFits)
{
    uint8_t out[64];
    for (uint32_t len : { 0u, 4u, 8u, 12u, 63u }) {
        SCOPED_TRACE(len);
        memset(out, 0xEE, sizeof out);
        SimResult r = SimModelRequest(m(), 1, IOCTL_VANTRI_GET_RESOURCE, nullptr, 64, out, len, kPid, 0);
        EXPECT_EQ(SimOutcome::Complete, r.outcome);
        EXPECT_EQ(len, r.bytesReturned);
        VantriReply full = {};
        full.dwData1 = 0x310;
        full.dwData2 = 4;
        EXPECT_EQ(0, memcmp(&full, out, len));
        for (uint32_t i = len; i < sizeof out; i++)
            ASSERT_EQ(0xEE, out[i]) << "byte " << i << " lies past the declared output";
    }
    VantriPortRequest req = {};
    req.dwPort = 0;
    req.dwValue = 9;
    SimResult r = SimModelRequest(m(), 0, IOCTL_VANTRI_OUT_PORT, &req, 64, nullptr, 64, kPid, 0);
    EXPECT_EQ(0u, r.bytesReturned);
    EXPECT_EQ(9, Status().bLatch[0][0]) << "the write happens without a reply buffer";
}

TEST_F(SimModelTest, PathOpensExclusivelyAndOnlyForConfiguredBoards)
{
    EXPECT_TRUE(SimModelOpen(m(), 0));
    EXPECT_FALSE(SimModelOpen(m(), 0)) << "second open of an open path";
    EXPECT_TRUE(SimModelOpen(m(), 2));
    for (uint32_t absent : { 3u, 15u, 16u, 0xFFFFu, 0xFFFFFFFFu })
        EXPECT_FALSE(SimModelOpen(m(), absent)) << absent;
    VantriSimStatus st = Status();
    EXPECT_EQ(1u, st.dwOpenCount[0]);
    EXPECT_EQ(0u, st.dwOpenCount[1]);
    EXPECT_EQ(1u, st.dwOpenCount[2]);
    SimModelClose(m(), 0);
    SimModelClose(m(), 0);  // a stray close does not wrap the count
    SimModelClose(m(), 99);
    EXPECT_EQ(0u, Status().dwOpenCount[0]);
    EXPECT_TRUE(SimModelOpen(m(), 0));
}

TEST_F(SimModelTest, FailFaultDeliversNothingForItsCount)
{
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_FAIL, 0, 0, 2));
    for (int i = 0; i < 2; i++) {
        Reply r = Send(0, IOCTL_VANTRI_OUT_PORT, 0, 0x55);
        EXPECT_EQ(SimOutcome::Fail, r.result.outcome);
        EXPECT_EQ(0u, r.result.bytesReturned);
        EXPECT_EQ(0xEEEEEEEEu, r.reply.dwStatus) << "no reply written";
    }
    EXPECT_EQ(0, Status().bLatch[0][0]) << "an undelivered write has no effect";
    EXPECT_EQ(0u, Status().dwFaultCount) << "the counted fault is used up";
    EXPECT_EQ(SimOutcome::Complete, Send(0, IOCTL_VANTRI_OUT_PORT, 0, 0x55).result.outcome);
    EXPECT_EQ(0x55, Status().bLatch[0][0]);
    VantriSimLogPage page = LogPage(0);
    ASSERT_EQ(3u, page.dwCount);
    EXPECT_EQ((uint32_t)VANTRISIM_FAULT_FAIL, page.entries[0].dwOutcome);
    EXPECT_EQ((uint32_t)VANTRISIM_FAULT_FAIL, page.entries[1].dwOutcome);
    EXPECT_EQ((uint32_t)VANTRISIM_FAULT_NONE, page.entries[2].dwOutcome);
}

TEST_F(SimModelTest, StatusFaultRefusesUntilCleared)
{
    ASSERT_TRUE(SetFault(1, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_STATUS, 0, 0x1234));
    for (int i = 0; i < 3; i++) {
        Reply r = Send(1, IOCTL_VANTRI_OUT_PORT, 1, 0xFF);
        EXPECT_EQ(SimOutcome::Complete, r.result.outcome);
        EXPECT_EQ(0x1234u, r.reply.dwStatus);
        EXPECT_EQ(0u, r.reply.dwData1);
    }
    EXPECT_EQ(0, Status().bLatch[1][1]) << "a refused write has no effect";
    EXPECT_EQ(0u, Send(0, IOCTL_VANTRI_OUT_PORT, 1, 1).reply.dwStatus) << "other board";
    EXPECT_EQ(0u, Send(1, IOCTL_VANTRI_IN_PORT, 1).reply.dwStatus) << "other request";
    ASSERT_TRUE(Control(IOCTL_VANTRISIM_CLEAR_FAULTS, nullptr, 0));
    EXPECT_EQ(0u, Send(1, IOCTL_VANTRI_OUT_PORT, 1, 0xFF).reply.dwStatus);
}

TEST_F(SimModelTest, ReplyWordFaultOverwritesTheNormalReply)
{
    ASSERT_TRUE(SetFault(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_REPLY_WORD, 2, 8, 1));
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_REPLY_WORD, 1, 0));
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_REPLY_WORD, 15, 0xABCD));

    Reply r = Send(1, IOCTL_VANTRI_GET_RESOURCE);
    EXPECT_EQ(0u, r.reply.dwStatus);
    EXPECT_EQ(0x310u, r.reply.dwData1);
    EXPECT_EQ(8u, r.reply.dwData2);
    EXPECT_EQ(4u, Send(1, IOCTL_VANTRI_GET_RESOURCE).reply.dwData2) << "count 1 is used up";

    r = Send(0, IOCTL_VANTRI_GET_VERSION);
    EXPECT_EQ(SimOutcome::Complete, r.result.outcome);
    EXPECT_EQ(0u, r.reply.dwData1);

    r = Send(0, IOCTL_VANTRI_OUT_PORT, 2, 0x81);
    EXPECT_EQ(0x81, Status().bLatch[0][2]) << "the request itself still happens";
    uint32_t last;
    memcpy(&last, r.reply.bUnused + 48, 4);
    EXPECT_EQ(0xABCDu, last);
    EXPECT_EQ((uint32_t)VANTRISIM_FAULT_REPLY_WORD, LogPage(0).entries[0].dwOutcome);
}

TEST_F(SimModelTest, PendFaultAnswersAndAsksForLaterCompletion)
{
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, 250, 1));
    Send(0, IOCTL_VANTRI_OUT_PORT, 1, 0x3C);
    Reply r = Send(0, IOCTL_VANTRI_IN_PORT, 1);
    EXPECT_EQ(SimOutcome::Pend, r.result.outcome);
    EXPECT_EQ(250u, r.result.pendMs);
    EXPECT_EQ(64u, r.result.bytesReturned);
    EXPECT_EQ(0u, r.reply.dwStatus);
    EXPECT_EQ(0x3Cu, r.reply.dwData1);
    EXPECT_EQ(SimOutcome::Complete, Send(0, IOCTL_VANTRI_IN_PORT, 1).result.outcome);

    SimModelPendingChanged(m(), +1);
    SimModelPendingChanged(m(), +1);
    EXPECT_EQ(2u, Status().dwPendingCount);
    SimModelPendingChanged(m(), -1);
    SimModelPendingChanged(m(), -5);  // never below zero
    EXPECT_EQ(0u, Status().dwPendingCount);
}

TEST_F(SimModelTest, OpenFailsFaultRefusesThePathForItsCount)
{
    ASSERT_TRUE(SetFault(1, 0, VANTRISIM_FAULT_OPEN_FAILS, 0, 0, 2));
    EXPECT_FALSE(SimModelOpen(m(), 1));
    EXPECT_FALSE(SimModelOpen(m(), 1));
    EXPECT_TRUE(SimModelOpen(m(), 1));
    EXPECT_EQ(SimOutcome::Complete, Send(1, IOCTL_VANTRI_OPEN).result.outcome)
        << "an open fault does not touch requests";
    SimModelClose(m(), 1);

    ASSERT_TRUE(SetFault(0, 0, VANTRISIM_FAULT_OPEN_FAILS));
    EXPECT_FALSE(SimModelPathOpens(m(), 0));
    EXPECT_TRUE(SimModelPathOpens(m(), 1)) << "open handles do not close the path";
    EXPECT_FALSE(SimModelPathOpens(m(), 3)) << "absent board";
    EXPECT_FALSE(SimModelPathOpens(m(), 16));
    EXPECT_TRUE(SimModelOpen(m(), 2)) << "other board";
    for (int i = 0; i < 3; i++)
        EXPECT_FALSE(SimModelOpen(m(), 0));
    ASSERT_TRUE(SetFault(0, 0, VANTRISIM_FAULT_NONE));  // NONE removes the fault of board and code
    EXPECT_TRUE(SimModelPathOpens(m(), 0));
    EXPECT_TRUE(SimModelOpen(m(), 0));
}

TEST_F(SimModelTest, FaultsAreKeptPerBoardAndCodeAndCheckedOnEntry)
{
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_FAIL));
    ASSERT_TRUE(SetFault(0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 0, 7));  // replaces
    EXPECT_EQ(1u, Status().dwFaultCount);
    EXPECT_EQ(7u, Send(0, IOCTL_VANTRI_IN_PORT).reply.dwStatus);

    struct { VantriSimFault f; const char *why; } bad[] = {
        { { 16, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_FAIL, 0, 0, 0 }, "board 16" },
        { { 0, IOCTL_VANTRI_IN_PORT, 6, 0, 0, 0 }, "unknown kind" },
        { { 0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 0, 0, 0 }, "status 0" },
        { { 0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_REPLY_WORD, 16, 1, 0 }, "word 16" },
    };
    for (const auto &row : bad)
        EXPECT_FALSE(Control(IOCTL_VANTRISIM_SET_FAULT, &row.f, sizeof row.f)) << row.why;
    EXPECT_EQ(7u, Send(0, IOCTL_VANTRI_IN_PORT).reply.dwStatus) << "a refused fault changes nothing";

    ASSERT_TRUE(Control(IOCTL_VANTRISIM_CLEAR_FAULTS, nullptr, 0));
    for (uint32_t i = 0; i < VANTRISIM_MAX_FAULTS; i++)
        ASSERT_TRUE(SetFault(i % 16, 0x80002000 + 4 * (i / 16), VANTRISIM_FAULT_FAIL));
    EXPECT_FALSE(SetFault(0, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_FAIL)) << "table full";
    EXPECT_TRUE(SetFault(3, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_STATUS, 0, 9)) << "replacing still works";
}

TEST_F(SimModelTest, LogRecordsEveryRequestAsReceived)
{
    ASSERT_TRUE(SetFault(2, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_FAIL, 0, 0, 1));
    Send(0, IOCTL_VANTRI_GET_VERSION);
    Send(1, IOCTL_VANTRI_OPEN);
    Send(1, IOCTL_VANTRI_OUT_PORT, 2, 0xC3);
    Send(2, IOCTL_VANTRI_CLOSE);
    uint8_t nonNull[4] = { 9, 9, 9, 9 };
    VantriReply reply;
    SimModelRequest(m(), 0, IOCTL_VANTRI_GET_VERSION, nonNull, 0, &reply, 32, 77, 0);

    struct Row {
        uint32_t board, code, inLen, outLen, present, outcome, pid;
        uint8_t input[8];
    } rows[] = {
        { 0, IOCTL_VANTRI_GET_VERSION, 0, 64, 0, VANTRISIM_FAULT_NONE, kPid, {} },
        { 1, IOCTL_VANTRI_OPEN, 64, 64, 0, VANTRISIM_FAULT_NONE, kPid, {} },
        { 1, IOCTL_VANTRI_OUT_PORT, 64, 64, 1, VANTRISIM_FAULT_NONE, kPid, { 2, 0, 0, 0, 0xC3, 0, 0, 0 } },
        { 2, IOCTL_VANTRI_CLOSE, 64, 64, 0, VANTRISIM_FAULT_FAIL, kPid, {} },
        { 0, IOCTL_VANTRI_GET_VERSION, 0, 32, 0, VANTRISIM_FAULT_NONE, 77, {} },
    };
    VantriSimLogPage page = LogPage(0);
    ASSERT_EQ(5u, page.dwTotal);
    ASSERT_EQ(5u, page.dwCount);
    EXPECT_EQ(0u, page.dwDropped);
    for (uint32_t i = 0; i < 5; i++) {
        SCOPED_TRACE(i);
        const VantriSimLogEntry &e = page.entries[i];
        EXPECT_EQ(i + 1, e.dwSequence);
        EXPECT_EQ(rows[i].board, e.dwBoard);
        EXPECT_EQ(rows[i].code, e.dwCode);
        EXPECT_EQ(rows[i].inLen, e.dwInputLength);
        EXPECT_EQ(rows[i].outLen, e.dwOutputLength);
        EXPECT_EQ(rows[i].present, e.dwInputPresent);
        EXPECT_EQ(rows[i].outcome, e.dwOutcome);
        EXPECT_EQ(rows[i].pid, e.dwProcessId);
        EXPECT_EQ(0, memcmp(rows[i].input, e.bInput, 8));
    }
    EXPECT_TRUE(Zero((const uint8_t *)&page.entries[5], sizeof page.entries - 5 * sizeof page.entries[0]));
    ASSERT_TRUE(Control(IOCTL_VANTRISIM_CLEAR_LOG, nullptr, 0));
    Send(0, IOCTL_VANTRI_OPEN);
    page = LogPage(0);
    EXPECT_EQ(1u, page.dwTotal);
    EXPECT_EQ(1u, page.entries[0].dwSequence);
}

TEST_F(SimModelTest, LogIsBoundedCountsDropsAndPages)
{
    const uint32_t extra = 7;
    for (uint32_t i = 0; i < VANTRISIM_LOG_CAPACITY + extra; i++)
        Send(0, IOCTL_VANTRI_OUT_PORT, i % 4, i & 0xFF);
    VantriSimLogPage page = LogPage(0);
    EXPECT_EQ((uint32_t)VANTRISIM_LOG_CAPACITY, page.dwTotal);
    EXPECT_EQ(extra, page.dwDropped);
    EXPECT_EQ((uint32_t)VANTRISIM_LOG_PAGE, page.dwCount);
    EXPECT_EQ(VANTRISIM_LOG_CAPACITY, Status().dwLogTotal);

    page = LogPage(VANTRISIM_LOG_CAPACITY - 5);
    ASSERT_EQ(5u, page.dwCount);
    EXPECT_EQ((uint32_t)VANTRISIM_LOG_CAPACITY, page.entries[4].dwSequence) << "the oldest entries stay";
    EXPECT_EQ((VANTRISIM_LOG_CAPACITY - 1) & 0xFF, page.entries[4].bInput[4]);
    for (uint32_t first : { (uint32_t)VANTRISIM_LOG_CAPACITY, 0xFFFFFFFFu }) {
        page = LogPage(first);
        EXPECT_EQ(0u, page.dwCount);
        EXPECT_EQ((uint32_t)VANTRISIM_LOG_CAPACITY, page.dwTotal);
    }
}

TEST_F(SimModelTest, ControlRecordsOfWrongSizeOrUnknownCodeAreRefused)
{
    uint8_t in[sizeof(VantriSimConfig) + 8] = {};
    uint8_t out[sizeof(VantriSimStatus) + 8];
    SimModelDefaultConfig(reinterpret_cast<VantriSimConfig *>(in));
    struct Row {
        uint32_t code;
        const void *in;
        uint32_t inLen, outLen;
    } rows[] = {
        { IOCTL_VANTRISIM_RESET, in, sizeof(VantriSimConfig) - 1, 0 },
        { IOCTL_VANTRISIM_RESET, in, sizeof(VantriSimConfig) + 1, 0 },
        { IOCTL_VANTRISIM_RESET, nullptr, sizeof(VantriSimConfig), 0 },
        { IOCTL_VANTRISIM_GET_STATUS, nullptr, 0, sizeof(VantriSimStatus) - 1 },
        { IOCTL_VANTRISIM_SET_INPUT, in, sizeof(VantriSimInput) - 1, 0 },
        { IOCTL_VANTRISIM_SET_INPUT, in, sizeof(VantriSimInput) + 4, 0 },
        { IOCTL_VANTRISIM_SET_PATTERN, in, sizeof(VantriSimPattern) - 4, 0 },
        { IOCTL_VANTRISIM_SET_FAULT, in, sizeof(VantriSimFault) - 4, 0 },
        { IOCTL_VANTRISIM_SET_FAULT, nullptr, sizeof(VantriSimFault), 0 },
        { IOCTL_VANTRISIM_READ_LOG, in, 0, sizeof(VantriSimLogPage) },
        { IOCTL_VANTRISIM_READ_LOG, in, sizeof(VantriSimLogQuery), sizeof(VantriSimLogPage) - 1 },
        { VANTRISIM_CTL_CODE(0x8FFu), in, 0, 0 },
        { VANTRISIM_CTL_CODE(0x908u), in, 0, 0 },
        { IOCTL_VANTRI_GET_VERSION, nullptr, 0, 64 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << row.code << " in " << std::dec
                                        << row.inLen << " out " << row.outLen);
        uint32_t got = 0xFFFFFFFF;
        EXPECT_FALSE(SimModelControl(m(), row.code, row.in, row.inLen, out, row.outLen, &got, 0));
        EXPECT_EQ(0u, got);
    }
    EXPECT_FALSE(SimModelControl(m(), IOCTL_VANTRISIM_GET_STATUS, nullptr, 0, nullptr,
                                 sizeof(VantriSimStatus), nullptr, 0));

    // Records of the right size with values out of range.
    EXPECT_FALSE(SetInput(16, 0, VANTRISIM_INPUT_FIXED, 1));
    EXPECT_FALSE(SetInput(0, 4, VANTRISIM_INPUT_FIXED, 1));
    EXPECT_FALSE(SetInput(0, 0, 2, 1));
    EXPECT_FALSE(SetPattern(16, 0, 100, 0));
    EXPECT_FALSE(SetPattern(0, 4, 100, 0));
    VantriSimConfig cfg;
    SimModelDefaultConfig(&cfg);
    cfg.dwBoardMask = 0x10001;
    EXPECT_FALSE(Control(IOCTL_VANTRISIM_RESET, &cfg, sizeof cfg));
    EXPECT_EQ(VANTRISIM_DEFAULT_BOARD_MASK, Status().config.dwBoardMask);

    uint32_t got = 0;
    EXPECT_TRUE(SimModelControl(m(), IOCTL_VANTRISIM_GET_STATUS, nullptr, 0, out, sizeof out, &got, 0));
    EXPECT_EQ(sizeof(VantriSimStatus), got) << "a larger buffer receives the record";
}

TEST_F(SimModelTest, ResetTakesTheConfigAndClearsAllButOpenHandles)
{
    ASSERT_TRUE(SimModelOpen(m(), 0));
    ASSERT_TRUE(SimModelOpen(m(), 1));
    Send(0, IOCTL_VANTRI_OUT_PORT, 0, 0xFF);
    ASSERT_TRUE(SetInput(0, 1, VANTRISIM_INPUT_FIXED, 0x12));
    ASSERT_TRUE(SetPattern(0, 2, 50, 0));
    ASSERT_TRUE(SetFault(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_FAIL));
    SimModelPendingChanged(m(), 1);

    VantriSimConfig cfg = {};
    cfg.dwBoardMask = (1u << 1) | (1u << 3) | (1u << 15);
    cfg.dwDriverVersion = 0;
    cfg.dwBase[3] = 0x2A0;
    cfg.dwLength[3] = 8;
    cfg.dwBase[15] = 0x3F0;
    cfg.dwLength[15] = 4;
    ASSERT_TRUE(Control(IOCTL_VANTRISIM_RESET, &cfg, sizeof cfg));

    VantriSimStatus st = Status(1000);
    EXPECT_EQ(0, memcmp(&cfg, &st.config, sizeof cfg));
    EXPECT_EQ(1u, st.dwOpenCount[0]) << "open handles stay open";
    EXPECT_EQ(1u, st.dwOpenCount[1]);
    EXPECT_EQ(1u, st.dwPendingCount) << "requests in flight are still in flight";
    EXPECT_TRUE(Zero(&st.bLatch[0][0], sizeof st.bLatch));
    EXPECT_TRUE(Zero(&st.bInput[0][0], sizeof st.bInput));
    EXPECT_TRUE(Zero((const uint8_t *)st.dwInputMode, sizeof st.dwInputMode));
    EXPECT_TRUE(Zero((const uint8_t *)st.dwPatternMs, sizeof st.dwPatternMs));
    EXPECT_EQ(0u, st.dwFaultCount);
    EXPECT_EQ(0u, st.dwLogTotal);

    EXPECT_EQ(SimOutcome::Fail, Send(0, IOCTL_VANTRI_OPEN).result.outcome)
        << "a board that went away fails requests on its old handle";
    EXPECT_EQ(SimOutcome::Complete, Send(1, IOCTL_VANTRI_OPEN).result.outcome) << "fault cleared";
    EXPECT_EQ(0u, Send(1, IOCTL_VANTRI_GET_VERSION).reply.dwData1) << "version 0 allowed";
    Reply r = Send(3, IOCTL_VANTRI_GET_RESOURCE);
    EXPECT_EQ(0x2A0u, r.reply.dwData1);
    EXPECT_EQ(8u, r.reply.dwData2);
    EXPECT_FALSE(SimModelOpen(m(), 2));
    EXPECT_TRUE(SimModelOpen(m(), 3));
    EXPECT_TRUE(SimModelOpen(m(), 15));
    EXPECT_FALSE(SimModelOpen(m(), 1)) << "still open from before the reset";
}

}  // namespace
