#include "zmodem/ZmodemHooks.h"

#include "tasks/DownloadFilesListener.h"
#include "zmodem/WindowsFileNames.h"
#include "zmodem/ZmodemFileOpen.h"
#include "zmodem/ZmodemFraming.h"
#include "zmodem/ZmodemState.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int32_t zmodemFileTime = 0;
int zmodemExpectedFiles = 0;
std::string zmodemSendName;
std::atomic<bool> reportTransferProgress { false };
DownloadFilesListener* currentProgressListener = nullptr;
std::vector<RefusedName> zmodemRefusedNames;

#ifdef _WIN32
const char* (*receivedNameRule) (const char*) = whyWindowsCannotStore;
#else
// Every name but a path is an ordinary file name here.
const char* (*receivedNameRule) (const char*) = nullptr;
#endif

namespace
{
const char* const openFailed = "failed to open file %s: %s\n";

const char* lastComponent (const char* path)
{
    const char* back = std::strrchr (path, '\\');
    const char* forward = std::strrchr (path, '/');
    const char* last = back > forward ? back : forward;
    return last != nullptr ? last + 1 : path;
}

bool receivedNameWasRefusedBefore (const char* name)
{
    for (auto& refused : zmodemRefusedNames)
        if (refused.name == name)
            return true;
    return false;
}

// Nothing is written under a name this computer cannot store: such a name would open a device
// or a hidden stream, or be stored as another name.
void refuseName (const char* reason)
{
    const char* name = zmodemState.fileName;
    std::printf ("%s cannot be stored here: %s\n", name, reason);
    if (! receivedNameWasRefusedBefore (name))
        zmodemRefusedNames.push_back ({ name, reason });
    errorSet (openFailed, name, std::strerror (EINVAL));
}

void finishEntryPoint (bool exchangeStarted = true)
{
    // A transfer that gave up must not leave the instrument's rz or lsz holding the line and
    // swallowing every later command.
    if (exchangeStarted && errorPending() && ! serialPortLost)
        zmodemSendAbort();

    // A failed receive must not leave its output stream open for the rest of the run.
    if (zmodemTransfer.file != nullptr)
    {
        std::fclose (zmodemTransfer.file);
        zmodemTransfer.file = nullptr;
    }
    std::printf ("TimeOut Number : %d\n", zmodemTimeoutCount);
}

// An error left by an earlier call must not decide this one.
void startEntryPoint()
{
    zmodemRefusedNames.clear();
    errorClear();
    zmodemTimeoutCount = 0;
    zmodemState.transfer = &zmodemTransfer;
}
} // namespace

void reportProgress (double fraction)
{
    if (reportTransferProgress && currentProgressListener != nullptr)
        currentProgressListener->progressChanged (fraction, nullptr);
}

bool zmodemSendFile (const char* path)
{
    startEntryPoint();
    auto& t = zmodemTransfer;

    // Refused before anything is typed: there is no far end to end.
    if (std::strlen (path) >= sizeof (t.sendList[0]))
    {
        errorSet (openFailed, path, std::strerror (ENAMETOOLONG));
        finishEntryPoint (false);
        return false;
    }

    std::snprintf (t.sendList[0], sizeof (t.sendList[0]), "%s", path);
    t.sendList[1][0] = '\0';
    t.sendIndex = 0;
    runSendExchange();
    finishEntryPoint();
    return ! errorPending();
}

bool zmodemReceive (const char* destFile, const char* destDir)
{
    startEntryPoint();
    zmodemState.destFile = destFile;
    zmodemState.destDir = destFile != nullptr ? nullptr : destDir;
    runReceiveExchange();
    // The other files went on arriving; the receive as a whole still fails with the refusal.
    if (! errorPending() && ! zmodemRefusedNames.empty())
        errorSet (openFailed, zmodemRefusedNames.front().name.c_str(), std::strerror (EINVAL));
    finishEntryPoint();
    return ! errorPending();
}

bool zmodemReceiveTo (juce::String path, bool isDirectory)
{
    if (! isDirectory)
        return zmodemReceive (path.toRawUTF8(), nullptr);

    // The separator of the platform we run on: a backslash is part of a name on Linux.
    const juce::String separator = juce::File::getSeparatorString();
    if (! path.endsWith (separator))
        path += separator;
    return zmodemReceive (nullptr, path.toRawUTF8());
}

void openForSend()
{
    auto& z = zmodemState;
    auto& t = zmodemTransfer;
    const char* path = t.sendList[t.sendIndex];

    std::printf ("opening file %s\n", path);
    t.file = openEngineFile (path, "rb");
    if (t.file == nullptr)
        return errorSet (openFailed, path, std::strerror (errno));

    std::fseek (t.file, 0, SEEK_END);
    z.fileSize = (int32_t) std::ftell (t.file);
    std::rewind (t.file);

    std::snprintf (z.fileName, sizeof (z.fileName), "%s", zmodemSendName.empty() ? lastComponent (path) : zmodemSendName.c_str());
    ++t.sendIndex;
}

void readBlock()
{
    auto& z = zmodemState;
    z.blockLen = (uint32_t) std::fread (z.buffer, 1, z.blockSize, zmodemTransfer.file);
    if (std::ferror (zmodemTransfer.file))
        errorSet ("Read error: %s\n", std::strerror (errno));
}

void seekTo (uint32_t offset)
{
    std::printf ("seeking to offset %lu\n", (unsigned long) offset);
    if (std::fseek (zmodemTransfer.file, (long) offset, SEEK_SET) != 0)
        errorSet ("Couldn't seek to %lu: %s\n", (unsigned long) offset, std::strerror (errno));
}

void closeSendFile()
{
    std::printf ("closing read file\n");
    FILE* file = zmodemTransfer.file;
    zmodemTransfer.file = nullptr;
    if (std::fclose (file) != 0)
        errorSet ("Error closing file: %s", std::strerror (errno));
}

void openForReceive()
{
    auto& z = zmodemState;
    std::printf ("opening file %s\n", z.fileName);
    z.recvPath[0] = '\0';
    const char* path = z.destFile;

    if (path == nullptr && z.destDir != nullptr)
    {
        // A directory and name too long for the path buffer are refused, never cut.
        if (std::strlen (z.destDir) + std::strlen (z.fileName) >= sizeof (z.recvPath))
            return errorSet (openFailed, z.fileName, std::strerror (ENAMETOOLONG));
        if (const char* reason = receivedNameRule != nullptr ? receivedNameRule (z.fileName) : nullptr)
            return refuseName (reason);
        std::snprintf (z.recvPath, sizeof (z.recvPath), "%s%s", z.destDir, z.fileName);
        path = z.recvPath;
    }

    if (path == nullptr)
        return errorSet (openFailed, z.fileName, std::strerror (EINVAL));

    zmodemTransfer.file = openEngineFile (path, "wb");
    if (zmodemTransfer.file == nullptr)
        errorSet (openFailed, z.fileName, std::strerror (errno));
}

void writeBlock (const char* data, size_t count)
{
    const size_t written = std::fwrite (data, 1, count, zmodemTransfer.file);
    if (written < count)
        errorSet ("fwrite failed, wrote only %ld bytes: %s\n", (long) written, std::strerror (errno));
}

bool receivedNameWasRefused()
{
    return errorPending() && errorIs (openFailed) && zmodemTransfer.file == nullptr
           && receivedNameWasRefusedBefore (zmodemState.fileName);
}

void closeReceiveFile()
{
    std::printf ("closing write file\n");
    FILE* file = zmodemTransfer.file;
    zmodemTransfer.file = nullptr;
    if (std::fclose (file) != 0)
        errorSet ("Error closing file: %s", std::strerror (errno));
}

bool makeBareFileName (char* name)
{
    const char* bare = lastComponent (name);
    std::memmove (name, bare, std::strlen (bare) + 1);
    return ! (name[0] == '\0' || std::strcmp (name, ".") == 0 || std::strcmp (name, "..") == 0);
}
