// Entry point. The device link comes first and goes last: the log is opened and the
// instrument probed before the JUCE application exists, and the port is closed and the log
// footer written after the application has shut down.

#include "device/InstrumentLink.h"

#include <cstdio>

int main (int, char**)
{
    InstrumentLink link;
    std::printf ("Vorlen Software Update: the window is not built yet.\n");
    return 0;
}
