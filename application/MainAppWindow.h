#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class DownloadManager;

// The one top-level window: the tabbed editor when the instrument was found, otherwise the
// no-instrument warning and quit.
class MainAppWindow : public juce::DocumentWindow
{
public:
    MainAppWindow();
    ~MainAppWindow() override;

    void closeButtonPressed() override;

private:
    void createEditor();

    juce::LookAndFeel* lookAndFeel = nullptr;
    DownloadManager* downloadManager = nullptr;
};
