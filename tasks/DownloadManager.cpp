#include "tasks/DownloadManager.h"

#include "application/UserMessages.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/UpdateServerResources.h"
#include "tasks/VersionFiles.h"
#include "zmodem/ZmodemHooks.h"

const char* const transferAlreadyRunningMessage = "A transfer is already running.";

namespace
{
constexpr int betweenVersionFilesPauseMs = 150;
const char* const defaultFirmwareVersion = "1.0.1";
const char* const missingVersionFileVersion = "1.0";

// Whether a new sound bank suits the instrument's presets. No such check exists yet: every
// update is allowed and no preset is named.
struct SoundBankCheck
{
    bool allowed = true;
    juce::StringArray unsuitedPresets;
};

SoundBankCheck checkSoundBankAgainstPresets()
{
    return {};
}

bool soundBankSuitsPresets()
{
    const SoundBankCheck check = checkSoundBankAgainstPresets();
    if (! check.allowed)
        return false;
    return check.unsuitedPresets.isEmpty()
           || askUserYesNo (MessageIcon::question,
                            "A new Sound Bank is available. The following presets (" + check.unsuitedPresets.joinIntoString (", ")
                                + ") are not compatibles with the new soundbank. Do you really want to update the sound bank ?\n");
}
} // namespace

DownloadManager::DownloadManager()
{
    readInstrumentVersions();
}

DownloadManager::~DownloadManager()
{
    deleteTask (updateTask);
    updateTask = nullptr;
}

void DownloadManager::deleteTask (juce::Thread* task)
{
    if (task == nullptr)
        return;
    delete task;
    // The deletion's report reaches the window, which signals taskGone.
    taskGone.wait (-1);
}

void DownloadManager::readInstrumentVersions()
{
    firmwareVersion = fetchInstrumentVersion ("config.xml").version;
    if (firmwareVersion.isEmpty())
        firmwareVersion = defaultFirmwareVersion;

    juce::Thread::sleep (betweenVersionFilesPauseMs);

    const InstrumentVersion dream = fetchInstrumentVersion ("dream_version.xml");
    dreamVersion = dream.fetched ? dream.version : juce::String (missingVersionFileVersion);
}

void DownloadManager::createUpdateTask (DownloadFilesListener* listener)
{
    updateTask = new DownloadFilesWithProgress (listener, *this);
    currentProgressListener = listener;
}

void DownloadManager::cancelTask()
{
    if (updateTask != nullptr)
        updateTask->signalThreadShouldExit();
}

// The preset and installer tasks are not built yet; until they are, the update task is the
// only one there can be.
bool DownloadManager::otherTaskExists() const
{
    return false;
}

bool DownloadManager::isFirmwareUpdateAvailable()
{
    serverFirmwareVersion = newestFirmwareVersion;
    serverDreamVersion = newestFirmwareVersion;
    return isOlderVersion (firmwareVersion, serverFirmwareVersion) || isOlderVersion (dreamVersion, serverDreamVersion);
}

bool DownloadManager::hasServerFirmwareVersion() const
{
    return serverFirmwareVersion.isNotEmpty();
}

bool DownloadManager::isSoundBankUpdateAvailable()
{
    const juce::String serverSound = fetchServerVersion (updateserver::firmwareResource (updateserver::soundBankVersion));
    const InstrumentVersion device = fetchInstrumentVersion ("sound_version.xml");
    const juce::String deviceSound = device.fetched ? device.version : juce::String (missingVersionFileVersion);
    return isOlderVersion (deviceSound, serverSound);
}

bool DownloadManager::startFirmwareUpdate (juce::Component* source)
{
    if (updateTask == nullptr || (serverFirmwareVersion.isEmpty() && serverDreamVersion.isEmpty()))
        return false;
    if (otherTaskExists())
    {
        showUserMessage (MessageIcon::warning, transferAlreadyRunningMessage);
        return false;
    }

    juce::StringArray urls, destinations;
    if (isOlderVersion (firmwareVersion, serverFirmwareVersion))
    {
        urls.add (updateserver::mainFirmwareArchive);
        destinations.add ({});
    }
    if (isOlderVersion (dreamVersion, serverDreamVersion))
    {
        urls.add (updateserver::dreamFirmwareArchive);
        destinations.add ({});
    }
    return ! urls.isEmpty() && updateTask->startTransfer (urls, destinations, source);
}

void DownloadManager::restoreFirmware (juce::Component* source)
{
    if (! askUserYesNo (MessageIcon::question,
                        "Do you want to restore your system with the lastest firmware available on the server ?"))
        return;
    firmwareVersion = {};
    dreamVersion = {};
    startFirmwareUpdate (source);
}

bool DownloadManager::startSoundBankUpdate (juce::Component* source)
{
    if (otherTaskExists())
    {
        showUserMessage (MessageIcon::warning, transferAlreadyRunningMessage);
        return false;
    }
    if (updateTask == nullptr || ! soundBankSuitsPresets())
        return false;

    const juce::StringArray urls { updateserver::soundBankWavetable, updateserver::soundBankDescription,
                                   updateserver::soundBankVersion };
    const juce::StringArray destinations { "wavetable.bin", "wavetable.txt", "sound_version.xml" };
    return updateTask->startTransfer (urls, destinations, source);
}
