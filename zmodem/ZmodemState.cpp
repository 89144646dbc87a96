#include "zmodem/ZmodemState.h"

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <thread>

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

void readRawByte()
{
    auto& z = zmodemState;
    unsigned char byte = 0;
    int got = readSerialPort (&byte, 1);

    if (z.blockingRead)
    {
        for (int tries = 0; got == 0 && tries < readPollCount; ++tries)
        {
            zmodemSleepMs (readPollIntervalMs);
            got = readSerialPort (&byte, 1);
        }
    }

    if (got == 0)
        errorSet ("ZMD009 Timeout\n");

    if (got > 0 && ! z.errorFlag)
        z.curChar = byte;
}

void flushInput()
{
    char discard[200];

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
    closeSerialPort();
}
