#include "tasks/ReceivePresetsThread.h"

#include "application/UserMessages.h"
#include "device/InstrumentCommands.h"
#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "devicefiles/InstrumentFault.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>

namespace
{
const char* text (const juce::String& s) { return s.toRawUTF8(); }

// A name that restore's "*.mz" never picks up, so an older copy kept beside a fresh backup
// is not sent back to the instrument by mistake.
juce::File asideName (const juce::File& existing)
{
    const juce::String base = existing.getFileName() + ".previous";
    juce::File aside = existing.getSiblingFile (base);
    for (int n = 2; aside.exists(); ++n)
        aside = existing.getSiblingFile (base + juce::String (n));
    return aside;
}

// The engine leaves the file it was writing when the transfer broke off; its announced size
// tells whether it is whole.
bool brokenOff (const juce::File& received)
{
    return received.getFileName() == juce::String (zmodemState.fileName)
           && received.getSize() != (juce::int64) zmodemState.fileSize;
}

// A name Windows refused may not be UTF-8; the message shows what can be shown of it.
juce::String shownName (const std::string& name)
{
    if (juce::CharPointer_UTF8::isValidString (name.c_str(), (int) name.size()))
        return juce::String::fromUTF8 (name.c_str(), (int) name.size());
    juce::String shown;
    for (unsigned char c : name)
        shown += c < 0x80 ? juce::String::charToString ((juce::juce_wchar) c) : juce::String ("?");
    return shown;
}

// No preset goes missing without the user being told which and why.
juce::String refusedNamesReport (const juce::File& directory)
{
    juce::StringArray parts;
    for (auto& refused : zmodemRefusedNames)
        parts.add (shownName (refused.name) + " (" + juce::String (refused.reason) + ")");
    return "These presets could not be saved, because this computer cannot store files under their names: "
           + parts.joinIntoString (", ") + ". Rename them on the Vorlen to back them up. The presets that arrived are in "
           + directory.getFullPathName() + ".";
}

void forgetLastReceivedFile()
{
    zmodemState.fileName[0] = '\0';
    zmodemState.fileSize = 0;
}
} // namespace

ReceivePresetsThread::ReceivePresetsThread (const juce::File& targetDirectory)
    : VorlenProgressThread ("presets...", currentProgressListener), directory (targetDirectory)
{
}

ReceivePresetsThread::~ReceivePresetsThread()
{
    stopBeforeDestruction();
}

void ReceivePresetsThread::run()
{
    listener->taskNameChanged ("Receive presets...", nullptr);
    reportTransferProgress = true;
    forgetToldInstrumentFault();

    // Files arrive in a directory of their own first: the engine overwrites whatever has the
    // received name, and the user's directory may hold older presets of the same names.
    const juce::File staging = directory.isDirectory() ? directory.getNonexistentChildFile (".vorlen-backup", {}, false)
                                                       : juce::File();
    const bool staged = staging != juce::File() && staging.createDirectory().wasOk();
    const bool ok = staged && receivePresets (staging);
    const juce::String refusedReport = zmodemRefusedNames.empty() ? juce::String() : refusedNamesReport (directory);
    const juce::StringArray keptAside = staged ? keepReceivedFiles (staging, ok) : juce::StringArray();

    if (ok)
        showUserMessage (MessageIcon::info, "Your presets have been stored into " + directory.getFullPathName());
    else
    {
        tellIfInstrumentLost();
        showUserMessage (MessageIcon::warning, "An error occurs. The presets cannot be saved.");
    }
    if (refusedReport.isNotEmpty())
        showUserMessage (MessageIcon::warning, refusedReport);
    if (! keptAside.isEmpty())
        showUserMessage (MessageIcon::info, "These files were already in the directory with other contents; they have been kept as "
                                                + keptAside.joinIntoString (", ") + ".");

    reportTransferProgress = false;
    listener->taskNameChanged ({}, nullptr);
    listener->taskFinished ((int) TaskKind::presets, -1, nullptr);
}

bool ReceivePresetsThread::receivePresets (const juce::File& staging)
{
    juce::File target = directory;
    DeviceFile presets ("presets/", &target);
    if (! probeOnDevice (presets, false))
        return false;

    zmodemExpectedFiles = countListedPresets (runShellCommand (instrument::lsCommand, false));
    forgetLastReceivedFile();
    sendShellCommand (instrument::sendAllPresets);
    const bool ok = zmodemReceiveTo (staging.getFullPathName(), true);
    returnToShell (ok);
    zmodemExpectedFiles = 0;
    return ok;
}

// Moves what arrived into the user's directory; an existing file with other contents is
// renamed first. Returns the names those files were kept under.
juce::StringArray ReceivePresetsThread::keepReceivedFiles (const juce::File& staging, bool complete)
{
    juce::StringArray keptAside;
    for (auto& received : staging.findChildFiles (juce::File::findFiles, false))
    {
        if (! complete && brokenOff (received))
        {
            std::printf (" - %s arrived incomplete; it is not kept\n", text (received.getFileName()));
            received.deleteFile();
            continue;
        }

        const juce::File target = directory.getChildFile (received.getFileName());
        if (target.exists() && ! (target.existsAsFile() && target.hasIdenticalContentTo (received)))
        {
            const juce::File aside = asideName (target);
            if (! target.moveFileTo (aside))
            {
                std::printf (" - %s could not be moved aside; the new copy stays in %s\n", text (target.getFullPathName()),
                             text (staging.getFullPathName()));
                continue;
            }
            keptAside.add (aside.getFileName());
        }
        if (! received.moveFileTo (target))
            std::printf (" - %s could not be moved into %s\n", text (received.getFileName()), text (directory.getFullPathName()));
    }
    // Not recursive: whatever could not be moved stays where it is.
    staging.deleteFile();
    return keptAside;
}
