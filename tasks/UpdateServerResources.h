#pragma once

// The update server's two base URLs and the resources the application reads from them.
// The compiled-in bases can be replaced with VORLEN_FIRMWARE_BASE_URL and
// VORLEN_APPLICATION_BASE_URL (a local server in tests and demonstrations).

#include <juce_core/juce_core.h>

namespace updateserver
{
juce::String firmwareBaseUrl();
juce::String applicationBaseUrl();

extern const char* const mainFirmwareArchive;   // "firmware/test/main.zip"
extern const char* const dreamFirmwareArchive;  // "dreamfw/test/dream.zip"
extern const char* const soundBankWavetable;    // "soundbank/wavetable.bin"
extern const char* const soundBankDescription;  // "soundbank/wavetable.txt"
extern const char* const soundBankVersion;      // "soundbank/version.xml"
extern const char* const applicationFolder;     // "windows/"
extern const char* const applicationVersionDocument; // "vu_version.xml"
extern const char* const applicationInstaller;  // "VorlenSoftware_setup.exe"

juce::URL firmwareResource (const juce::String& relativePath);
juce::URL applicationResource (const juce::String& name);
} // namespace updateserver
