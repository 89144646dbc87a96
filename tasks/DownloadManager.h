#pragma once

// Owns every background task, lets one run at a time, and holds the firmware versions that
// decide what the window offers. All of its operations run on the message thread.

#include "tasks/DownloadFilesListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadFilesWithProgress;
class SendPresetsThread;
class ReceivePresetsThread;
class LoadAppInstallerThread;

// What the Firmware tab's two update buttons call.
class VUButtonListener
{
public:
    virtual bool startFirmwareUpdate (juce::Component* source) = 0;
    virtual bool startSoundBankUpdate (juce::Component* source) = 0;

protected:
    ~VUButtonListener() = default;
};

class DownloadManager : public VUButtonListener
{
public:
    // Deletes an installer left by an earlier update, then reads the firmware versions from
    // the instrument (its shell must be open).
    DownloadManager();
    // Deletes every task, waiting for each to report its deletion.
    virtual ~DownloadManager();

    // Tasks and their end (the window calls these).
    void createUpdateTask (DownloadFilesListener* listener);
    void cancelTask();
    // The application is ending: every task that can stop is asked to, without a message.
    void stopAllTasks();
    // Whether the thread of any task still runs.
    bool anyTaskThreadRunning() const;
    // A restore, backup or installer task exists.
    bool otherTaskExists() const;
    void deletePresetTasks();
    void deleteInstallerTask();

    // Versions.
    bool isFirmwareUpdateAvailable();
    bool hasServerFirmwareVersion() const;
    bool isSoundBankUpdateAvailable();

    // Transfers.
    bool startFirmwareUpdate (juce::Component* source) override;
    void restoreFirmware (juce::Component* source);
    bool startSoundBankUpdate (juce::Component* source) override;

    // Presets. False only when another task exists or the update task is busy.
    bool backupPresets (const juce::File& directory);
    bool restorePresets (const juce::File& directory);

    // Application update: true when the user accepted a newer version offered by the server.
    bool checkApplicationUpdate();
    bool checkApplicationUpdate (juce::SystemStats::OperatingSystemType system);

    juce::String firmwareVersion, dreamVersion, serverFirmwareVersion, serverDreamVersion;
    // As the last isSoundBankUpdateAvailable found them; the server's is empty when it could
    // not be read.
    juce::String soundVersion, serverSoundVersion;
    DownloadFilesWithProgress* updateTask = nullptr;
    SendPresetsThread* restoreTask = nullptr;
    ReceivePresetsThread* backupTask = nullptr;
    LoadAppInstallerThread* installerTask = nullptr;
    juce::WaitableEvent taskGone;
    juce::Array<juce::File> presetFiles;

    static constexpr const char* newestFirmwareVersion = "2.0";
    // How long the manager's destruction waits for each task's thread before leaving it be.
    static constexpr int shutdownWaitMs = 13000;

    // Reads the instrument's firmware and sound engine versions again.
    void readInstrumentVersions();

private:
    template <typename Task>
    void deleteTask (Task*& task);
    bool anyTaskRuns() const;
    juce::StringArray setAsideUnsendablePresets();

    JUCE_DECLARE_NON_COPYABLE (DownloadManager)
};

// The message both start operations show while a preset or installer task exists.
extern const char* const transferAlreadyRunningMessage;  // "A transfer is already running."

// What the user is told before a preset backup or restore starts.
extern const char* const presetsBackupNotice;
extern const char* const presetsRestoreNotice;
