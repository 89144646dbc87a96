#pragma once

// The update task: downloads files from the update server, unpacks the zip archives, installs
// every file on the instrument and, when firmware was replaced, powers the instrument off.
// Created once by the download manager and started again for every transfer.
//
// Everything of one transfer is downloaded and checked before /usr is made writable and the
// first file is sent, so that a bad server or a broken archive leaves the instrument as it
// was instead of half updated.

#include "tasks/VorlenProgressThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;
struct DeviceFile;
struct InstallStep;

class DownloadFilesWithProgress : public VorlenProgressThread
{
public:
    DownloadFilesWithProgress (DownloadFilesListener* listener, DownloadManager& owner);
    ~DownloadFilesWithProgress() override;

    // False, changing nothing, while a transfer runs.
    bool startTransfer (const juce::StringArray& urls, const juce::StringArray& destinationPaths, juce::Component* source);
    void run() override;

    std::atomic<bool> busy { false };
    juce::StringArray relativeUrls;
    juce::StringArray destinations;
    juce::Component* sourceComponent = nullptr;

private:
    struct PendingFile;
    struct Download;
    bool fetchAll (juce::OwnedArray<Download>& downloads);
    bool fetchOne (int index, Download& download);
    bool fetchArchive (int index, Download& download);
    bool fetchPlainFile (int index, Download& download);
    bool installAll (juce::OwnedArray<Download>& downloads);
    bool carryOut (const InstallStep& step, PendingFile* file);
    bool sendToInstrument (DeviceFile& file, const juce::String& shownName, bool deferMove);
    void finish (bool ok);
    void reportStep (const juce::String& name);

    DownloadManager& manager;
    juce::File workDirectory;   // private to one run: downloads and unpacked entries
    bool mainArchive = false;
    bool dreamArchive = false;
};
