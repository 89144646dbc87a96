#include "application/WineRepaint.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <windows.h>

namespace
{
bool runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA ("ntdll.dll");
    return ntdll != nullptr && GetProcAddress (ntdll, "wine_get_version") != nullptr;
}

class PendingRepaints final : private juce::Timer
{
public:
    PendingRepaints() { startTimerHz (30); }
    ~PendingRepaints() override { stopTimer(); }

private:
    void timerCallback() override
    {
        for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
            if (auto* peer = juce::ComponentPeer::getPeer (i))
                peer->performAnyPendingRepaintsNow();
    }
};

std::unique_ptr<PendingRepaints> repainter;
} // namespace

void startRepaintingUnderWine()
{
    if (repainter == nullptr && runningUnderWine())
        repainter = std::make_unique<PendingRepaints>();
}

void stopRepaintingUnderWine()
{
    repainter.reset();
}
