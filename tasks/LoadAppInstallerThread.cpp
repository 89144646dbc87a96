#include "tasks/LoadAppInstallerThread.h"

#include "application/Settings.h"
#include "application/UserMessages.h"
#include "tasks/UpdateServerResources.h"
#include "zmodem/ZmodemHooks.h"

#include <cstdio>

namespace
{
const char* text (const juce::String& s) { return s.toRawUTF8(); }

// Null until the window has set the settings file up: an unconfigured ApplicationProperties
// would invent a file of its own.
juce::PropertiesFile* configuredUserSettings()
{
    return applicationSettingsConfigured() ? applicationSettings().getUserSettings() : nullptr;
}

juce::String rememberedInstaller()
{
    auto* settings = configuredUserSettings();
    return settings != nullptr ? settings->getValue (fileToRemoveKey) : juce::String();
}

// The settings file can be edited by anyone who can write the user's files; the value is
// only ever trusted to name the one file this application saves, never to pick another
// file to delete or to run.
bool isOwnInstaller (const juce::String& path)
{
    return path.isNotEmpty() && path == downloadedInstallerFile().getFullPathName();
}

void rememberInstaller (const juce::File& installer)
{
    if (auto* settings = configuredUserSettings())
    {
        settings->setValue (fileToRemoveKey, installer.getFullPathName());
        // Saved at once: a crash during the download must still leave the clean-up its path.
        settings->saveIfNeeded();
    }
}
} // namespace

juce::File downloadedInstallerFile()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getChildFile (updateserver::applicationInstaller);
}

LoadAppInstallerThread::LoadAppInstallerThread() : VorlenProgressThread ("AppInstaller...", currentProgressListener)
{
}

LoadAppInstallerThread::~LoadAppInstallerThread()
{
    stopBeforeDestruction();
}

void LoadAppInstallerThread::run()
{
    const bool ok = download();
    listener->taskNameChanged ({}, nullptr);
    listener->taskFinished ((int) TaskKind::installer, ok ? 1 : 0, nullptr);
}

bool LoadAppInstallerThread::download()
{
    const juce::URL url = updateserver::applicationResource (updateserver::applicationInstaller);
    // An error page is a body too: saved, it would be started as the installer. A program is
    // started only when it came from the configured server (no redirection elsewhere) with
    // its announced length: a body of unknown length cannot be known to be whole.
    if (! openDownload (url, true) || currentStream->getTotalLength() < 0)
    {
        closeDownload();
        if (! threadShouldExit())
            showUserMessage (MessageIcon::warning, "The connection to the server failed.");
        return false;
    }

    listener->taskNameChanged ("Download Application Update...", nullptr);
    const juce::File installer = downloadedInstallerFile();
    installer.deleteFile();
    rememberInstaller (installer);

    installer.getParentDirectory().createDirectory();
    bool ok = false;
    {
        juce::FileOutputStream out (installer);
        if (out.openedOk())
            ok = downloadToStream (*currentStream, *this, out);
        else
        {
            std::printf ("Cannot create %s: %s\n", text (installer.getFullPathName()), text (out.getStatus().getErrorMessage()));
            showUserMessage (MessageIcon::warning, "The installer cannot be saved into " + installer.getFullPathName());
        }
    }
    closeDownload();
    return ok;
}

juce::File installerToStart (juce::SystemStats::OperatingSystemType system)
{
    if ((system & juce::SystemStats::Windows) == 0)
        return {};
    const juce::String remembered = rememberedInstaller();
    if (! isOwnInstaller (remembered))
    {
        std::printf ("Not started: \"%s\" is not the installer this application saved\n", text (remembered));
        return {};
    }
    const juce::File installer = downloadedInstallerFile();
    return installer.existsAsFile() ? installer : juce::File();
}

bool startDownloadedInstaller (juce::SystemStats::OperatingSystemType system)
{
    const juce::File installer = installerToStart (system);
    return installer != juce::File() && installer.startAsProcess();
}

void removeDownloadedInstaller()
{
    auto* settings = configuredUserSettings();
    const juce::String remembered = rememberedInstaller();
    if (settings == nullptr || remembered.isEmpty())
        return;

    const juce::File installer = downloadedInstallerFile();
    if (! isOwnInstaller (remembered))
        std::printf (" - \"%s\" is not the installer this application saves; it is left alone\n", text (remembered));
    else if (! installer.isDirectory())
        installer.deleteFile();
    settings->removeValue (fileToRemoveKey);
}
