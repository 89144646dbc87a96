#include "devicefiles/VerifiedSend.h"

#include "application/UserMessages.h"
#include "device/CommunicationLog.h"
#include "device/InstrumentCommands.h"
#include "device/ShellAnswers.h"
#include "device/ShellChannel.h"
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
    return runShellCommand (instrument::md5sumPrefix + name, true);
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

void reportBadChecksum (const juce::String& name, const juce::String& answer, const juce::String& digest)
{
    const juce::String listing = runShellCommand (instrument::lsPrefix + name, false);
    std::printf (listingShowsFile (listing, name) ? "File : %s is copied \n" : "File : %s is not copied \n",
                 name.toRawUTF8());
    std::printf ("Bad checksum. The file %s is not correctly copied. CheckSum : %s instead of %s\n",
                 name.toRawUTF8(), answer.toRawUTF8(), digest.toRawUTF8());

    copyCommunicationLog ("Vorlen_ChecksumError.txt");
    showUserMessage (MessageIcon::warning, "Bad checksum. The file (" + name + ") is not correctly copied.");
}
} // namespace

juce::String localDigest (const juce::File& file)
{
    return juce::MD5 (file).toHexString();
}

bool verifiedSendFile (juce::File& file)
{
    const juce::String name = file.getFileName();
    if (refuseUnsafeName (name, false))
        return false;

    const juce::String digest = localDigest (file);
    const bool sent = zmodemSendFile (file.getFullPathName().toRawUTF8());
    waitForShellPrompt();
    juce::Thread::sleep (afterSendPauseMs);

    juce::String answer = digestInAnswer (askDigest (name));
    if (answer != digest && ! retryUntilDigestMatches (name, digest, answer))
    {
        reportBadChecksum (name, answer, digest);
        return false;
    }
    return sent;
}
