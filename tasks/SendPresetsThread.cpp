#include "tasks/SendPresetsThread.h"

#include "application/UserMessages.h"
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
    const juce::String name = preset.getFileName();
    // A leading "." is hidden on the instrument, and ".." would make the install move the
    // file within the user's directory and place it under /usr/.
    if (name.startsWithChar ('.') || ! isShellSafeName (name, false))
        return "its name can only hold letters, digits and . _ - + , = @ % : and must not start with . or -";
    if (! isPlainFile (preset) || juce::FileInputStream (preset).failedToOpen())
        return "it cannot be read as a file";
    return {};
}

SendPresetsThread::SendPresetsThread (const juce::Array<juce::File>& presets)
    : VorlenProgressThread ("presets...", currentProgressListener), files (presets)
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
            std::printf (" - The preset %s is not sent: %s\n", local.getFullPathName().toRawUTF8(), refusal.toRawUTF8());
            return failed;
        }

        DeviceFile preset ("presets/" + local.getFileName(), &local);
        zmodemFileTime = (int32_t) (local.getSize() / 1000);
        const bool ok = installOnDevice (preset, false);
        zmodemFileTime = 0;
        if (! ok)
            return failed;
        listener->progressChanged ((double) (i + 1) / (double) n, nullptr);
    }
    return restored;
}

void tellPresetsOutcome (int result)
{
    if (result == SendPresetsThread::restored)
        showUserMessage (MessageIcon::info, "The presets have been restored.");
    else if (result == SendPresetsThread::cancelled)
        showUserMessage (MessageIcon::warning, "The transfer has been aborted.");
    else if (result == SendPresetsThread::failed)
        showUserMessage (MessageIcon::warning, "An error occurs. Presets may not be restored correctly.");
}
