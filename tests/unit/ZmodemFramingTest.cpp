#include "tests/support/PtyPair.h"
#include "zmodem/ZmodemCrc.h"
#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace std::string_literals;

namespace
{
struct ZmodemFramingTest : ::testing::Test
{
    PtyPair line;

    void SetUp() override
    {
        errorClear();
        zmodemSetDefaults();
        ASSERT_TRUE (zmodemOpen (line.path.c_str()));
        zmodemState.filePos = 0;
    }

    void TearDown() override
    {
        zmodemClose();
        errorClear();
    }

    void feed (const std::string& bytes)
    {
        line.writeFar (bytes);
        ::usleep (20 * 1000);
    }

    void setPayload (const std::string& bytes)
    {
        std::memcpy (zmodemState.buffer, bytes.data(), bytes.size());
        zmodemState.blockLen = (uint32_t) bytes.size();
    }
};

struct HeaderOnWire
{
    uint8_t type;
    uint8_t data[4];
    std::string wire;
};

const HeaderOnWire sentHexHeaders[] = {
    { 1, { 0, 0, 0, 0x23 }, "**\x18" "B0100000023be50\r\n\x11"s },
    { 8, { 0, 0, 0, 0 }, "**\x18" "B0800000000022d\r\n"s },
    { 9, { 0, 0, 0, 0 }, "**\x18" "B0900000000a87c\r\n\x11"s },
};

struct ReceivedHeader
{
    const char* what;
    std::string wire;
    int type;            // -1: an error is expected
    const char* error;   // its format
};

const ReceivedHeader receivedHeaders[] = {
    { "hex ZRINIT as rz sends it", "rz waiting to receive.**\x18" "B0100000023be50\r\x8a\x11"s, 1, nullptr },
    { "CRC-32 ZFILE", "*\x18" "C\x04\x00\x00\x00\x00\xdd\x51\xa2\x33"s, 4, nullptr },
    { "binary CRC-16 ZDATA after noise", "\x11xx*\x18" "A\x0a\x00\x00\x00\x00\x00\x00"s, -1,
      "ZMD004 CRCXM error, ours = %x, theirs = %x\n" },
    { "upper-case hex digits", "**\x18" "B0100000023BE50\r\n"s, -1, "ZMD008 Bad hex character %x received\n" },
    { "one ZPAD before ZDLE B is not a header", "*\x18" "B0800000000022d\r\n**\x18" "B0900000000a87c\r\n"s, 9, nullptr },
    { "damaged CRC-32 header", "*\x18" "C\x04\x00\x00\x00\x01\xdd\x51\xa2\x33"s, -1,
      "ZMD006 CRC32 error - ours = %lx, theirs = %lx\n" },
};
} // namespace

TEST (ZmodemCrcTest, CheckValuesOfBothChecks)
{
    EXPECT_EQ (crc16Of ("123456789", 9), 0x31C3);
    EXPECT_EQ (~crc32Of ("123456789", 9), 0xCBF43926u);
}

TEST_F (ZmodemFramingTest, HexHeadersGoOutExactly)
{
    for (auto& header : sentHexHeaders)
    {
        setHeaderFlags ('B', header.type, header.data[0], header.data[1], header.data[2], header.data[3]);
        sendHeader();
        EXPECT_EQ (line.readFar (header.wire.size()), header.wire) << (int) header.type;
    }
    EXPECT_EQ (line.readFarAvailable (50), "") << "ZFIN ends with its line feed";

    setHeader ('B', 9, 0x12345678u);
    sendHeader();
    EXPECT_EQ (line.readFar (14).substr (4), "0978563412");
    line.readFarAvailable (50);
}

TEST_F (ZmodemFramingTest, PayloadEscapesTheFixedSetOnly)
{
    for (int byte = 0; byte < 256; ++byte)
    {
        const int low = byte & 0x7F;
        EXPECT_EQ (needsEscape ((uint8_t) byte), low == 0x10 || low == 0x11 || low == 0x13 || low == 0x18 || low == 0x7F)
            << byte;
    }

    setPayload ("\x18\x7f\xff\x0d"s);
    zmodemState.moreData = 1;
    sendDataSubpacket();
    EXPECT_EQ (line.readFar (11), "\x18X\x18l\x18m\x0d\x18i\xd4\x5c"s);
    EXPECT_EQ (zmodemState.filePos, 4u);

    setPayload ("");
    zmodemState.moreData = 0;
    sendDataSubpacket();
    EXPECT_EQ (line.readFar (4), "\x18h\xed\xae"s);
    EXPECT_EQ (line.readFarAvailable (50), "") << "no XON after a data subpacket";
}

TEST_F (ZmodemFramingTest, FileInformationSubpacket)
{
    std::strcpy (zmodemState.fileName, "a.bin");
    zmodemState.fileSize = 1500;
    zmodemState.fileTime = 1;
    zmodemState.fileMode = 0644;
    sendFileInfoSubpacket();
    const std::string expected = "a.bin\0" "1500 1 644 0\0\x18k\xa7\xfa\x11"s;
    EXPECT_EQ (line.readFar (expected.size()), expected);
}

TEST_F (ZmodemFramingTest, HeaderSearchAndChecks)
{
    for (auto& header : receivedHeaders)
    {
        flushInput();
        feed (header.wire);
        getHeader();
        if (header.type < 0)
        {
            EXPECT_TRUE (errorPending() && errorIs (header.error)) << header.what << ": " << zmodemState.errorText;
            EXPECT_EQ (zmodemState.headerReady, 0) << header.what;
        }
        else
        {
            EXPECT_FALSE (errorPending()) << header.what << ": " << zmodemState.errorText;
            EXPECT_EQ (zmodemState.headerType, header.type) << header.what;
            EXPECT_EQ (zmodemState.headerReady, 1) << header.what;
        }
        errorClear();
    }
}

TEST_F (ZmodemFramingTest, PollReturnsAtOnceWhenNothingWaits)
{
    pollHeader();
    EXPECT_TRUE (errorIs ("ZMD009 Timeout\n"));
    EXPECT_EQ (zmodemState.blockingRead, 1) << "the poll leaves blocking reads as they were";
}

TEST_F (ZmodemFramingTest, SubpacketsUpToTheBufferLessOne)
{
    for (int length : { 17999, 18000 })
    {
        flushInput();
        zmodemState.headerFormat = 'A';
        zmodemState.filePos = 0;
        zmodemState.moreData = 1;
        std::string payload ((size_t) length, 'z');
        const uint16_t crc = crc16Update (crc16Of (payload.data(), payload.size()), 'h');
        // More than the pseudo-terminal holds: the far side writes while we read.
        std::thread writer ([&] { line.writeFar (payload + "\x18h" + std::string { (char) (crc >> 8), (char) crc }); });
        readDataSubpacket();
        flushInput();
        writer.join();
        if (length == 17999)
        {
            EXPECT_FALSE (errorPending()) << zmodemState.errorText;
            EXPECT_EQ (zmodemState.filePos, 17999u);
            EXPECT_EQ (zmodemState.bufPtr - zmodemState.buffer, 17999);
        }
        else
            EXPECT_TRUE (errorIs ("ZMD005 Error - subpacket too long\n"));
        EXPECT_EQ (zmodemState.moreData, 0);
        errorClear();
    }
}

TEST_F (ZmodemFramingTest, Crc32SubpacketsAfterACrc32HeaderAndDamageIsCaught)
{
    zmodemState.headerFormat = 'C';
    zmodemState.moreData = 1;
    feed ("hello\x18h\x54\x30\x86\x95"s);
    readDataSubpacket();
    EXPECT_FALSE (errorPending()) << zmodemState.errorText;
    EXPECT_EQ (std::string (zmodemState.buffer, 5), "hello");
    EXPECT_EQ (zmodemLastFrameEnd, 'h');

    feed ("hellp\x18h\x54\x30\x86\x95"s);
    readDataSubpacket();
    EXPECT_TRUE (errorIs ("ZMD006 CRC32 error - ours = %lx, theirs = %lx\n"));
    errorClear();

    zmodemState.headerFormat = 'A';
    zmodemState.moreData = 1;
    feed ("hello\x18i\x66\x82"s);
    readDataSubpacket();
    EXPECT_TRUE (errorIs ("ZMD004 CRCXM error, ours = %x, theirs = %x\n")) << "ZCRCG enters the check";
    EXPECT_EQ (zmodemState.moreData, 0);
    errorClear();
}

TEST_F (ZmodemFramingTest, EscapedBytesDecode)
{
    struct { std::string wire; int value; int frameEnd; } cases[] = {
        { "\x18X"s, 0x18, 0 }, { "\x18l"s, 0x7F, 0 }, { "\x18m"s, 0xFF, 0 }, { "\x18\xd8"s, 0x98, 0 },
        { "\x18\x18"s, 0x18, 1 }, { "\x18k"s, 'k', 1 }, { "\x11"s, 0x11, 0 },
    };
    for (auto& c : cases)
    {
        feed (c.wire);
        readEscapedByte();
        EXPECT_EQ (zmodemState.curChar, c.value);
        EXPECT_EQ (zmodemState.frameEnd, c.frameEnd);
    }
}
