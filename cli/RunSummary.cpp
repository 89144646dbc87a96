#include "cli/RunSummary.h"

#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"
#include "tasks/VersionFiles.h"

#include <cstdlib>

namespace
{
juce::String summaryPath()
{
    const char* path = std::getenv (runSummaryVariable);
    return path != nullptr ? juce::String::fromUTF8 (path) : juce::String();
}

juce::String versionOnInstrument (const char* fileName)
{
    const InstrumentVersion found = fetchInstrumentVersion (fileName);
    return found.fetched ? found.version : juce::String ("none");
}

InstrumentVersions readVersions (DownloadManager& manager)
{
    return { manager.firmwareVersion, manager.dreamVersion, versionOnInstrument ("sound_version.xml") };
}

// A powered-off instrument cannot be asked: it holds what the update installed.
juce::String installed (const juce::String& had, const juce::String& offered, bool everything)
{
    return offered.isNotEmpty() && (everything || isOlderVersion (had, offered)) ? offered : had;
}

juce::var versionsJson (const InstrumentVersions& v)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("firmware", v.firmware);
    object->setProperty ("dream", v.dream);
    object->setProperty ("soundBank", v.soundBank);
    return juce::var (object);
}

bool changesVersions (CliCommand command)
{
    return command == CliCommand::updateFirmware || command == CliCommand::restoreFirmware
           || command == CliCommand::updateSounds;
}
} // namespace

juce::String InstrumentVersions::text() const
{
    return firmware + "/" + dream + "/" + soundBank;
}

RunSummary::RunSummary (DownloadManager& manager, const CliCommand job) : path (summaryPath()), command (job)
{
    if (path.isNotEmpty())
        before = readVersions (manager);
}

InstrumentVersions RunSummary::afterJob (DownloadManager& manager, bool poweredOff) const
{
    if (! changesVersions (command))
        return before;
    if (! poweredOff)
    {
        manager.readInstrumentVersions();
        return readVersions (manager);
    }
    const bool everything = command == CliCommand::restoreFirmware;
    return { installed (before.firmware, manager.serverFirmwareVersion, everything),
             installed (before.dream, manager.serverDreamVersion, everything), before.soundBank };
}

void RunSummary::finish (DownloadManager& manager, bool poweredOff)
{
    if (path.isEmpty())
        return;
    auto* root = new juce::DynamicObject();
    root->setProperty ("port", instrumentPortName);
    root->setProperty ("serialNumber", instrumentSerialNumber);
    root->setProperty ("before", versionsJson (before));
    root->setProperty ("after", versionsJson (afterJob (manager, poweredOff)));
    root->setProperty ("poweredOff", poweredOff);
    juce::File (path).replaceWithText (juce::JSON::toString (juce::var (root), true));
}
