// Entry point. The device link comes first and goes last: the log is opened and the
// instrument probed before the JUCE application exists, and the port is closed and the log
// footer written after the application has shut down.

#include "application/DisplayConnection.h"
#include "application/VUpdaterApplication.h"
#include "device/InstrumentLink.h"

#include <cstdio>
#include <memory>

namespace
{
constexpr int noDisplayExitStatus = 1;

juce::JUCEApplicationBase* createVorlenApplication()
{
    return new VUpdaterApplication();
}
} // namespace

int main (int argc, char* argv[])
{
    auto link = std::make_unique<InstrumentLink>();
    if (const juce::String missing = missingDisplayMessage(); missing.isNotEmpty())
    {
        std::printf ("%s\n", missing.toRawUTF8());
        std::fprintf (stderr, "%s\n", missing.toRawUTF8());
        link.reset();
        return noDisplayExitStatus;
    }
    juce::JUCEApplicationBase::createInstance = &createVorlenApplication;
#ifdef _WIN32
    // JUCE reads a Windows program's arguments from the system, in UTF-16.
    juce::ignoreUnused (argc, argv);
    const int status = juce::JUCEApplicationBase::main();
#else
    const int status = juce::JUCEApplicationBase::main (argc, (const char**) argv);
#endif
    link.reset();
    return status;
}
