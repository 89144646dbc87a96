#include "tasks/DownloadManager.h"

#include "application/UserMessages.h"
#include "device/CommunicationLog.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/LoadAppInstallerThread.h"
#include "tasks/ReceivePresetsThread.h"
#include "tasks/SendPresetsThread.h"
#include "tasks/UpdateServerResources.h"
#include "tasks/VersionFiles.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

const char* const transferAlreadyRunningMessage = "A transfer is already running.";
const char* const presetsBackupNotice =
    "Your presets will be saved.\nIt may take several minutes.\nDon't close the application until the operation is completed.";
const char* const presetsRestoreNotice =
    "The presets will be copied into Vorlen.\n It may take several minutes.\nDon't unplug the device until the operation is completed.";

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
    removeDownloadedInstaller();
    readInstrumentVersions();
}

DownloadManager::~DownloadManager()
{
    deleteTask (updateTask);
    deleteTask (restoreTask);
    deleteTask (backupTask);
    deleteTask (installerTask);
}

// A task whose thread does not end in time is left undeleted: its run() still uses its
// members, and freeing them under it would be worse than the leak at the application's end.
template <typename Task>
void DownloadManager::deleteTask (Task*& task)
{
    if (task == nullptr)
        return;
    // As its own destructor would: a task stopped by its deletion makes no end report.
    if (task->isThreadRunning())
        task->beingDestroyed = true;
    task->signalThreadShouldExit();
    if (! task->waitForThreadToExit (shutdownWaitMs))
    {
        std::printf ("Task \"%s\" did not end within %d ms; it is left running\n", task->getThreadName().toRawUTF8(),
                     shutdownWaitMs);
        std::fflush (stdout);
        task = nullptr;
        return;
    }
    // A deletion that nobody waited for (the window's own clean-up) left the event set.
    taskGone.reset();
    delete task;
    task = nullptr;
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
    if (restoreTask != nullptr)
        restoreTask->signalThreadShouldExit();
    // The backup never stops part way; its exit flag would only make the window's message
    // lock give up on the backup's thread, leaving the task display up after it ends.
    if (backupTask != nullptr)
        showUserMessage (MessageIcon::warning, "This action cannot be canceled.");
    if (installerTask != nullptr)
        installerTask->signalThreadShouldExit();
}

void DownloadManager::stopAllTasks()
{
    for (juce::Thread* task : { (juce::Thread*) updateTask, (juce::Thread*) restoreTask, (juce::Thread*) installerTask })
        if (task != nullptr)
            task->signalThreadShouldExit();
}

bool DownloadManager::anyTaskThreadRunning() const
{
    for (const juce::Thread* task : { (const juce::Thread*) updateTask, (const juce::Thread*) restoreTask,
                                      (const juce::Thread*) backupTask, (const juce::Thread*) installerTask })
        if (task != nullptr && task->isThreadRunning())
            return true;
    return false;
}

bool DownloadManager::otherTaskExists() const
{
    return restoreTask != nullptr || backupTask != nullptr || installerTask != nullptr;
}

bool DownloadManager::anyTaskRuns() const
{
    return otherTaskExists() || (updateTask != nullptr && updateTask->busy);
}

void DownloadManager::deletePresetTasks()
{
    presetFiles.clear();
    delete restoreTask;
    restoreTask = nullptr;
    delete backupTask;
    backupTask = nullptr;
}

void DownloadManager::deleteInstallerTask()
{
    delete installerTask;
    installerTask = nullptr;
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
    serverSoundVersion = fetchServerVersion (updateserver::firmwareResource (updateserver::soundBankVersion));
    const InstrumentVersion device = fetchInstrumentVersion ("sound_version.xml");
    soundVersion = device.fetched ? device.version : juce::String (missingVersionFileVersion);
    return isOlderVersion (soundVersion, serverSoundVersion);
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

bool DownloadManager::backupPresets (const juce::File& directory)
{
    if (anyTaskRuns())
        return false;
    backupTask = new ReceivePresetsThread (directory);
    backupTask->startThread();
    return true;
}

bool DownloadManager::restorePresets (const juce::File& directory)
{
    if (anyTaskRuns())
        return false;

    presetFiles = directory.findChildFiles (juce::File::findFiles, false, "*.mz");
    presetFiles.sort();
    if (presetFiles.isEmpty())
    {
        showUserMessage (MessageIcon::warning, "There is no presets in this directory !");
        return true;
    }
    const juce::StringArray leftOut = setAsideUnsendablePresets();
    if (presetFiles.isEmpty())
        return true;

    if (askUserYesNo (MessageIcon::info,
                      "The presets curently into the Vorlen will be overwritten. Make sure to save them first if you want to keep them. "
                      "Do you want to continue and overwrite your presets ?"))
    {
        restoreTask = new SendPresetsThread (presetFiles, leftOut);
        restoreTask->startThread();
    }
    return true;
}

// Named before the question, so that the user knows what the restore will leave out; the
// others are still restored.
juce::StringArray DownloadManager::setAsideUnsendablePresets()
{
    juce::StringArray leftOut;
    for (int i = presetFiles.size(); --i >= 0;)
    {
        const juce::String why = presetRefusal (presetFiles[i]);
        if (why.isEmpty())
            continue;
        leftOut.insert (0, printablePresetName (presetFiles[i].getFileName()) + ": " + why);
        presetFiles.remove (i);
    }
    if (! leftOut.isEmpty())
        showUserMessage (MessageIcon::warning, "These files cannot be restored onto the Vorlen and are left out:\n"
                                                   + leftOut.joinIntoString ("\n"));
    return leftOut;
}

bool DownloadManager::checkApplicationUpdate()
{
    return checkApplicationUpdate (juce::SystemStats::getOperatingSystemType());
}

bool DownloadManager::checkApplicationUpdate (juce::SystemStats::OperatingSystemType system)
{
    // Elsewhere a Yes would start nothing and still lock the Firmware tab: ask nothing.
    const bool onWindows = (system & juce::SystemStats::Windows) != 0;
    const bool onMac = (system & juce::SystemStats::MacOSX) != 0;
    if (! onWindows && ! onMac)
        return false;

    const juce::String serverApp = fetchServerVersion (updateserver::applicationResource (updateserver::applicationVersionDocument));
    if (! isOlderVersion (applicationVersionString, serverApp))
        return false;
    if (! askUserYesNo (MessageIcon::question, "A new version of this application is available on the server.\nDo you want to install it ?"))
        return false;

    if (onWindows)
    {
        // Asked once at start-up; a second call must not lose the running download.
        if (installerTask == nullptr)
        {
            installerTask = new LoadAppInstallerThread();
            installerTask->startThread();
        }
        return true;
    }

    updateserver::applicationResource (updateserver::applicationInstaller).launchInDefaultBrowser();
    showUserMessage (MessageIcon::warning,
                     "The setup file is loading.\nYou can now close the application, and install the new version when the download is completed.");
    return true;
}
