#include "zmodem/ZmodemFraming.h"

#include "zmodem/ZmodemCrc.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>
#include <cstring>

using namespace zmodem;

const char zmodem::fixedZrqinit[21] = { '*', '*', 0x18, 'B', '0', '0', '0', '0', '0', '0', '0',
                                        '0', '0', '0', '0', '0', '0', '0', '\r', '\n', 0x11 };

int zmodemLastFrameEnd = 0;

namespace
{
const char hexDigits[] = "0123456789abcdef";
const char* const crc16Error = "ZMD004 CRCXM error, ours = %x, theirs = %x\n";
const char* const crc32Error = "ZMD006 CRC32 error - ours = %lx, theirs = %lx\n";

// Everything one send operation produces is gathered here and handed to the port in one
// write: the bytes on the wire are the same, the system calls are not one per byte.
constexpr int outCapacity = 2 * zmodemBufferSize + 64;
uint8_t outBytes[outCapacity];
int outLength = 0;

void put (uint8_t byte)
{
    if (outLength == outCapacity)
        return;
    outBytes[outLength++] = byte;
}

void putEscaped (uint8_t byte)
{
    if (! needsEscape (byte))
        return put (byte);

    put (zdle);
    put (byte == 0x7F ? zrub0 : byte == 0xFF ? zrub1 : (uint8_t) (byte | 0x40));
}

void putHex (uint8_t byte)
{
    put ((uint8_t) hexDigits[byte >> 4]);
    put ((uint8_t) hexDigits[byte & 0x0F]);
}

void flushOut()
{
    if (outLength > 0 && ! errorPending())
        writeSerialPort (outBytes, outLength);
    outLength = 0;
}

void putCrc16 (uint16_t crc)
{
    putEscaped ((uint8_t) (crc >> 8));
    putEscaped ((uint8_t) crc);
}

uint8_t headerBytes (int index)
{
    return index == 0 ? zmodemState.headerType : zmodemState.headerData[index - 1];
}

void putHexHeader()
{
    auto& z = zmodemState;
    put (zpad);
    put (zpad);
    put (zdle);
    put (zhex);
    uint16_t crc = 0;
    for (int i = 0; i < 5; ++i)
    {
        putHex (headerBytes (i));
        crc = crc16Update (crc, headerBytes (i));
    }
    putHex ((uint8_t) (crc >> 8));
    putHex ((uint8_t) crc);
    put ('\r');
    put ('\n');
    if (z.headerType != zfin && z.headerType != zack)
        put (xon);
}

void putBinaryHeader()
{
    put (zpad);
    put (zdle);
    put (zbin);
    uint16_t crc = 0;
    for (int i = 0; i < 5; ++i)
    {
        putEscaped (headerBytes (i));
        crc = crc16Update (crc, headerBytes (i));
    }
    putCrc16 (crc);
}

// Reads `count` bytes of a binary header through the escape decoding; a frame-end marker
// in these places is taken as a plain byte.
bool readEscapedBytes (uint8_t* into, int count)
{
    for (int i = 0; i < count; ++i)
    {
        readEscapedByte();
        if (errorPending())
            return false;
        into[i] = (uint8_t) zmodemState.curChar;
    }
    return true;
}

void storeHeader (const uint8_t* bytes)
{
    zmodemState.headerType = bytes[0];
    std::memcpy (zmodemState.headerData, bytes + 1, 4);
}

void readBinary16Header()
{
    uint8_t bytes[7];
    if (! readEscapedBytes (bytes, 7))
        return;
    uint16_t ours = crc16Of (bytes, 5);
    uint16_t theirs = (uint16_t) ((bytes[5] << 8) | bytes[6]);
    if (ours != theirs)
        return errorSet (crc16Error, (unsigned) ours, (unsigned) theirs);
    storeHeader (bytes);
    zmodemState.headerReady = 1;
}

uint32_t littleEndian32 (const uint8_t* bytes)
{
    return (uint32_t) bytes[0] | ((uint32_t) bytes[1] << 8) | ((uint32_t) bytes[2] << 16)
           | ((uint32_t) bytes[3] << 24);
}

void readBinary32Header()
{
    uint8_t bytes[9];
    if (! readEscapedBytes (bytes, 9))
        return;
    uint32_t ours = ~crc32Of (bytes, 5);
    uint32_t theirs = littleEndian32 (bytes + 5);
    if (ours != theirs)
        return errorSet (crc32Error, (unsigned long) ours, (unsigned long) theirs);
    storeHeader (bytes);
    zmodemState.headerReady = 1;
}

void readHexHeader()
{
    uint8_t bytes[7];
    for (auto& byte : bytes)
    {
        readHexByte();
        if (errorPending())
            return;
        byte = (uint8_t) zmodemState.curChar;
    }
    uint16_t ours = crc16Of (bytes, 5);
    uint16_t theirs = (uint16_t) ((bytes[5] << 8) | bytes[6]);
    if (ours != theirs)
        return errorSet (crc16Error, (unsigned) ours, (unsigned) theirs);

    // CR and the line feed (whatever its eighth bit); a trailing XON is left for the next search.
    readRawByte();
    if (! errorPending() && zmodemState.curChar == '\r')
        readRawByte();
    if (errorPending())
        return;
    storeHeader (bytes);
    zmodemState.headerReady = 1;
}

// How a poll reads once a header has begun: as the caller read before the poll.
bool polling = false;
int blockingBeforePoll = 1;

// Reads up to the next ZPAD; counts what it skips against the search limit.
bool skipToPad (long& skipped)
{
    while (zmodemState.curChar != zpad)
    {
        if (polling)
            ++zmodemPolledNoise;
        if (++skipped > headerSearchLimit)
        {
            errorSet ("ZMD009 Timeout\n");
            return false;
        }
        readRawByte();
        if (errorPending())
            return false;
    }
    // A poll gives up at once only while nothing has come: a header that arrives in pieces
    // (a ZRPOS split across two reads) would otherwise be half read and lost.
    if (polling)
        zmodemState.blockingRead = blockingBeforePoll;
    return true;
}

// After the ZPAD run and ZDLE: reads the format letter and, if it opens a header, the header.
bool readHeaderAfterZdle (int pads)
{
    readRawByte();
    if (errorPending())
        return true;
    const int format = zmodemState.curChar;
    if (format != zbin && format != zbin32 && ! (format == zhex && pads >= 2))
        return false;

    zmodemState.headerFormat = (char) format;
    if (format == zbin)
        readBinary16Header();
    else if (format == zbin32)
        readBinary32Header();
    else
        readHexHeader();
    return true;
}
} // namespace

bool needsEscape (uint8_t byte)
{
    const uint8_t low = byte & 0x7F;
    return low == 0x10 || low == 0x11 || low == 0x13 || low == 0x18 || low == 0x7F;
}

void zmodemSendAbort()
{
    static const char abortSequence[] = "\x18\x18\x18\x18\x18\x18\x18\x18"
                                        "\x08\x08\x08\x08\x08\x08\x08\x08\x08\x08";
    std::printf ("sending the transfer abort sequence\n");
    writeSerialPort (abortSequence, (int) sizeof (abortSequence) - 1);
}

void sendRawByte()
{
    const uint8_t byte = (uint8_t) zmodemState.curChar;
    writeSerialPort (&byte, 1);
}

void sendEscapedByte()
{
    putEscaped ((uint8_t) zmodemState.curChar);
    flushOut();
}

void sendHexByte()
{
    putHex ((uint8_t) zmodemState.curChar);
    flushOut();
}

void sendHeader()
{
    if (zmodemState.headerFormat == zhex)
        putHexHeader();
    else
        putBinaryHeader();
    flushOut();
}

void sendDataSubpacket()
{
    auto& z = zmodemState;
    const uint8_t end = z.moreData ? zcrcg : zcrce;
    auto* payload = reinterpret_cast<const uint8_t*> (z.buffer);
    uint16_t crc = 0;

    for (uint32_t i = 0; i < z.blockLen; ++i)
    {
        putEscaped (payload[i]);
        crc = crc16Update (crc, payload[i]);
    }
    crc = crc16Update (crc, end);
    put (zdle);
    put (end);
    putCrc16 (crc);
    flushOut();

    if (! errorPending())
        z.filePos += z.blockLen;
}

void sendFileInfoSubpacket()
{
    auto& z = zmodemState;
    const size_t nameLength = strnlen (z.fileName, sizeof (z.fileName) - 1);
    char* at = z.buffer;

    std::memcpy (at, z.fileName, nameLength);
    at += nameLength;
    *at++ = '\0';
    at += std::snprintf (at, 64, "%ld %lo %o 0", (long) z.fileSize, (unsigned long) (uint32_t) z.fileTime,
                         (unsigned) z.fileMode);
    *at++ = '\0';

    const size_t covered = (size_t) (at - z.buffer);
    uint16_t crc = crc16Update (crc16Of (z.buffer, covered), zcrcw);
    *at++ = (char) zdle;
    *at++ = (char) zcrcw;

    std::memcpy (outBytes, z.buffer, (size_t) (at - z.buffer));
    outLength = (int) (at - z.buffer);
    putCrc16 (crc);
    put (xon);
    flushOut();
}

void readEscapedByte()
{
    auto& z = zmodemState;
    z.frameEnd = 0;
    readRawByte();
    if (errorPending() || z.curChar != zdle)
        return;

    readRawByte();
    if (errorPending())
        return;

    const int c = z.curChar;
    if (c == zrub0)
        z.curChar = 0x7F;
    else if (c == zrub1)
        z.curChar = 0xFF;
    else if ((c & 0x60) == 0x40)
        z.curChar = c & ~0x40;
    else
        z.frameEnd = 1;
}

void readHexByte()
{
    int value = 0;
    for (int i = 0; i < 2; ++i)
    {
        readRawByte();
        if (errorPending())
            return;
        const int c = zmodemState.curChar;
        if (c >= '0' && c <= '9')
            value = value * 16 + (c - '0');
        else if (c >= 'a' && c <= 'f')
            value = value * 16 + (c - 'a' + 10);
        else
            return errorSet ("ZMD008 Bad hex character %x received\n", (unsigned) c);
    }
    zmodemState.curChar = value;
}

void getHeader()
{
    auto& z = zmodemState;
    z.headerReady = 0;
    readRawByte();
    long skipped = 0;

    while (! errorPending())
    {
        if (! skipToPad (skipped))
            return;

        int pads = 0;
        while (z.curChar == zpad && ! errorPending())
        {
            ++pads;
            readRawByte();
        }
        if (errorPending())
            return;
        if (z.curChar != zdle)
            continue;
        if (readHeaderAfterZdle (pads))
            return;
    }
}

long zmodemPolledNoise = 0;

void pollHeader()
{
    auto& z = zmodemState;
    const int wasBlocking = z.blockingRead;
    blockingBeforePoll = wasBlocking;
    polling = true;
    z.blockingRead = 0;
    getHeader();
    polling = false;
    z.blockingRead = wasBlocking;
}

namespace
{
// The check bytes after a frame end, compared with what was computed over the payload.
void checkSubpacketCrc (bool crc32, uint32_t crc)
{
    uint8_t bytes[4];
    if (! readEscapedBytes (bytes, crc32 ? 4 : 2))
        return;
    if (crc32)
    {
        const uint32_t theirs = littleEndian32 (bytes);
        if (~crc != theirs)
            errorSet (crc32Error, (unsigned long) ~crc, (unsigned long) theirs);
        return;
    }
    const uint16_t theirs = (uint16_t) ((bytes[0] << 8) | bytes[1]);
    if ((uint16_t) crc != theirs)
        errorSet (crc16Error, (unsigned) (uint16_t) crc, (unsigned) theirs);
}
} // namespace

void readDataSubpacket()
{
    auto& z = zmodemState;
    const bool crc32 = z.headerFormat == zbin32;
    uint32_t crc = crc32 ? 0xFFFFFFFFu : 0u;
    z.bufPtr = z.buffer;

    for (;;)
    {
        if (z.bufPtr >= z.bufEnd)
            errorSet ("ZMD005 Error - subpacket too long\n");
        else
            readEscapedByte();
        if (errorPending())
        {
            z.moreData = 0;
            return;
        }
        if (z.frameEnd)
            break;
        *z.bufPtr++ = (char) z.curChar;
        crc = crc32 ? crc32Update (crc, (uint8_t) z.curChar) : crc16Update ((uint16_t) crc, (uint8_t) z.curChar);
    }

    zmodemLastFrameEnd = z.curChar;
    if (z.curChar != zcrcg)
        z.moreData = 0;
    crc = crc32 ? crc32Update (crc, (uint8_t) z.curChar) : crc16Update ((uint16_t) crc, (uint8_t) z.curChar);
    checkSubpacketCrc (crc32, crc);

    if (errorPending())
        z.moreData = 0;
    else
        z.filePos += (uint32_t) (z.bufPtr - z.buffer);
}

void setHeaderFlags (char format, uint8_t type, uint8_t zp0, uint8_t zp1, uint8_t zp2, uint8_t zp3)
{
    auto& z = zmodemState;
    z.headerFormat = format;
    z.headerType = type;
    z.headerData[0] = zp0;
    z.headerData[1] = zp1;
    z.headerData[2] = zp2;
    z.headerData[3] = zp3;
}

void setHeader (char format, uint8_t type, uint32_t position)
{
    setHeaderFlags (format, type, (uint8_t) position, (uint8_t) (position >> 8), (uint8_t) (position >> 16),
                    (uint8_t) (position >> 24));
}

uint32_t headerPosition()
{
    return littleEndian32 (zmodemState.headerData);
}
