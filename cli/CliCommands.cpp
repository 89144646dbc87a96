#include "cli/CliCommands.h"

#include "cli/Interrupts.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/DownloadManager.h"
#include "tasks/ReceivePresetsThread.h"
#include "tasks/SendPresetsThread.h"

namespace
{
constexpr int pollMs = 100;

void print (CliContext& c, const juce::String& text)
{
    std::fprintf (c.out, "%s\n", text.toRawUTF8());
    std::fflush (c.out);
}

// A transfer of a file is never broken off; say so, for the impatient second Ctrl-C.
void explainWait (CliContext& c)
{
    const juce::String step = c.reporter.currentStep();
    const bool transfer = step.startsWith ("Send") || step.startsWith ("Receive");
    c.lines.line (transfer ? "info: waiting: a file being moved over the serial line is finished first (" + step + ")"
                           : "info: waiting for the task to stop at its next step");
}

// `nth` counts from the start of the program: a job is not started after an interrupt, so the
// first one during a task is the Cancel.
void onInterrupt (CliContext& c, int nth)
{
    if (nth == 1)
    {
        c.lines.line ("info: Cancel");
        const int warnings = c.messages.warningsShown();
        c.manager.cancelTask();
        c.cancelWarnings += c.messages.warningsShown() - warnings;
    }
    else
        explainWait (c);
}

void waitForEnd (CliContext& c)
{
    int seen = interruptCount();
    while (! c.reporter.waitForEnd (pollMs))
        for (const int now = interruptCount(); seen < now;)
            onInterrupt (c, ++seen);
}

bool interrupted()
{
    return interruptCount() != 0;
}

int outcome (bool ok)
{
    if (ok)
        return exitstatus::done;
    return interrupted() ? interruptedExitStatus : exitstatus::failed;
}

// The update task stays with the manager; its thread must end before the program does.
int finishUpdate (CliContext& c)
{
    waitForEnd (c);
    c.manager.updateTask->waitForThreadToExit (-1);
    if (c.reporter.quitWasRequested())
        print (c, "The instrument has been powered off.");
    return outcome (c.reporter.endResult() == 1);
}

// A job that did not start was refused, or its question was interrupted.
int notStarted()
{
    return interrupted() ? interruptedExitStatus : exitstatus::refused;
}

int startedUpdate (CliContext& c)
{
    if (! c.manager.updateTask->busy)
        return notStarted();
    return finishUpdate (c);
}

int updateFirmware (CliContext& c)
{
    if (! c.manager.isFirmwareUpdateAvailable())
    {
        print (c, "Nothing to update: your firmware is up to date.");
        return exitstatus::done;
    }
    if (interrupted())
        return interruptedExitStatus;
    c.manager.startFirmwareUpdate (nullptr);
    return startedUpdate (c);
}

int restoreFirmware (CliContext& c)
{
    // The server's versions are what the restore installs; the Firmware tab reads them first.
    c.manager.isFirmwareUpdateAvailable();
    if (interrupted())
        return interruptedExitStatus;
    c.manager.restoreFirmware (nullptr);
    return startedUpdate (c);
}

int updateSounds (CliContext& c)
{
    const bool offered = c.manager.isSoundBankUpdateAvailable();
    if (c.manager.serverSoundVersion.isEmpty())
    {
        showUserMessage (MessageIcon::warning, "The connection to the server fails.");
        return exitstatus::failed;
    }
    if (! offered)
    {
        print (c, "Nothing to update: the sound bank is up to date.");
        return exitstatus::done;
    }
    if (interrupted())
        return interruptedExitStatus;
    c.manager.startSoundBankUpdate (nullptr);
    return startedUpdate (c);
}

// The preset tasks are deleted by the main thread once their thread has ended, as the window
// deletes them on its message thread.
void deletePresetTasks (CliContext& c)
{
    if (c.manager.backupTask != nullptr)
        c.manager.backupTask->waitForThreadToExit (-1);
    if (c.manager.restoreTask != nullptr)
        c.manager.restoreTask->waitForThreadToExit (-1);
    c.manager.deletePresetTasks();
}

int backup (CliContext& c, const juce::File& directory)
{
    if (! directory.isDirectory() && ! directory.createDirectory())
    {
        showUserMessage (MessageIcon::warning, "Cannot create the directory " + directory.getFullPathName());
        return exitstatus::failed;
    }
    showUserMessage (MessageIcon::info, presetsBackupNotice);
    if (interrupted())
        return interruptedExitStatus;
    const int warnings = c.messages.warningsShown();
    if (! c.manager.backupPresets (directory))
    {
        showUserMessage (MessageIcon::warning, transferAlreadyRunningMessage);
        return exitstatus::refused;
    }
    waitForEnd (c);
    deletePresetTasks (c);
    // The backup reports no result of its own: its messages tell.
    return c.messages.warningsShown() - c.cancelWarnings == warnings ? exitstatus::done : exitstatus::failed;
}

int restore (CliContext& c, const juce::File& directory)
{
    if (! directory.isDirectory())
    {
        c.lines.line ("vorlen-cli: no such directory: " + directory.getFullPathName());
        return exitstatus::usage;
    }
    showUserMessage (MessageIcon::info, presetsRestoreNotice);
    if (interrupted())
        return interruptedExitStatus;
    if (! c.manager.restorePresets (directory))
    {
        showUserMessage (MessageIcon::warning, transferAlreadyRunningMessage);
        return exitstatus::refused;
    }
    if (c.manager.restoreTask == nullptr)
    {
        c.manager.presetFiles.clear();
        return notStarted();
    }
    waitForEnd (c);
    // A restore that left presets out has not done what was asked: scripts must see it.
    c.manager.restoreTask->waitForThreadToExit (-1);
    const bool leftOut = ! c.manager.restoreTask->notRestored.isEmpty();
    deletePresetTasks (c);
    const int result = c.reporter.endResult();
    if (result == 2)
        return interruptedExitStatus;
    return outcome (result == 1 && ! leftOut);
}

juce::String offeredText (bool offered)
{
    return offered ? "offered" : "not offered";
}

juce::String orUnknown (const juce::String& version)
{
    return version.isNotEmpty() ? version : juce::String ("unknown (the server cannot be read)");
}

int status (CliContext& c)
{
    const bool firmwareOffered = c.manager.isFirmwareUpdateAvailable();
    const bool soundOffered = c.manager.isSoundBankUpdateAvailable();
    if (c.options.json)
    {
        print (c, statusJson (c.manager, firmwareOffered, soundOffered));
        return exitstatus::done;
    }
    auto& m = c.manager;
    print (c, "Port:               " + instrumentPortName);
    print (c, "Serial number:      " + instrumentSerialNumber);
    print (c, "Firmware:           " + m.firmwareVersion + " (sound engine " + m.dreamVersion + ")");
    print (c, "Sound bank:         " + m.soundVersion);
    print (c, "Server firmware:    " + m.serverFirmwareVersion + " (sound engine " + m.serverDreamVersion + ")");
    print (c, "Server sound bank:  " + orUnknown (m.serverSoundVersion));
    print (c, "Firmware update:    " + offeredText (firmwareOffered));
    print (c, "Sound bank update:  " + offeredText (soundOffered));
    return exitstatus::done;
}
} // namespace

juce::String statusJson (DownloadManager& m, bool firmwareOffered, bool soundOffered)
{
    auto* server = new juce::DynamicObject();
    server->setProperty ("firmware", m.serverFirmwareVersion);
    server->setProperty ("dream", m.serverDreamVersion);
    server->setProperty ("soundBank", m.serverSoundVersion.isNotEmpty() ? juce::var (m.serverSoundVersion) : juce::var());

    auto* root = new juce::DynamicObject();
    root->setProperty ("port", instrumentPortName);
    root->setProperty ("serialNumber", instrumentSerialNumber);
    root->setProperty ("firmware", m.firmwareVersion);
    root->setProperty ("dream", m.dreamVersion);
    root->setProperty ("soundBank", m.soundVersion);
    root->setProperty ("server", juce::var (server));
    root->setProperty ("firmwareUpdateOffered", firmwareOffered);
    root->setProperty ("soundBankUpdateOffered", soundOffered);
    return juce::JSON::toString (juce::var (root), true);
}

int runCliCommand (CliContext& c)
{
    switch (c.options.command)
    {
        case CliCommand::status:          return status (c);
        case CliCommand::updateFirmware:  return updateFirmware (c);
        case CliCommand::restoreFirmware: return restoreFirmware (c);
        case CliCommand::updateSounds:    return updateSounds (c);
        case CliCommand::backup:          return backup (c, juce::File::getCurrentWorkingDirectory().getChildFile (c.options.directory));
        case CliCommand::restore:         return restore (c, juce::File::getCurrentWorkingDirectory().getChildFile (c.options.directory));
        case CliCommand::none:            break;
    }
    return exitstatus::usage;
}
