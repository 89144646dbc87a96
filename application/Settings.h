#pragma once

// The per-user settings file (~/Trel/Vorlen.settings on Linux), created on first use and
// deleted with the main window, which saves it.

#include <juce_data_structures/juce_data_structures.h>

juce::ApplicationProperties& applicationSettings();
void configureApplicationSettings();
void saveAndDeleteApplicationSettings();
// Whether configureApplicationSettings has run since the settings were last deleted; never
// creates them.
bool applicationSettingsConfigured();

extern const char* const lastPresetsDirKey;  // "LastPresetsDir"
extern const char* const fileToRemoveKey;    // "FileToRemove"
