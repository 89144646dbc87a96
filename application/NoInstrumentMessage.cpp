#include "application/NoInstrumentMessage.h"

#include "device/PortPermissions.h"

namespace
{
const char* const noInstrumentMessage =
    "No Vorlen. Please connect your Vorlen to the computer (USB) and restart the application.";
} // namespace

juce::String noInstrumentText()
{
    juce::String text (noInstrumentMessage);
    if (! portRefusedForPermissions.empty())
        text << "\n\n" << juce::String (permissionAdvice (portRefusedForPermissions));
    return text;
}
