#include "tasks/DownloadFilesWithProgress.h"

#include "application/UserMessages.h"
#include "device/InstrumentCommands.h"
#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "devicefiles/InstrumentFault.h"
#include "tasks/DownloadManager.h"
#include "tasks/FirmwareArchive.h"
#include "tasks/InstallPlan.h"
#include "tasks/UpdateServerResources.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

namespace
{
// run() has returned once `busy` is clear; the thread itself may take a moment longer.
constexpr int previousRunExitWaitMs = 2000;

bool createAndDownload (juce::InputStream& in, VorlenProgressThread& task, const juce::File& target)
{
    if (! target.getParentDirectory().createDirectory())
        return false;
    juce::FileOutputStream out (target);
    if (! out.openedOk())
    {
        std::printf ("Cannot create %s\n", target.getFullPathName().toRawUTF8());
        showUserMessage (MessageIcon::warning, "The download cannot be saved on this computer: " + out.getStatus().getErrorMessage());
        return false;
    }
    return downloadToStream (in, task, out);
}
} // namespace

// A file waiting to be installed and its record; the record refers to the file beside it.
struct DownloadFilesWithProgress::PendingFile
{
    PendingFile (const juce::String& remotePath, const juce::File& file, const juce::String& name)
        : local (file), record (remotePath, &local), shownName (name) {}
    juce::File local;
    DeviceFile record;
    juce::String shownName;
};

// What one URL of the transfer brought: an archive's files or one plain file.
struct DownloadFilesWithProgress::Download
{
    bool archive = false;
    juce::OwnedArray<PendingFile> files;
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
    forgetToldInstrumentFault();

    if (relativeUrls.size() == destinations.size())
    {
        // Downloads and unpacked entries go into a directory of this run's own, never onto
        // names in the shared temporary directory that someone else may have prepared.
        workDirectory = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("vorlen-update", {}, false);
        workDirectory.createDirectory();
        juce::OwnedArray<Download> downloads;
        ok = fetchAll (downloads);
        if (ok)
            ok = remountUsr (true) && installAll (downloads);
        downloads.clear();
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
    if (! ok)
        tellIfInstrumentLost();
    remountUsr (false);
    relativeUrls.clear();
    destinations.clear();
    listener->taskFinished ((int) TaskKind::update, ok ? 1 : 0, sourceComponent);
    busy = false;
}

bool DownloadFilesWithProgress::fetchAll (juce::OwnedArray<Download>& downloads)
{
    for (int i = 0; i < relativeUrls.size(); ++i)
        if (! fetchOne (i, *downloads.add (new Download())))
            return false;
    return true;
}

bool DownloadFilesWithProgress::fetchOne (int index, Download& download)
{
    if (threadShouldExit())
        return false;
    const juce::URL url = updateserver::firmwareResource (relativeUrls[index]);
    if (! openDownload (url))
    {
        closeDownload();
        if (! threadShouldExit())
            showUserMessage (MessageIcon::warning, "The connection to the server fails.");
        return false;
    }

    reportStep ("Download...");
    const juce::String text = url.toString (false);
    download.archive = text.endsWith ("zip");
    if (download.archive)
    {
        mainArchive = mainArchive || text.contains ("main.zip");
        dreamArchive = dreamArchive || text.contains ("dream.zip");
    }
    const bool ok = download.archive ? fetchArchive (index, download) : fetchPlainFile (index, download);
    closeDownload();
    return ok;
}

bool DownloadFilesWithProgress::fetchArchive (int index, Download& download)
{
    const juce::File place = workDirectory.getChildFile (juce::String (index));
    const juce::File archive = place.getChildFile ("download.zip");
    const juce::String& dest = destinations[index];
    if (! createAndDownload (*currentStream, *this, archive))
        return false;
    closeDownload();

    reportStep ("Decompress and copy files...");
    const UnpackedArchive unpacked = unpackFirmwareArchive (archive, place.getChildFile ("entries"));
    archive.deleteFile();
    if (unpacked.refused())
    {
        std::printf ("Refused %s: %s\n", relativeUrls[index].toRawUTF8(), unpacked.refusal.toRawUTF8());
        showUserMessage (MessageIcon::warning, "The archive " + relativeUrls[index] + " from the server cannot be installed: "
                                                   + unpacked.refusal + ". Nothing has been sent to the Vorlen.");
        return false;
    }
    for (const auto& entry : unpacked.files)
        download.files.add (new PendingFile (dest + entry.path, entry.local, entry.path));
    return true;
}

bool DownloadFilesWithProgress::fetchPlainFile (int index, Download& download)
{
    const juce::String& dest = destinations[index];
    const juce::File local = workDirectory.getChildFile (juce::String (index)).getChildFile (dest.fromLastOccurrenceOf ("/", false, false));
    if (! createAndDownload (*currentStream, *this, local))
        return false;
    download.files.add (new PendingFile (dest, local, dest));
    return true;
}

bool DownloadFilesWithProgress::installAll (juce::OwnedArray<Download>& downloads)
{
    juce::Array<PendingFile*> pending;
    std::vector<PlannedFile> planned;
    for (int d = 0; d < downloads.size(); ++d)
        for (auto* file : downloads[d]->files)
        {
            pending.add (file);
            planned.push_back ({ file->record.remotePath, d, downloads[d]->archive });
        }

    for (const auto& step : planInstall (planned, mainArchive))
        if (! carryOut (step, step.file >= 0 ? pending[step.file] : nullptr))
        {
            // Copies that will not be placed would only take the instrument's flash.
            for (auto* file : pending)
                discardWaitingCopy (file->record);
            return false;
        }
    return true;
}

bool DownloadFilesWithProgress::carryOut (const InstallStep& step, PendingFile* file)
{
    switch (step.kind)
    {
        case InstallStep::send:
            return ! threadShouldExit() && sendToInstrument (file->record, file->shownName, step.deferMove);
        case InstallStep::place:
            if (file->record.tmpName.isEmpty())
                return true;
            if (mainArchive)
                reportStep ("Move into destination (" + remoteNamePart (file->record) + ")");
            return moveIntoPlace (file->record);
        case InstallStep::makeMainExecutable:
            // Its answer is only logged: the program itself may print to the console.
            runCommandToPrompt (instrument::chmodMain);
            return true;
    }
    return false;
}

bool DownloadFilesWithProgress::sendToInstrument (DeviceFile& file, const juce::String& shownName, bool deferMove)
{
    reportTransferProgress = true;
    zmodemFileTime = (int32_t) (file.localFile->getSize() / 1000);
    reportStep ("Send file to Vorlen (" + shownName + ")");
    listener->stepSizeChanged (file.localFile->getSize());
    const bool ok = installOnDevice (file, deferMove);
    reportTransferProgress = false;
    zmodemFileTime = 0;
    return ok;
}
