#include "devicefiles/DeviceFileOperations.h"

#include "device/InstrumentCommands.h"
#include "device/ShellAnswers.h"
#include "device/SerialPort.h"
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
constexpr int beforeWaitPauseMs = 50;
constexpr int listingPauseMs = 100;

const char* text (const juce::String& s) { return s.toRawUTF8(); }

juce::String usrPath (const DeviceFile& f) { return instrument::usrDirectory + remoteDirPart (f); }

bool hasUnsafeParts (const DeviceFile& f)
{
    return refuseUnsafeName (remoteDirPart (f), true)
           || (remoteNamePart (f).isNotEmpty() && refuseUnsendableName (remoteNamePart (f), instrument::stagingPrefix));
}

bool pastLimit (juce::uint32 start)
{
    return juce::Time::getMillisecondCounter() - start > (juce::uint32) fileAppearanceLimitMs;
}

juce::String askDigest (const juce::String& name)
{
    return digestInAnswer (runShellCommand (instrument::md5sumPrefix + shellWord (name), true));
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

// A move is only as good as the bytes it left at the final path; the shell is in the file's
// directory. The copy differed from the old file, so a rename that did not happen shows here.
bool confirmDigestInPlace (DeviceFile& f)
{
    const juce::String name = remoteNamePart (f);
    juce::String answer = askDigest (name);
    for (int retry = 0; answer.isEmpty() && retry < emptyDigestRetries; ++retry)
    {
        juce::Thread::sleep (digestPauseMs);
        answer = askDigest (name);
    }
    if (answer == localDigest (*f.localFile))
        return true;
    std::printf (" - %s at /usr/%s does not have the digest of the file that was sent\n", text (name), text (remoteDirPart (f)));
    return false;
}

// The instrument application may write to the console at any time: only a complaint of mount
// itself is a failure.
bool mountAnswered (const char* command)
{
    juce::String said;
    return runCommandToPrompt (command, &said) && ! said.contains ("mount");
}

juce::String stagingName (const DeviceFile& f)
{
    return instrument::stagingPrefix + remoteNamePart (f);
}

// rz never overwrites a file: a copy left by an interrupted update goes first.
void removeStaleCopy (const juce::String& staged)
{
    if (listedAs (runShellCommand (instrument::lsPrefix + shellWord (staged), false), staged))
        sendShellCommand (instrument::rmPrefix + shellWord (staged));
}

// The new copy lands beside its final path, in the same directory and so on the same file
// system, and the old file is left alone until the copy is whole and checked. A copy that
// cannot be completed (full flash, a line that went) is removed again.
bool stageCopy (DeviceFile& f)
{
    const juce::String staged = stagingName (f);
    if (refuseUnsendableName (staged, instrument::stagingPrefix))
        return false;
    // The probe has just left the shell in the file's directory.
    removeStaleCopy (staged);
    if (! verifiedSendFile (*f.localFile, staged))
    {
        if (! serialPortLost)
            sendShellCommand (instrument::rmPrefix + shellWord (staged));
        return false;
    }
    f.tmpName = staged;
    return true;
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
    const juce::String listing = runShellCommand (instrument::lsPrefix + shellWord (name), false);
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
    sendShellCommand (instrument::sendPrefix + shellWord (remoteNamePart (f)));
    const bool received = zmodemReceiveTo (f.localFile->getFullPathName(), false);
    returnToShell (received);
    return received;
}

bool remountUsr (bool writable)
{
    const char* command = writable ? instrument::remountReadWrite : instrument::remountReadOnly;
    // mount answers only when it fails; a shell that was not there to hear it is won back once.
    if (mountAnswered (command) || (recoverShellPrompt() && mountAnswered (command)))
        return true;
    std::printf (" - /usr could not be remounted %s\n", writable ? "read-write" : "read-only");
    return false;
}

bool installOnDevice (DeviceFile& f, bool deferMove)
{
    if (f.localFile == nullptr || isRemoteDirectory (f))
        return false;
    if (remoteNamePart (f).startsWith ("..") && ! takeUsrRelativeName (f))
        return false;

    const juce::String localName = f.localFile->getFileName();
    if (refuseUnsendableName (localName, instrument::stagingPrefix) || hasUnsafeParts (f))
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

    if (! stageCopy (f))
        return false;
    anyFileSent = true;
    if (! deferMove && ! moveIntoPlace (f))
        return false;
    std::printf ("%s is copied!\n", text (localName));
    return true;
}

bool moveIntoPlace (DeviceFile& f)
{
    if (f.identical || f.tmpName.isEmpty())
        return true;

    const juce::String name = remoteNamePart (f);
    if (refuseUnsendableName (f.tmpName, instrument::stagingPrefix) || hasUnsafeParts (f))
        return false;
    std::printf (" Move %s\n", text (name));

    sendShellCommand (instrument::cdPrefix + usrPath (f));
    const bool isMain = usrPath (f) + name == instrument::mainProgram;
    // The new program is runnable the moment it takes the old one's place.
    if (isMain)
    {
        runCommandToPrompt (instrument::chmodExecutablePrefix + shellWord (f.tmpName));
        sendShellCommand (instrument::stopMain);
    }

    // A rename within one directory: the final path holds the old file or the new one,
    // never a part of either. What the shell printed is only logged: the instrument
    // application may write to the console too; the digest at the final path decides.
    juce::String shellSaid;
    runCommandToPrompt (instrument::mvPrefix + shellWord (f.tmpName) + " " + shellWord (name), &shellSaid);
    if (! confirmDigestInPlace (f))
    {
        std::printf (" - %s did not replace /usr/%s%s; the shell said : %s\n", text (f.tmpName), text (remoteDirPart (f)),
                     text (name), text (shellSaid));
        return false;
    }
    f.tmpName = {};
    return true;
}

void discardWaitingCopy (DeviceFile& f)
{
    if (f.tmpName.isEmpty() || serialPortLost || refuseUnsendableName (f.tmpName, instrument::stagingPrefix) || hasUnsafeParts (f))
        return;
    sendShellCommand (instrument::cdPrefix + usrPath (f));
    sendShellCommand (instrument::rmPrefix + shellWord (f.tmpName));
    f.tmpName = {};
}

bool waitUntilListed (const juce::String& name)
{
    if (refuseUnsendableName (name))
        return false;

    juce::Thread::sleep (beforeWaitPauseMs);
    for (const auto start = juce::Time::getMillisecondCounter();;)
    {
        if (listedAs (runShellCommand (instrument::lsPrefix + shellWord (name), false), name))
            return true;
        if (pastLimit (start))
            return false;
        juce::Thread::sleep (listingPauseMs);
    }
}
