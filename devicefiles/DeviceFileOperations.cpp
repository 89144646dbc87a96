#include "devicefiles/DeviceFileOperations.h"

#include "device/InstrumentCommands.h"
#include "device/ShellAnswers.h"
#include "device/ShellChannel.h"
#include "devicefiles/ShellSafeNames.h"
#include "devicefiles/VerifiedSend.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

namespace
{
constexpr int digestLength = 32;
constexpr int emptyDigestRetries = 4;
constexpr int digestPauseMs = 150;
constexpr int remountWritablePauseMs = 200;
constexpr int remountReadOnlyPauseMs = 100;
constexpr int beforeWaitPauseMs = 50;
constexpr int listingPauseMs = 100;
constexpr int placePollPauseMs = 200;

const char* text (const juce::String& s) { return s.toRawUTF8(); }

juce::String usrPath (const DeviceFile& f) { return instrument::usrDirectory + remoteDirPart (f); }

bool hasUnsafeParts (const DeviceFile& f)
{
    return refuseUnsafeName (remoteDirPart (f), true) || refuseUnsafeName (remoteNamePart (f), false);
}

bool pastLimit (juce::uint32 start)
{
    return juce::Time::getMillisecondCounter() - start > (juce::uint32) fileAppearanceLimitMs;
}

juce::String askDigest (const juce::String& name)
{
    return digestInAnswer (runShellCommand (instrument::md5sumPrefix + name, true));
}

void compareWithDevice (DeviceFile& f, const juce::String& name)
{
    const juce::String digest = localDigest (*f.localFile);
    juce::String answer = askDigest (name);
    for (int retry = 0; answer.isEmpty() && retry < emptyDigestRetries; ++retry)
    {
        juce::Thread::sleep (digestPauseMs);
        answer = askDigest (name);
    }

    f.identical = answer == digest;
    if (! f.identical)
    {
        juce::Thread::sleep (digestPauseMs);
        f.identical = digestInAnswer (answer + readShellOutput()) == digest;
    }
    if (f.identical)
        std::printf (" - %s is identical in the Vorlen - Let's keep it\n", text (name));
}

// Archive entries whose name starts with ".." belong directly under /usr/.
bool takeUsrRelativeName (DeviceFile& f)
{
    const juce::File moved = f.localFile->getSiblingFile (f.localFile->getFileName().substring (2));
    if (! f.localFile->moveFileTo (moved))
        return false;
    *f.localFile = moved;
    f.usrRelative = true;
    f.remotePath = f.remotePath.substring (2);
    return true;
}

// The old file stays listed when rm and mv failed, so the move is confirmed only once the
// waiting copy has left /tmp as well.
bool copyStillWaiting (const DeviceFile& f)
{
    const juce::String waiting = instrument::tmpDirectory + f.tmpName;
    return runShellCommand (instrument::lsPrefix + waiting, false) == waiting;
}

// A move is only as good as the bytes it left at the final path: mv onto a full file system
// or a second file of the same name waiting in /tmp would leave other content there.
bool confirmDigestInPlace (DeviceFile& f)
{
    if (probeOnDevice (f, true) && f.identical)
        return true;
    std::printf (" - %s at /usr/%s does not have the digest of the file that was sent\n", text (remoteNamePart (f)),
                 text (remoteDirPart (f)));
    return false;
}

bool waitUntilInPlace (DeviceFile& f)
{
    juce::Thread::sleep (beforeWaitPauseMs);
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        if (probeOnDevice (f, false) && ! copyStillWaiting (f))
            return true;
        if (pastLimit (start))
            return false;
        juce::Thread::sleep (placePollPauseMs);
    }
}
} // namespace

bool probeOnDevice (DeviceFile& f, bool compare)
{
    f.identical = false;
    f.directoryMissing = false;
    if (hasUnsafeParts (f))
        return false;

    const juce::String dirAnswer = runShellCommand (instrument::cdPrefix + usrPath (f), false);
    if (! f.usrRelative && dirAnswer.isNotEmpty())
    {
        f.directoryMissing = true;
        std::printf (" - Dir %s doesn't exist ! (answer = %s)\n", text (remoteDirPart (f)), text (dirAnswer));
        return false;
    }
    if (isRemoteDirectory (f))
        return true;

    const juce::String name = remoteNamePart (f);
    const juce::String listing = runShellCommand (instrument::lsPrefix + name, false);
    const bool exists = listingShowsFile (listing, name);

    if (compare && exists)
    {
        std::printf (" - %s already exists\n", text (name));
        compareWithDevice (f, name);
    }
    else if (compare)
        std::printf (" - %s doesn't exist ! (answer = %s)\n", text (name), text (listing));

    return exists;
}

bool fetchFromDevice (DeviceFile& f)
{
    if (f.localFile == nullptr || isRemoteDirectory (f) || ! probeOnDevice (f, false))
        return false;

    sendShellCommand (instrument::cdPrefix + usrPath (f));
    sendShellCommand (instrument::sendPrefix + remoteNamePart (f));
    const bool received = zmodemReceiveTo (f.localFile->getFullPathName(), false);
    waitForShellPrompt();
    return received;
}

void remountUsr (bool writable)
{
    sendShellCommand (writable ? instrument::remountReadWrite : instrument::remountReadOnly);
    juce::Thread::sleep (writable ? remountWritablePauseMs : remountReadOnlyPauseMs);
}

bool installOnDevice (DeviceFile& f, bool deferMove)
{
    if (f.localFile == nullptr || isRemoteDirectory (f))
        return false;
    if (remoteNamePart (f).startsWith ("..") && ! takeUsrRelativeName (f))
        return false;

    const juce::String localName = f.localFile->getFileName();
    if (refuseUnsafeName (localName, false) || hasUnsafeParts (f))
        return false;

    const bool existed = probeOnDevice (f, true);
    if (! existed)
        std::printf (" - older %s not found in Vorlen\n", text (localName));
    if (f.identical)
        return true;
    // rz writes into the shell's current directory: after a failed cd that is some other
    // directory, and the file would be reported installed where it does not belong.
    if (f.directoryMissing)
    {
        std::printf (" - %s is not sent: its directory /usr/%s is missing on the Vorlen\n", text (localName),
                     text (remoteDirPart (f)));
        return false;
    }

    if (existed)
    {
        sendShellCommand (juce::String (instrument::cdPrefix) + "/tmp");
        if (runShellCommand (instrument::lsPrefix + localName, false) == localName)
            sendShellCommand (instrument::rmPrefix + localName);
    }
    else
        sendShellCommand (instrument::cdPrefix + usrPath (f));

    if (! verifiedSendFile (*f.localFile))
        return false;
    anyFileSent = true;

    bool moved = true;
    const bool renamed = ! existed && localName != remoteNamePart (f);
    if (existed)
    {
        f.tmpName = localName;
        if (! deferMove)
        {
            moved = moveIntoPlace (f);
            f.tmpName = {};
        }
    }
    else if (renamed)
        sendShellCommand (instrument::mvPrefix + localName + " " + remoteNamePart (f));

    drainShellInput();
    bool ok = moved && waitUntilListed (f.tmpName.isNotEmpty() ? f.tmpName : remoteNamePart (f));
    if (ok && renamed)
        ok = confirmDigestInPlace (f);
    if (ok)
        std::printf ("%s is copied!\n", text (localName));
    else
        std::printf ("hmmm...The file %s doesn't exist, whereas it has been copied! (Fatal Error)\n", text (localName));
    return ok;
}

bool moveIntoPlace (DeviceFile& f)
{
    if (f.identical || f.tmpName.isEmpty())
        return true;

    const juce::String name = remoteNamePart (f);
    if (refuseUnsafeName (f.tmpName, false) || hasUnsafeParts (f))
        return false;
    std::printf (" Move %s\n", text (name));

    const bool isMain = name == "main";
    if (isMain)
        sendShellCommand (instrument::stopMain);
    sendShellCommand (instrument::cdPrefix + usrPath (f));
    sendShellCommand (instrument::rmRecursivePrefix + name);
    sendShellCommand (juce::String (instrument::mvPrefix) + instrument::tmpDirectory + f.tmpName + " " + usrPath (f) + name);
    const juce::String shellSaid = readShellOutput().replace ("\r\n", " ").removeCharacters ("\r\n");

    if (! waitUntilInPlace (f))
    {
        std::printf (" - %s did not reach /usr/%s within %d ms; the shell said : %s\n",
                     text (name), text (remoteDirPart (f)), fileAppearanceLimitMs, text (shellSaid));
        return false;
    }
    if (isMain)
        sendShellCommand (instrument::chmodMain);
    return confirmDigestInPlace (f);
}

bool waitUntilListed (const juce::String& name)
{
    if (refuseUnsafeName (name, false))
        return false;

    juce::Thread::sleep (beforeWaitPauseMs);
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        if (runShellCommand (instrument::lsPrefix + name, false) == name)
            return true;
        if (pastLimit (start))
            return false;
        juce::Thread::sleep (listingPauseMs);
    }
}
