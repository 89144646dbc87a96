#include "tasks/UpdateServerResources.h"

namespace updateserver
{
namespace
{
// https: the server's certificate is checked (WinINet on Windows, curl elsewhere), so nobody on
// the user's network can answer in its place with firmware or a program of their own.
const char* const defaultFirmwareBaseUrl = "https://update.vorlen.com/last/";
const char* const defaultApplicationBaseUrl = "https://update.vorlen.com/vorlensoftware/";

juce::String fromEnvironment (const char* name, const char* fallback)
{
    juce::String value = juce::SystemStats::getEnvironmentVariable (name, {});
    return value.isNotEmpty() ? value : juce::String (fallback);
}
} // namespace

const char* const mainFirmwareArchive = "firmware/test/main.zip";
const char* const dreamFirmwareArchive = "dreamfw/test/dream.zip";
const char* const soundBankWavetable = "soundbank/wavetable.bin";
const char* const soundBankDescription = "soundbank/wavetable.txt";
const char* const soundBankVersion = "soundbank/version.xml";
const char* const applicationFolder = "windows/";
const char* const applicationVersionDocument = "vu_version.xml";
const char* const applicationInstaller = "VorlenSoftware_setup.exe";

juce::String firmwareBaseUrl()
{
    return fromEnvironment ("VORLEN_FIRMWARE_BASE_URL", defaultFirmwareBaseUrl);
}

juce::String applicationBaseUrl()
{
    return fromEnvironment ("VORLEN_APPLICATION_BASE_URL", defaultApplicationBaseUrl);
}

juce::URL firmwareResource (const juce::String& relativePath)
{
    return juce::URL (firmwareBaseUrl() + relativePath);
}

juce::URL applicationResource (const juce::String& name)
{
    return juce::URL (applicationBaseUrl() + applicationFolder + name);
}
} // namespace updateserver
