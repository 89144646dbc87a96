#include "tests/gui/InstrumentRig.h"

#include "application/Settings.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"
#include "zmodem/ZmodemState.h"

#include <cstdlib>

InstrumentRig::InstrumentRig (std::vector<std::string> emulatorArguments, const std::string& content)
    : instrument (std::move (emulatorArguments))
{
    server.generateContent ("--main-size 2K --lib-size 1K --dream-size 1K --wavetable-size 1K " + content);
    ::setenv ("VORLEN_FIRMWARE_BASE_URL", (server.baseUrl() + "last/").c_str(), 1);
    ::setenv ("VORLEN_APPLICATION_BASE_URL", (server.baseUrl() + "vorlensoftware/").c_str(), 1);
    configureApplicationSettings();
    errorClear();
    zmodemSetDefaults();
    zmodemOpen (instrument.port().c_str());
    runShellCommand ("cd /usr/ap", false);
}

InstrumentRig::~InstrumentRig()
{
    zmodemClose();
    errorClear();
    currentDeviceDirectory = {};
    saveAndDeleteApplicationSettings();
    ::unsetenv ("VORLEN_FIRMWARE_BASE_URL");
    ::unsetenv ("VORLEN_APPLICATION_BASE_URL");
}

std::unique_ptr<DownloadManager> InstrumentRig::newManager() const
{
    return std::make_unique<DownloadManager>();
}
