#include "tests/fuzz/FuzzPort.h"

#include "device/SerialPort.h"
#include "zmodem/ZmodemState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

SerialHandle serialPortHandle = INVALID_SERIAL_HANDLE;
bool serialPortLost = false;
int portNumbers[maxListedPorts];
int portCount = 0;
int portCursor = 0;

namespace
{
const uint8_t* input = nullptr;
size_t inputSize = 0;
size_t inputRead = 0;
unsigned readCount = 0;
std::string* writeSink = nullptr;

// The shell's side (fuzzPortServeShell): how much of `shellBytes` has arrived so far.
bool shellMode = false;
std::string shellBytes;
enum class Arrived { stale, firstPart, all } arrived = Arrived::stale;
size_t answerStart = 0;
size_t answerFirstEnd = 0;

size_t shellReadableEnd()
{
    return arrived == Arrived::stale ? answerStart : arrived == Arrived::firstPart ? answerFirstEnd : shellBytes.size();
}

int readShell (void* buffer, unsigned maxCount)
{
    const size_t count = std::min ((size_t) maxCount, shellReadableEnd() - inputRead);
    if (count > 0)
        std::memcpy (buffer, shellBytes.data() + inputRead, count);
    inputRead += count;
    if (arrived == Arrived::firstPart && inputRead == answerFirstEnd)
        arrived = Arrived::all;
    return (int) count;
}

// Cycled through by successive reads: single bytes, the engine's drain size, and more than
// its read-ahead holds.
constexpr unsigned chunkSizes[] = { 1, 3, 200, 17, 4096, 2, 64, 5000 };
} // namespace

void listSerialPorts() { portCount = 0; portCursor = 0; }
std::string nextSerialPortName() { return {}; }
void openSerialPort (const char*) { serialPortHandle = INVALID_SERIAL_HANDLE; }
void closeSerialPort() {}

int writeSerialPort (const void* data, int count)
{
    if (shellMode && arrived == Arrived::stale)
        arrived = Arrived::firstPart;
    if (writeSink != nullptr && count > 0)
        writeSink->append (static_cast<const char*> (data), (size_t) count);
    return count;
}

int readSerialPort (void* buffer, unsigned maxCount)
{
    if (shellMode)
        return readShell (buffer, maxCount);
    const unsigned chunk = chunkSizes[readCount++ % (sizeof (chunkSizes) / sizeof (chunkSizes[0]))];
    const size_t count = std::min ({ (size_t) maxCount, (size_t) chunk, inputSize - inputRead });
    if (count > 0)
        std::memcpy (buffer, input + inputRead, count);
    inputRead += count;
    return (int) count;
}

void fuzzPortServe (const uint8_t* data, size_t size)
{
    shellMode = false;
    input = data;
    inputSize = data != nullptr ? size : 0;
    inputRead = 0;
    readCount = 0;
}

void fuzzPortKeepWrites (std::string* sink) { writeSink = sink; }

void fuzzPortServeShell (const std::string& stale, const std::string& answer, size_t firstPart)
{
    shellMode = true;
    shellBytes = stale + answer;
    inputRead = 0;
    answerStart = stale.size();
    answerFirstEnd = answerStart + std::min (firstPart, answer.size());
    arrived = Arrived::stale;
}

void fuzzEngineOpen()
{
    if (std::freopen ("/dev/null", "w", stdout) == nullptr)
        fuzzFail ("cannot silence the engine's log");
    zmodemSetDefaults();
    if (! zmodemOpen ("fuzz"))
        fuzzFail ("the engine did not open on the fuzz port");
}

void fuzzEngineStart (const uint8_t* data, size_t size)
{
    auto& z = zmodemState;
    z.errorFlag = 0;
    z.errorFormat[0] = z.errorText[0] = '\0';
    zmodemTimeoutCount = 0;

    fuzzPortServe (nullptr, 0);
    flushInput();
    fuzzPortServe (data, size);

    z.blockingRead = 0;
    z.curChar = 0;
    z.frameEnd = z.headerReady = z.moreData = 0;
    z.filePos = 0;
    z.headerFormat = 'A';
    z.headerType = 0;
    std::memset (z.headerData, 0, sizeof (z.headerData));
    z.bufPtr = z.buffer;
    z.bufEnd = z.buffer + z.bufferSize;
    z.fileInfo = nullptr;
    z.fileName[0] = '\0';
}
