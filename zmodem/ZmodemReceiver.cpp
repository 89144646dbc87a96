// The receiving side: ZRINIT, each ZFILE taken, its data asked for from position 0 and
// written subpacket by subpacket, damage answered with ZRPOS, until ZFIN. Subpackets that
// ask for an acknowledgement (ZCRCW, ZCRCQ) get a ZACK: the instrument's sender waits for
// one after every repositioning and would otherwise crawl along on its own timeouts. A file
// whose name this computer cannot store is answered with ZSKIP, and the next file follows.

#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace zmodem;

namespace
{
constexpr int maxTries = 10;
constexpr int maxIgnoredHeaders = 1000;
constexpr long maxInfoTextEnd = 1024;

const char* const timeoutError = "ZMD009 Timeout\n";
const char* const crc16Error = "ZMD004 CRCXM error, ours = %x, theirs = %x\n";
const char* const crc32Error = "ZMD006 CRC32 error - ours = %lx, theirs = %lx\n";
const char* const hexError = "ZMD008 Bad hex character %x received\n";
const char* const tooLongError = "ZMD005 Error - subpacket too long\n";

bool pendingIsOneOf (std::initializer_list<const char*> formats)
{
    if (! errorPending())
        return false;
    for (const char* format : formats)
        if (errorIs (format))
            return true;
    return false;
}

void sendHexHeader (uint8_t type, uint32_t position)
{
    setHeader (zhex, type, position);
    sendHeader();
}

void sendZrinit() { setHeaderFlags (zhex, zrinit, 0, 0, 0, zrinitFlags); sendHeader(); }

void sendZrpos()
{
    flushInput();
    sendHexHeader (zrpos, zmodemState.filePos);
}

bool isHeaderAt (uint8_t type)
{
    return zmodemState.headerType == type && headerPosition() == zmodemState.filePos;
}

// Counts a header that no state acts on; too many in a row end the wait.
bool ignoreHeader (int& ignored)
{
    if (++ignored < maxIgnoredHeaders)
        return true;
    errorSet ("ZMD002 Remote failed to respond to my ZRPOS\n");
    return false;
}

void readFileInfo()
{
    auto& z = zmodemState;
    readDataSubpacket();
    if (errorPending())
        return;

    const long length = (long) (z.bufPtr - z.buffer);

    // A name from the line is never a path: only its last component is used, cut to what
    // the name field holds. The component is taken first, so that a long directory part
    // cannot push the real name out of the field.
    {
        const size_t fullLength = strnlen (z.buffer, (size_t) length);
        const char* bare = z.buffer;
        for (size_t i = 0; i < fullLength; ++i)
            if (z.buffer[i] == '/' || z.buffer[i] == '\\')
                bare = z.buffer + i + 1;
        const size_t nameLength = std::min<size_t> (fullLength - (size_t) (bare - z.buffer), sizeof (z.fileName) - 1);
        std::memcpy (z.fileName, bare, nameLength);
        z.fileName[nameLength] = '\0';
    }

    char* nameEnd = length > 1 ? static_cast<char*> (std::memchr (z.buffer, 0, (size_t) (length - 1))) : nullptr;
    if (nameEnd == nullptr)
        return errorSet ("ZMD007 File Data is out of spec\n");
    z.fileInfo = nameEnd + 1;
    char* infoEnd = static_cast<char*> (std::memchr (z.fileInfo, 0, (size_t) (z.bufPtr - z.fileInfo)));
    if (infoEnd == nullptr || infoEnd - z.buffer >= maxInfoTextEnd)
        return errorSet ("ZMD007 File Data is out of spec\n");

    long size = 0;
    unsigned long time = 0;
    unsigned mode = 0;
    std::sscanf (z.fileInfo, "%ld %lo %o", &size, &time, &mode);
    z.fileSize = (int32_t) size;
    z.fileTime = (int32_t) time;
    z.fileMode = (int) mode;

    if (! makeBareFileName (z.fileName))
        errorSet ("ZMD007 File Data is out of spec\n");
}

void dataStep()
{
    auto& z = zmodemState;
    z.moreData = 1;
    int tries = 0;
    uint32_t lastFrameAt = z.filePos;

    for (int ignored = 0; ! errorPending() || pendingIsOneOf ({ timeoutError, tooLongError, crc16Error, crc32Error });)
    {
        if (errorPending())
        {
            if (tries >= maxTries)
                return;
            errorClear();
            z.moreData = 0;
            sendZrpos();
            ++tries;
        }
        else if (z.moreData)
        {
            readDataSubpacket();
            if (errorPending())
                continue;
            writeBlock (z.buffer, (size_t) (z.bufPtr - z.buffer));
            tries = 0;
            if (! errorPending() && (zmodemLastFrameEnd == zcrcw || zmodemLastFrameEnd == zcrcq))
                sendHexHeader (zack, z.filePos);
        }
        else
        {
            getHeader();
            if (errorPending())
                continue;
            if (isHeaderAt (zeof))
                return closeReceiveFile();
            if (isHeaderAt (zdata))
            {
                // Frames that never bring a byte would keep this loop alive for ever.
                if (z.filePos == lastFrameAt && ! ignoreHeader (ignored))
                    return;
                lastFrameAt = z.filePos;
                z.moreData = 1;
            }
            else if (! ignoreHeader (ignored))
                return;
        }
    }
}

void fileStep()
{
    auto& z = zmodemState;
    z.filePos = 0;
    openForReceive();
    if (errorPending())
        return;
    sendZrpos();

    for (int tries = 0, ignored = 0; ! errorPending() || pendingIsOneOf ({ timeoutError, crc16Error, crc32Error });)
    {
        if (errorPending() && tries >= maxTries)
            return;
        if (errorPending())
        {
            errorClear();
            sendZrpos();
            ++tries;
            continue;
        }
        getHeader();
        if (errorPending())
            continue;
        // Data from anywhere but the position asked for would land at the wrong place in
        // the file: such a ZDATA is answered like a ZEOF at the wrong position.
        if (isHeaderAt (zdata))
            return dataStep();
        if (isHeaderAt (zeof))
            return closeReceiveFile();
        if (z.headerType == zfile || z.headerType == zeof || z.headerType == zdata)
        {
            if (tries >= maxTries)
                return errorSet ("ZMD002 Remote failed to respond to my ZRPOS\n");
            sendZrpos();
            ++tries;
        }
        else if (! ignoreHeader (ignored))
            return;
    }
}

void countFile (int& files)
{
    if (zmodemExpectedFiles > 0 && files < zmodemExpectedFiles)
    {
        ++files;
        reportProgress ((double) files / (double) zmodemExpectedFiles);
    }
}

// The sender's "OO" is read but not checked; when it does not come, one timeout is enough.
void endOnZfin()
{
    sendHexHeader (zfin, 0);
    for (int i = 0; i < 2 && ! errorPending(); ++i)
    {
        readRawByte();
        if (errorIs (timeoutError) && errorPending())
        {
            zmodemState.errorFlag = 0;
            return;
        }
    }
}

enum class Outcome { nextFile, skipped, finished, failed };

Outcome waitForFrame (int& files)
{
    auto& z = zmodemState;
    for (int tries = 0, ignored = 0;;)
    {
        getHeader();
        if (pendingIsOneOf ({ timeoutError, crc16Error, crc32Error, hexError }) && tries < maxTries)
        {
            errorClear();
            sendZrinit();
            ++tries;
            continue;
        }
        if (errorPending())
            return Outcome::failed;

        if (z.headerType == zfin)
        {
            endOnZfin();
            return Outcome::finished;
        }
        if (z.headerType == zrqinit)
        {
            if (tries >= maxTries)
                errorSet ("ZMD001 Remote didn't accept my ZRINIT\n");
            else
            {
                sendZrinit();
                ++tries;
            }
        }
        else if (z.headerType == zfile)
        {
            readFileInfo();
            if (pendingIsOneOf ({ crc32Error }) && tries < maxTries)
            {
                errorClear();
                sendZrinit();
                ++tries;
                continue;
            }
            if (errorPending())
                return Outcome::failed;
            const size_t refusedBefore = zmodemRefusedNames.size();
            fileStep();
            const bool refused = receivedNameWasRefused();
            // A sender that missed our ZSKIP offers the same file again: it counts once.
            if (! refused || zmodemRefusedNames.size() > refusedBefore)
                countFile (files);
            if (refused)
            {
                errorClear();
                return Outcome::skipped;
            }
            return errorPending() ? Outcome::failed : Outcome::nextFile;
        }
        else if (! ignoreHeader (ignored))
            return Outcome::failed;
        if (errorPending())
            return Outcome::failed;
    }
}
} // namespace

void runReceiveExchange()
{
    auto& z = zmodemState;
    z.bufEnd = z.buffer + z.bufferSize;
    flushInput();
    int files = 0;

    for (Outcome outcome = Outcome::nextFile; outcome == Outcome::nextFile || outcome == Outcome::skipped;)
    {
        // The sender answers ZSKIP with its next ZFILE, or ZFIN, as it answers ZRINIT.
        if (outcome == Outcome::skipped)
            sendHexHeader (zskip, 0);
        else
            sendZrinit();
        if (errorPending())
            return;
        outcome = waitForFrame (files);
    }
}
