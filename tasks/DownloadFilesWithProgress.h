#pragma once

// The update task: downloads files from the update server, unpacks the zip archives, installs
// every file on the instrument and, when firmware was replaced, powers the instrument off.
// Created once by the download manager and started again for every transfer.

#include "tasks/VorlenProgressThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;
struct DeviceFile;

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
    struct InstalledEntry;
    bool transferOne (const juce::String& relativeUrl, const juce::String& dest);
    bool installArchive (juce::InputStream& in, const juce::String& dest);
    bool installArchiveEntries (juce::ZipFile& zip, const juce::String& dest, juce::OwnedArray<InstalledEntry>& installed);
    bool installPlainFile (juce::InputStream& in, const juce::String& dest);
    bool sendToInstrument (DeviceFile& file, const juce::String& shownName, bool deferMove);
    void finish (bool ok);
    void reportStep (const juce::String& name);

    DownloadManager& manager;
    juce::File workDirectory;   // private to one run: downloads and unpacked entries
    bool mainArchive = false;
    bool dreamArchive = false;
};
