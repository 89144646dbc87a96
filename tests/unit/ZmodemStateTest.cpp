#include "device/ShellChannel.h"
#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <unistd.h>

namespace
{
struct ZmodemStateTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        zmodemTimeoutCount = 0;
        zmodemSetDefaults();
    }

    void TearDown() override
    {
        if (serialPortHandle != INVALID_SERIAL_HANDLE)
            zmodemClose();
        errorClear();
    }
};

size_t countOf (const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find (part); at != std::string::npos; at = text.find (part, at + 1))
        ++n;
    return n;
}
} // namespace

TEST_F (ZmodemStateTest, FirstErrorIsKeptLaterOnesStillLogged)
{
    CapturedLog log;
    errorSet ("ZMD004 CRCXM error, ours = %x, theirs = %x\n", 0x1234u, 0x5678u);
    errorSet ("ZMD008 Bad hex character %x received\n", 0x47u);
    errorSet ("ZMD009 Timeout\n");

    EXPECT_TRUE (errorIs ("ZMD004 CRCXM error, ours = %x, theirs = %x\n"));
    EXPECT_FALSE (errorIs ("ZMD008 Bad hex character %x received\n"));
    EXPECT_STREQ (zmodemState.errorText, "ZMD004 CRCXM error, ours = 1234, theirs = 5678\n");
    EXPECT_EQ (zmodemTimeoutCount, 1);

    errorClear();
    EXPECT_FALSE (errorPending());
    errorClear();
    std::string text = log.finish();

    EXPECT_EQ (text.substr (text.find ("errorSet")),
               "errorSet : ZMD004 CRCXM error, ours = %x, theirs = %x\n\n"
               "errorSet : ZMD008 Bad hex character %x received\n\n"
               "ZMD004 CRCXM error, ours = 1234, theirs = 5678\n"
               "\n****   End Zmodem logging   ****\n");
}

TEST_F (ZmodemStateTest, TimeoutsAreCountedNotLoggedAndErrorIsFollowsThePendingOne)
{
    CapturedLog log;
    errorSet ("ZMD009 Timeout\n");
    EXPECT_TRUE (errorIs ("ZMD009 Timeout\n"));
    errorSet ("ZMD009 Timeout\n");
    errorSet ("ZMD009 Timeout\n");
    EXPECT_EQ (zmodemTimeoutCount, 3);
    errorClear();

    errorSet ("ZMD006 CRC32 error - ours = %lx, theirs = %lx\n", 1ul, 2ul);
    errorSet ("ZMD009 Timeout\n");
    EXPECT_FALSE (errorIs ("ZMD009 Timeout\n")) << "a later timeout does not replace the pending error";
    EXPECT_EQ (zmodemTimeoutCount, 4);
    std::string text = log.finish();
    EXPECT_EQ (countOf (text, "errorSet : ZMD009"), 0u);
    EXPECT_EQ (countOf (text, "errorSet : ZMD006"), 1u);
}

TEST_F (ZmodemStateTest, ErrorTextIsBoundedForLongNames)
{
    std::string longName (5000, 'n');
    errorSet ("failed to open file %s: %s\n", longName.c_str(), "No such file or directory");
    EXPECT_EQ (std::strlen (zmodemState.errorText), (size_t) zmodemErrorSize - 1);
    EXPECT_TRUE (errorIs ("failed to open file %s: %s\n"));
}

TEST_F (ZmodemStateTest, BlockingReadGivesUpAfterAboutTwoSeconds)
{
    PtyPair line;
    ASSERT_TRUE (zmodemOpen (line.path.c_str()));
    EXPECT_EQ (zmodemState.blockingRead, 1);
    ASSERT_NE (zmodemState.buffer, nullptr);
    EXPECT_EQ (zmodemState.bufEnd - zmodemState.buffer, 18000);

    line.writeFar ("A");
    readRawByte();
    EXPECT_EQ (zmodemState.curChar, 'A');

    auto before = std::chrono::steady_clock::now();
    readRawByte();
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - before).count();
    EXPECT_TRUE (errorIs ("ZMD009 Timeout\n"));
    EXPECT_EQ (zmodemTimeoutCount, 1);
    EXPECT_EQ (zmodemState.curChar, 'A') << "a timeout keeps the old byte";
    EXPECT_GE (waited, 2000);
    EXPECT_LT (waited, 3500);
}

TEST_F (ZmodemStateTest, NonBlockingReadTriesOnceAndPendingErrorKeepsOldByte)
{
    PtyPair line;
    ASSERT_TRUE (zmodemOpen (line.path.c_str()));
    zmodemState.blockingRead = 0;
    zmodemState.curChar = 'q';

    auto before = std::chrono::steady_clock::now();
    readRawByte();
    EXPECT_LT (std::chrono::steady_clock::now() - before, std::chrono::milliseconds (50));
    EXPECT_TRUE (errorIs ("ZMD009 Timeout\n"));

    line.writeFar ("Z");
    ::usleep (30 * 1000);
    readRawByte();
    EXPECT_EQ (zmodemState.curChar, 'q') << "with an error pending the byte is not taken";
}

TEST_F (ZmodemStateTest, FlushInputDiscardsEverythingWaiting)
{
    PtyPair line;
    ASSERT_TRUE (zmodemOpen (line.path.c_str()));
    line.writeFar (std::string (1000, 'x'));
    ::usleep (50 * 1000);
    flushInput();
    char rest[8];
    EXPECT_EQ (readSerialPort (rest, sizeof (rest)), 0);
}

TEST_F (ZmodemStateTest, OpenOnMissingPortFailsWithCommsErrorPending)
{
    CapturedLog log;
    EXPECT_FALSE (zmodemOpen ("/dev/vorlen-missing-port"));
    EXPECT_TRUE (errorIs ("COM: A comms error has occured\n"));
    zmodemClose();
    std::string text = log.finish();
    EXPECT_NE (text.find ("rc from CreateFile() is 2\n"), std::string::npos) << text;
}

TEST_F (ZmodemStateTest, BytesReadAheadStayWithTheirPortAndReachTheShell)
{
    PtyPair first, second;
    ASSERT_TRUE (zmodemOpen (first.path.c_str()));
    first.writeFar ("x/usr/ap # ");
    ::usleep (30 * 1000);
    readRawByte();
    EXPECT_EQ (zmodemState.curChar, 'x');
    EXPECT_EQ (readShellOutput(), "/usr/ap # ") << "the prompt the engine read ahead is the shell's";

    first.writeFar ("left behind");
    ::usleep (30 * 1000);
    readRawByte();
    zmodemClose();
    ASSERT_TRUE (zmodemOpen (second.path.c_str()));
    second.writeFar ("Q");
    ::usleep (30 * 1000);
    readRawByte();
    EXPECT_EQ (zmodemState.curChar, 'Q') << "nothing of the first port reaches the second";
}
