#include "tasks/DownloadFilesWithProgress.h"

#include "application/UserMessages.h"
#include "device/InstrumentCommands.h"
#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "tasks/DownloadManager.h"
#include "tasks/UpdateServerResources.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

namespace
{
// run() has returned once `busy` is clear; the thread itself may take a moment longer.
constexpr int previousRunExitWaitMs = 2000;

bool createAndDownload (juce::InputStream& in, VorlenProgressThread& task, const juce::File& target)
{
    juce::FileOutputStream out (target);
    if (! out.openedOk())
    {
        std::printf ("Cannot create %s\n", target.getFullPathName().toRawUTF8());
        return false;
    }
    return downloadToStream (in, task, out);
}
} // namespace

// An unpacked archive entry and its record; the record refers to the file beside it.
struct DownloadFilesWithProgress::InstalledEntry
{
    InstalledEntry (const juce::String& remotePath, const juce::File& file) : local (file), record (remotePath, &local) {}
    juce::File local;
    DeviceFile record;
};

DownloadFilesWithProgress::DownloadFilesWithProgress (DownloadFilesListener* taskListener, DownloadManager& owner)
    : VorlenProgressThread ("download...", taskListener), manager (owner)
{
}

DownloadFilesWithProgress::~DownloadFilesWithProgress()
{
    stopBeforeDestruction();
}

bool DownloadFilesWithProgress::startTransfer (const juce::StringArray& urls, const juce::StringArray& destinationPaths,
                                               juce::Component* source)
{
    if (busy)
        return false;
    waitForThreadToExit (previousRunExitWaitMs);
    busy = true;
    relativeUrls = urls;
    destinations = destinationPaths;
    sourceComponent = source;
    startThread();
    return true;
}

void DownloadFilesWithProgress::reportStep (const juce::String& name)
{
    listener->taskNameChanged (name, sourceComponent);
}

void DownloadFilesWithProgress::run()
{
    bool ok = false;
    mainArchive = dreamArchive = false;
    anyFileSent = false;

    if (relativeUrls.size() == destinations.size())
    {
        remountUsr (true);
        // Downloads and unpacked entries go into a directory of this run's own, never onto
        // names in the shared temporary directory that someone else may have prepared.
        workDirectory = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("vorlen-update", {}, false);
        workDirectory.createDirectory();
        for (int i = 0; i < relativeUrls.size(); ++i)
            if (! (ok = transferOne (relativeUrls[i], destinations[i])))
                break;
        workDirectory.deleteRecursively();
    }

    reportStep ({});
    if ((mainArchive || dreamArchive) && anyFileSent && ok)
    {
        sendShellCommand (instrument::powerOff);
        showUserMessage (MessageIcon::warning,
                         "The vorlen has been powered-off. Unplug the USB cable and restart it to enjoy the new firmware.");
        // The application is about to quit; should it not, the task must not stay busy and
        // refuse every later transfer.
        relativeUrls.clear();
        destinations.clear();
        busy = false;
        listener->quitRequested();
        return;
    }
    finish (ok);
}

void DownloadFilesWithProgress::finish (bool ok)
{
    remountUsr (false);
    relativeUrls.clear();
    destinations.clear();
    listener->taskFinished ((int) TaskKind::update, ok ? 1 : 0, sourceComponent);
    busy = false;
}

bool DownloadFilesWithProgress::transferOne (const juce::String& relativeUrl, const juce::String& dest)
{
    const juce::URL url = updateserver::firmwareResource (relativeUrl);
    std::unique_ptr<juce::InputStream> stream (url.createInputStream (
        juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)));
    if (stream == nullptr)
    {
        showUserMessage (MessageIcon::warning, "The connection to the server fails.");
        return false;
    }

    currentStream = stream.get();
    reportStep ("Download...");
    const juce::String text = url.toString (false);
    bool ok = false;
    if (text.endsWith ("zip"))
    {
        mainArchive = mainArchive || text.contains ("main.zip");
        dreamArchive = dreamArchive || text.contains ("dream.zip");
        ok = installArchive (*stream, dest);
    }
    else
        ok = installPlainFile (*stream, dest);
    currentStream = nullptr;
    return ok;
}

bool DownloadFilesWithProgress::installArchive (juce::InputStream& in, const juce::String& dest)
{
    const juce::File archive = workDirectory.getNonexistentChildFile ("download", ".zip", false);
    bool ok = createAndDownload (in, *this, archive);

    if (ok)
    {
        juce::ZipFile zip (archive);
        juce::OwnedArray<InstalledEntry> installed;
        reportStep ("Decompress and copy files...");
        ok = installArchiveEntries (zip, dest, installed);

        for (auto* entry : installed)
        {
            if (! (ok && mainArchive))
                break;
            reportStep ("Move into destination (" + remoteNamePart (entry->record) + ")");
            ok = moveIntoPlace (entry->record);
        }
    }
    archive.deleteFile();
    return ok;
}

bool DownloadFilesWithProgress::installArchiveEntries (juce::ZipFile& zip, const juce::String& dest,
                                                       juce::OwnedArray<InstalledEntry>& installed)
{
    for (int j = 0; j < zip.getNumEntries(); ++j)
    {
        if (threadShouldExit())
            return false;
        // JUCE refuses entries that would land outside the directory.
        const juce::Result unpacked = zip.uncompressEntry (j, workDirectory, true);
        if (unpacked.failed())
        {
            std::printf ("Cannot unpack %s: %s\n", zip.getEntry (j)->filename.toRawUTF8(), unpacked.getErrorMessage().toRawUTF8());
            return false;
        }

        const juce::String name = zip.getEntry (j)->filename;
        if (name.endsWith ("/"))
            continue;

        const juce::File local = workDirectory.getChildFile (name);
        const juce::String remote = dest + local.getRelativePathFrom (workDirectory).replace ("\\", "/");
        auto* entry = installed.add (new InstalledEntry (remote, local));
        const bool ok = sendToInstrument (entry->record, name, mainArchive);
        entry->local.deleteFile();
        if (! ok)
            return false;
    }
    return true;
}

bool DownloadFilesWithProgress::installPlainFile (juce::InputStream& in, const juce::String& dest)
{
    juce::File local = workDirectory.getChildFile (dest.fromLastOccurrenceOf ("/", false, false));
    local.deleteFile();
    bool ok = createAndDownload (in, *this, local);
    if (ok)
    {
        DeviceFile file (dest, &local);
        ok = sendToInstrument (file, dest, false);
    }
    local.deleteFile();
    return ok;
}

bool DownloadFilesWithProgress::sendToInstrument (DeviceFile& file, const juce::String& shownName, bool deferMove)
{
    reportTransferProgress = true;
    zmodemFileTime = (int32_t) (file.localFile->getSize() / 1000);
    reportStep ("Send file to Vorlen (" + shownName + ")");
    const bool ok = installOnDevice (file, deferMove);
    reportTransferProgress = false;
    zmodemFileTime = 0;
    return ok;
}
