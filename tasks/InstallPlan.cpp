#include "tasks/InstallPlan.h"

#include "device/InstrumentCommands.h"

bool isVersionDocument (const juce::String& remotePath)
{
    return remotePath == instrument::firmwareVersionFile || remotePath == instrument::dreamVersionFile
           || remotePath == instrument::soundVersionFile;
}

namespace
{
bool lastOfItsArchive (const std::vector<PlannedFile>& files, size_t i)
{
    return files[i].fromArchive && (i + 1 == files.size() || files[i + 1].download != files[i].download);
}
} // namespace

std::vector<InstallStep> planInstall (const std::vector<PlannedFile>& files, bool mainArchive)
{
    std::vector<InstallStep> steps;
    std::vector<int> waitingInArchive, versionDocuments;

    for (size_t i = 0; i < files.size(); ++i)
    {
        const bool version = isVersionDocument (files[i].remotePath);
        const bool defer = version || (files[i].fromArchive && mainArchive);
        steps.push_back ({ InstallStep::send, (int) i, defer });
        if (version)
            versionDocuments.push_back ((int) i);
        else if (defer)
            waitingInArchive.push_back ((int) i);

        if (lastOfItsArchive (files, i))
        {
            for (int waiting : waitingInArchive)
                steps.push_back ({ InstallStep::place, waiting, false });
            waitingInArchive.clear();
        }
    }

    for (int version : versionDocuments)
        steps.push_back ({ InstallStep::place, version, false });
    if (mainArchive)
        steps.push_back ({ InstallStep::makeMainExecutable, -1, false });
    return steps;
}
