#include "tasks/SendPresetsThread.h"

#include "application/UserMessages.h"
#include "device/InstrumentCommands.h"
#include "devicefiles/DeviceFileOperations.h"
#include "devicefiles/InstrumentFault.h"
#include "devicefiles/ShellSafeNames.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

namespace
{
// A FIFO or device would block or never end when read; a dangling link has nothing to send.
bool isPlainFile (const juce::File& f)
{
#if JUCE_WINDOWS
    return f.existsAsFile();
#else
    struct stat info;
    return ::stat (f.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
#endif
}
} // namespace

juce::String presetRefusal (const juce::File& preset)
{
    // A preset is copied beside its place under a longer name first.
    const juce::String why = unsendableNameReason (preset.getFileName(), instrument::stagingPrefix);
    if (why.isNotEmpty())
        return why;
    if (! isPlainFile (preset) || juce::FileInputStream (preset).failedToOpen())
        return "it cannot be read as a file";
    return {};
}

SendPresetsThread::SendPresetsThread (const juce::Array<juce::File>& presets, const juce::StringArray& leftOut)
    : VorlenProgressThread ("presets...", currentProgressListener), files (presets), notRestored (leftOut)
{
}

SendPresetsThread::~SendPresetsThread()
{
    stopBeforeDestruction();
}

void SendPresetsThread::run()
{
    listener->taskNameChanged ("Send presets...", nullptr);
    forgetToldInstrumentFault();
    const int result = remountUsr (true) ? sendAll() : failed;
    if (result == failed)
        tellIfInstrumentLost();
    remountUsr (false);

    if (beingDestroyed)
        return;
    listener->taskNameChanged ({}, nullptr);
    listener->taskFinished ((int) TaskKind::presets, result, nullptr);
}

int SendPresetsThread::sendAll()
{
    const int n = files.size();
    for (int i = 0; i < n; ++i)
    {
        if (threadShouldExit())
            return cancelled;

        juce::File local = files[i];
        const juce::String refusal = presetRefusal (local);
        if (refusal.isNotEmpty())
        {
            // Left out, and the others still go: one odd file must not cost the whole restore.
            std::printf (" - The preset %s is not sent: %s\n", local.getFullPathName().toRawUTF8(), refusal.toRawUTF8());
            notRestored.add (printablePresetName (local.getFileName()) + ": " + refusal);
        }
        else if (! sendOne (local))
            return failed;
        listener->progressChanged ((double) (i + 1) / (double) n, nullptr);
    }
    return restored;
}

bool SendPresetsThread::sendOne (juce::File& local)
{
    DeviceFile preset ("presets/" + local.getFileName(), &local);
    zmodemFileTime = (int32_t) (local.getSize() / 1000);
    const bool ok = installOnDevice (preset, false);
    zmodemFileTime = 0;
    restoredCount += ok ? 1 : 0;
    return ok;
}

juce::String printablePresetName (const juce::String& name)
{
    juce::String shown;
    for (auto c : name)
        shown += (c < 0x20 || (c >= 0x7f && c < 0xa0)) ? juce::juce_wchar ('?') : c;
    return shown;
}

void tellPresetsOutcome (int result, const SendPresetsThread* restore)
{
    if (result == SendPresetsThread::restored && restore != nullptr && ! restore->notRestored.isEmpty())
        showUserMessage (MessageIcon::warning, juce::String (restore->restoredCount) + " of "
                         + juce::String (restore->restoredCount + restore->notRestored.size())
                         + " presets have been restored. Not restored:\n" + restore->notRestored.joinIntoString ("\n"));
    else if (result == SendPresetsThread::restored)
        showUserMessage (MessageIcon::info, "The presets have been restored.");
    else if (result == SendPresetsThread::cancelled)
        showUserMessage (MessageIcon::warning, "The transfer has been aborted.");
    else if (result == SendPresetsThread::failed)
        showUserMessage (MessageIcon::warning, "An error occurs. Presets may not be restored correctly.");
}
