// The sending side: "rz" typed into the instrument's shell, ZRQINIT until ZRINIT, one file
// streamed as a ZDATA frame of 1024-byte subpackets with repositioning on ZRPOS, then ZEOF,
// ZFIN and "OO". The sender never waits for acknowledgements while it streams.

#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

using namespace zmodem;

namespace
{
constexpr int maxTries = 10;

// Headers that no state acts on are skipped, but not for ever.
constexpr int maxIgnoredHeaders = 1000;

// A receiver that keeps asking for the same place gets nothing through: after this many
// ZRPOS in a row that do not move past the furthest position asked for, the file fails.
constexpr int maxFruitlessRepositions = 100;

// More than this many bytes that are no header, while streaming: the far end's rz has ended
// and its terminal echoes the data back.
constexpr long receiverGoneNoise = 512;

bool isTimeout() { return errorIs ("ZMD009 Timeout\n"); }

bool isRecoverableLineError()
{
    return isTimeout() || errorIs ("ZMD004 CRCXM error, ours = %x, theirs = %x\n")
           || errorIs ("ZMD006 CRC32 error - ours = %lx, theirs = %lx\n")
           || errorIs ("ZMD008 Bad hex character %x received\n");
}

// Cleared without a log line: the places where an error is expected in normal operation.
void dropError() { zmodemState.errorFlag = 0; }

void sendHexHeader (uint8_t type, uint32_t position)
{
    setHeader (zhex, type, position);
    sendHeader();
}

void sendDataHeader()
{
    setHeader (zbin, zdata, zmodemState.filePos);
    sendHeader();
}

struct Repositions
{
    uint32_t furthest = 0;
    int fruitless = 0;
};

void reposition (uint32_t position, Repositions& asked)
{
    auto& z = zmodemState;
    if (position > asked.furthest)
    {
        asked.furthest = position;
        asked.fruitless = 0;
    }
    else if (++asked.fruitless >= maxFruitlessRepositions)
        return errorSet ("ZMD009 Timeout\n");

    if (position <= z.filePos)
        z.moreData = 1;
    seekTo (position);
    z.filePos = position;
}

double sentFraction()
{
    const auto& z = zmodemState;
    return z.fileSize > 0 ? (double) z.filePos / (double) z.fileSize : 0.0;
}

enum class Phase { readBlock, stream, sendEof, done };

// Streams subpackets until the frame ends (sendEof), a ZRPOS moves the position (readBlock)
// or an error ends the phase (done).
Phase stream (Repositions& asked)
{
    auto& z = zmodemState;
    for (;;)
    {
        reportProgress (sentFraction());
        sendDataSubpacket();
        if (errorPending())
            return Phase::done;
        pollHeader();
        if (errorPending() && ! isTimeout())
            return Phase::done;
        if (errorPending())
            dropError();
        // Everything sent from now on would be typed into the instrument's shell.
        if (zmodemPolledNoise > receiverGoneNoise)
        {
            errorSet ("ZMD011 The receiver has stopped: the line echoes what is sent\n");
            return Phase::done;
        }
        else if (z.headerType == zrpos)
        {
            reposition (headerPosition(), asked);
            return errorPending() ? Phase::done : Phase::readBlock;
        }
        if (! z.moreData)
            return Phase::sendEof;
        readBlock();
        if (errorPending())
            return Phase::done;
        if (z.blockLen < z.blockSize)
            z.moreData = 0;
    }
}

// After ZEOF: ZRINIT ends the file, ZRPOS sends part of it again.
Phase waitForZrinit (Repositions& asked)
{
    auto& z = zmodemState;
    sendHexHeader (zeof, z.filePos);
    int misses = 0;

    for (int ignored = 0; ! errorPending() && ignored < maxIgnoredHeaders; ++ignored)
    {
        getHeader();
        if (! errorPending() && z.headerType == zrinit)
            return Phase::done;
        if (! errorPending() && z.headerType == zrpos)
        {
            reposition (headerPosition(), asked);
            return errorPending() ? Phase::done : Phase::readBlock;
        }
        if (++misses < maxTries && errorPending())
            dropError();
    }
    if (! errorPending())
        errorSet ("ZMD009 Timeout\n");
    return Phase::done;
}

void dataPhase()
{
    zmodemPolledNoise = 0;
    auto& z = zmodemState;
    z.moreData = 1;
    Phase phase = Phase::readBlock;
    Repositions asked { z.filePos, 0 };

    while (phase != Phase::done && ! errorPending())
    {
        if (phase == Phase::readBlock)
        {
            readBlock();
            if (errorPending())
                return;
            if (z.blockLen == 0)
                phase = Phase::sendEof;
            else
            {
                sendDataHeader();
                phase = Phase::stream;
            }
        }
        else if (phase == Phase::stream)
            phase = stream (asked);
        else
            phase = waitForZrinit (asked);
    }
}

void sendFileHeader()
{
    setHeaderFlags (zbin, zfile, 0, 0, 0, 1);
    sendHeader();
    if (! errorPending())
        sendFileInfoSubpacket();
}

// ZFILE until ZRPOS (or ZSKIP), then the data. Returns with the file closed.
// `invitations` is the number of ZRQINITs sent: each may still draw a ZRINIT of its own.
void fileStep (int invitations)
{
    auto& z = zmodemState;
    z.fileName[0] = '\0';
    z.fileSize = 0;
    z.fileTime = zmodemFileTime;
    z.fileMode = 0644;
    openForSend();
    if (errorPending())
        return;

    z.filePos = 0;
    bool resend = true;
    for (int tries = 0, ignored = 0; tries < maxTries && ignored < maxIgnoredHeaders;)
    {
        if (resend)
            sendFileHeader();
        resend = true;
        getHeader();
        if (errorPending() && isTimeout())
        {
            errorClear();
            ++tries;
            continue;
        }
        if (errorPending() || z.headerType == zskip)
            break;
        if (z.headerType == zrpos)
        {
            const uint32_t position = headerPosition();
            seekTo (position);
            z.filePos = position;
            if (! errorPending())
                dataPhase();
            break;
        }
        // rz answers our ZRQINIT with a ZRINIT of its own besides the one it starts with, and
        // that one often arrives after the ZFILE went out: it counts a try, but the ZFILE is
        // sent again only if no answer follows, or rz would take it twice and answer with two
        // ZRPOS. Once those answers are used up, a ZRINIT is a refusal and the ZFILE goes again.
        if (z.headerType == zrinit)
        {
            ++tries;
            resend = invitations-- <= 0;
        }
        else
            ++ignored;
    }
    closeSendFile();
}

void invite()
{
    auto& z = zmodemState;
    for (int tries = 0; tries < maxTries; ++tries)
    {
        writeSerialPort (fixedZrqinit, (int) sizeof (fixedZrqinit));
        if (errorPending())
            return;
        getHeader();
        if (errorPending() && isRecoverableLineError())
        {
            errorClear();
            continue;
        }
        if (errorPending())
            return;
        if (z.headerType == zrinit)
            return fileStep (tries + 1);
        if (z.headerType == zcancelled)
            return errorSet ("ZMD010 Received cancel signal from remote\n");
    }
}

void finish()
{
    auto& z = zmodemState;
    sendHexHeader (zfin, 0);
    int repeats = 0;

    for (int ignored = 0;; ++ignored)
    {
        if (ignored == maxIgnoredHeaders)
            return errorSet ("ZMD009 Timeout\n");
        getHeader();
        if (! errorPending() && z.headerType == zfin)
            break;
        if (repeats >= maxTries && errorPending())
            return;
        if (repeats < maxTries)
        {
            errorClear();
            sendHexHeader (zfin, 0);
            ++repeats;
        }
    }
    if (! errorPending())
        writeSerialPort ("OO", 2);
}
} // namespace

void runSendExchange()
{
    auto& z = zmodemState;
    z.bufEnd = z.buffer + z.bufferSize;
    flushInput();
    writeSerialPort ("rz\r", 3);
    if (errorPending())
        return;
    invite();
    if (! errorPending())
        finish();
}
