#include "devicefiles/DeviceFile.h"

bool anyFileSent = false;

DeviceFile::DeviceFile (const juce::String& path)
    : ownedTempFile (juce::File::createTempFile ("zmod")),
      localFile (&ownedTempFile),
      remotePath (path)
{
}

DeviceFile::DeviceFile (const juce::String& path, juce::File* local)
    : localFile (local),
      remotePath (path)
{
}

DeviceFile::~DeviceFile()
{
    if (ownedTempFile != juce::File() && ownedTempFile.exists())
        ownedTempFile.deleteFile();
}

bool isRemoteDirectory (const DeviceFile& f)
{
    return f.remotePath.endsWith ("/");
}

juce::String remoteDirPart (const DeviceFile& f)
{
    if (f.usrRelative)
        return {};
    const int slash = f.remotePath.lastIndexOfChar ('/');
    return "ap/" + (slash < 0 ? juce::String() : f.remotePath.substring (0, slash + 1));
}

juce::String remoteNamePart (const DeviceFile& f)
{
    if (isRemoteDirectory (f))
        return {};
    return f.remotePath.fromLastOccurrenceOf ("/", false, false);
}
