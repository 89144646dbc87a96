#include "zmodem/ZmodemState.h"

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <algorithm>
#ifndef _WIN32
#include <poll.h>
#endif

ZmodemState zmodemState;
ZmodemTransfer zmodemTransfer;
int zmodemTimeoutCount = 0;

const char* const zmodemTimeoutMessage = "ZMD009 Timeout\n";
const char* const serialCommsErrorMessage = "COM: A comms error has occured\n";

void zmodemSleepMs (int ms)
{
    std::this_thread::sleep_for (std::chrono::milliseconds (ms));
}

void errorSet (const char* format, ...)
{
    auto& z = zmodemState;

    if (! z.errorFlag)
    {
        // Both copies are bounded: a long file name in a message must never overrun them.
        std::snprintf (z.errorFormat, sizeof (z.errorFormat), "%s", format);
        va_list args;
        va_start (args, format);
        std::vsnprintf (z.errorText, sizeof (z.errorText), format, args);
        va_end (args);
        z.errorFlag = 1;
    }

    if (std::strcmp (format, zmodemTimeoutMessage) == 0)
        ++zmodemTimeoutCount;
    else
        std::printf ("errorSet : %s\n", format);
}

void errorClear()
{
    auto& z = zmodemState;

    if (z.errorFlag)
    {
        std::printf ("%s", z.errorText);
        z.errorFlag = 0;
    }
}

bool errorIs (const char* format)
{
    return std::strcmp (zmodemState.errorFormat, format) == 0;
}

namespace
{
// What has arrived is read in one call and handed out byte by byte; a per-byte port call
// would cap a fast USB link far below what the line carries.
constexpr int readAheadSize = 4096;
unsigned char readAhead[readAheadSize];
int readAheadStart = 0;
int readAheadEnd = 0;

void discardReadAhead()
{
    readAheadStart = readAheadEnd = 0;
}

int fillReadAhead()
{
    readAheadStart = 0;
    readAheadEnd = readSerialPort (readAhead, (unsigned) readAheadSize);
    if (readAheadEnd < 0)
        readAheadEnd = 0;
    return readAheadEnd;
}

// Waits until the port has something to read, for at most `ms`; a sleep where that cannot
// be asked. Either way an empty read costs the same time as the sleep it replaces.
void waitReadable (int ms)
{
#ifndef _WIN32
    // A wait that returns early without data (a line that is gone, an interrupted poll)
    // still sleeps, so that 200 empty reads always take their two seconds.
    pollfd watch { serialPortHandle, POLLIN, 0 };
    const int ready = serialPortHandle != INVALID_SERIAL_HANDLE ? ::poll (&watch, 1, ms) : -1;
    if (ready > 0 && (watch.revents & POLLIN) != 0)
        return;
    if (ready == 0)
        return;
#endif
    zmodemSleepMs (ms);
}
} // namespace

int zmodemTakeReadAhead (void* destination, int maxCount)
{
    int count = std::min (maxCount, readAheadEnd - readAheadStart);
    if (count <= 0)
        return 0;
    std::memcpy (destination, readAhead + readAheadStart, (size_t) count);
    readAheadStart += count;
    return count;
}

void readRawByte()
{
    auto& z = zmodemState;
    int got = readAheadEnd - readAheadStart;

    if (got == 0)
        got = fillReadAhead();

    if (z.blockingRead)
    {
        for (int tries = 0; got == 0 && tries < readPollCount && ! z.errorFlag; ++tries)
        {
            waitReadable (readPollIntervalMs);
            got = fillReadAhead();
        }
    }

    if (got == 0)
    {
        errorSet ("ZMD009 Timeout\n");
        return;
    }

    const unsigned char byte = readAhead[readAheadStart++];
    if (! z.errorFlag)
        z.curChar = byte;
}

void flushInput()
{
    char discard[200];
    discardReadAhead();

    while (readSerialPort (discard, sizeof (discard)) == (int) sizeof (discard))
    {
    }
}

void zmodemSetDefaults()
{
    zmodemState.bufferSize = zmodemBufferSize;
    zmodemState.blockSize = zmodemBlockSize;
}

void* zmodemAlloc (unsigned size)
{
    void* block = std::malloc (size);

    if (block == nullptr && size != 0)
        errorSet ("ESL001 Insufficient memory allocating %lu bytes\n", (unsigned long) size);

    return block;
}

bool zmodemOpen (const char* portName)
{
    auto& z = zmodemState;

    // Bytes read ahead from an earlier port belong to that port.
    discardReadAhead();
    openSerialPort (portName);
    zmodemTransfer.port = &serialPortHandle;
    z.blockingRead = 1;

    if (z.buffer == nullptr)
        z.buffer = static_cast<char*> (zmodemAlloc ((unsigned) z.bufferSize));

    z.bufPtr = z.buffer;
    z.bufEnd = z.buffer != nullptr ? z.buffer + z.bufferSize : nullptr;
    z.transfer = &zmodemTransfer;
    return ! z.errorFlag;
}

void zmodemClose()
{
    auto& z = zmodemState;
    std::free (z.buffer);
    z.buffer = z.bufPtr = z.bufEnd = nullptr;
    discardReadAhead();
    closeSerialPort();
}
