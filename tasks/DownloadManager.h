#pragma once

// Owns every background task, lets one run at a time, and holds the firmware versions that
// decide what the window offers. All of its operations run on the message thread.

#include "tasks/DownloadFilesListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadFilesWithProgress;

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
    // Reads the firmware versions from the instrument (its shell must be open).
    DownloadManager();
    // Deletes every task, waiting for each to report its deletion.
    virtual ~DownloadManager();

    // Tasks and their end (the window calls these).
    void createUpdateTask (DownloadFilesListener* listener);
    void cancelTask();
    // A restore, backup or installer task exists.
    bool otherTaskExists() const;

    // Versions.
    bool isFirmwareUpdateAvailable();
    bool hasServerFirmwareVersion() const;
    bool isSoundBankUpdateAvailable();

    // Transfers.
    bool startFirmwareUpdate (juce::Component* source) override;
    void restoreFirmware (juce::Component* source);
    bool startSoundBankUpdate (juce::Component* source) override;

    juce::String firmwareVersion, dreamVersion, serverFirmwareVersion, serverDreamVersion;
    DownloadFilesWithProgress* updateTask = nullptr;
    juce::WaitableEvent taskGone;

    static constexpr const char* newestFirmwareVersion = "2.0";

private:
    void readInstrumentVersions();
    void deleteTask (juce::Thread* task);

    JUCE_DECLARE_NON_COPYABLE (DownloadManager)
};

// The message both start operations show while a preset or installer task exists.
extern const char* const transferAlreadyRunningMessage;  // "A transfer is already running."
