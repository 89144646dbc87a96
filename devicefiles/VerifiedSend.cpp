#include "devicefiles/VerifiedSend.h"

#include "application/UserMessages.h"
#include "device/CommunicationLog.h"
#include "device/InstrumentCommands.h"
#include "device/ShellAnswers.h"
#include "device/ShellChannel.h"
#include "devicefiles/InstrumentFault.h"
#include "devicefiles/ShellSafeNames.h"
#include "zmodem/ZmodemHooks.h"

#include <juce_cryptography/juce_cryptography.h>

#include <cstdio>

namespace
{
constexpr int digestLength = 32;
constexpr int afterSendPauseMs = 200;
constexpr int lateAnswerPauseMs = 150;

juce::String askDigest (const juce::String& name)
{
    return runShellCommand (instrument::md5sumPrefix + shellWord (name), true);
}

// The instrument's answer is "<digest>  <name>"; a late answer may still arrive.
bool retryUntilDigestMatches (const juce::String& name, const juce::String& digest, juce::String& answer)
{
    for (int retries = 0;;)
    {
        juce::Thread::sleep (lateAnswerPauseMs);
        answer = digestInAnswer (answer + readShellOutput());
        if (answer == digest)
            return true;

        ++retries;
        const juce::String whole = askDigest (name);
        std::printf ("Checksum : %s\n", whole.toRawUTF8());
        answer = digestInAnswer (whole);

        if (answer == digest)
            return true;
        if (retries >= checksumRetries)
            return false;
    }
}

void reportBadChecksum (const juce::String& name, const juce::String& shownName, const juce::String& answer,
                        const juce::String& digest)
{
    const juce::String listing = runShellCommand (instrument::lsPrefix + shellWord (name), false);
    std::printf (listingShowsFile (listing, name) ? "File : %s is copied \n" : "File : %s is not copied \n",
                 name.toRawUTF8());
    std::printf ("Bad checksum. The file %s is not correctly copied. CheckSum : %s instead of %s\n",
                 name.toRawUTF8(), answer.toRawUTF8(), digest.toRawUTF8());

    copyCommunicationLog ("Vorlen_ChecksumError.txt");
    showUserMessage (MessageIcon::warning, "Bad checksum. The file (" + shownName + ") is not correctly copied.");
}

// The transfer gave up: a line that is gone is not a checksum story, and a copy that never
// arrived (a full flash, the far end's program ended) is not one either. Only data that did
// arrive whole, when just the end of the exchange failed, passes silently as a failure.
bool reportFailedTransfer (const juce::String& name, const juce::String& shownName, const juce::String& digest)
{
    if (tellIfInstrumentLost())
        return false;
    if (digestInAnswer (askDigest (name)) == digest)
        return false;
    std::printf ("The transfer of %s gave up before the file was whole\n", name.toRawUTF8());
    showUserMessage (MessageIcon::warning, "The file (" + shownName + ") cannot be copied onto the Vorlen.");
    return false;
}
} // namespace

juce::String localDigest (const juce::File& file)
{
    return juce::MD5 (file).toHexString();
}

bool verifiedSendFile (juce::File& file, const juce::String& nameOnInstrument)
{
    const juce::String name = nameOnInstrument.isNotEmpty() ? nameOnInstrument : file.getFileName();
    const juce::String shownName = file.getFileName();
    if (refuseUnsendableName (name, instrument::stagingPrefix))
        return false;

    const juce::String digest = localDigest (file);
    zmodemSendName = name.toStdString();
    const bool sent = zmodemSendFile (file.getFullPathName().toRawUTF8());
    zmodemSendName.clear();
    returnToShell (sent);
    if (! sent)
        return reportFailedTransfer (name, shownName, digest);
    juce::Thread::sleep (afterSendPauseMs);

    juce::String answer = digestInAnswer (askDigest (name));
    if (answer != digest && ! retryUntilDigestMatches (name, digest, answer))
    {
        if (! tellIfInstrumentLost())
            reportBadChecksum (name, shownName, answer, digest);
        return false;
    }
    return true;
}
