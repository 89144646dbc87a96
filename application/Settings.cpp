#include "application/Settings.h"

const char* const lastPresetsDirKey = "LastPresetsDir";
const char* const fileToRemoveKey = "FileToRemove";

namespace
{
juce::ApplicationProperties* settings = nullptr;
}

juce::ApplicationProperties& applicationSettings()
{
    if (settings == nullptr)
        settings = new juce::ApplicationProperties();
    return *settings;
}

void configureApplicationSettings()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Vorlen";
    options.filenameSuffix = ".settings";
    options.folderName = "Trel";
    options.osxLibrarySubFolder = "Application Support";
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    // Never on a timer: the file is written when the window goes away.
    options.millisecondsBeforeSaving = -1;
    applicationSettings().setStorageParameters (options);
}

void saveAndDeleteApplicationSettings()
{
    if (settings == nullptr)
        return;
    settings->saveIfNeeded();
    delete settings;
    settings = nullptr;
}

bool applicationSettingsConfigured()
{
    return settings != nullptr && settings->getStorageParameters().applicationName.isNotEmpty();
}
