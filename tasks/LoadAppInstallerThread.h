#pragma once

// The download of a newer application's installer into the user's application-data
// directory. Its path is remembered under "FileToRemove" before the download starts, so that
// the next start of the application deletes whatever was left, complete or not.

#include "tasks/VorlenProgressThread.h"

class LoadAppInstallerThread : public VorlenProgressThread
{
public:
    LoadAppInstallerThread();
    ~LoadAppInstallerThread() override;

    void run() override;

private:
    bool download();
};

// Where the installer is saved: "VorlenSoftware_setup.exe" in the application-data directory.
juce::File downloadedInstallerFile();

// Called by the window once the installer has arrived and the user has acknowledged it: on a
// Windows system starts the file remembered under "FileToRemove", when that is the installer
// this application saved. True when it was started.
bool startDownloadedInstaller (juce::SystemStats::OperatingSystemType system = juce::SystemStats::getOperatingSystemType());
// The file startDownloadedInstaller would start, or none: reads the settings, starts nothing.
juce::File installerToStart (juce::SystemStats::OperatingSystemType system = juce::SystemStats::getOperatingSystemType());

// The clean-up at start: deletes the installer remembered under "FileToRemove" and forgets it.
void removeDownloadedInstaller();
