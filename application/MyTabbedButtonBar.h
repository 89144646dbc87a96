#pragma once

// The editor's row of image tabs: each tab is a VuTabButton, and a change of the current tab
// is passed on to the listener by index.

#include "application/IMyTabListener.h"

#include <juce_gui_basics/juce_gui_basics.h>

class MyTabbedButtonBar : public juce::TabbedButtonBar
{
public:
    explicit MyTabbedButtonBar (IMyTabListener* listener);
    ~MyTabbedButtonBar() override;

    void currentTabChanged (int newCurrentTabIndex, const juce::String& newCurrentTabName) override;
    juce::TabBarButton* createTabButton (const juce::String& tabName, int tabIndex) override;

private:
    IMyTabListener* tabListener = nullptr;

    JUCE_DECLARE_NON_COPYABLE (MyTabbedButtonBar)
};
