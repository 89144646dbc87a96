#include "application/MyTabbedButtonBar.h"

#include "application/VuTabButton.h"

MyTabbedButtonBar::MyTabbedButtonBar (IMyTabListener* listener)
    : juce::TabbedButtonBar (juce::TabbedButtonBar::TabsAtTop), tabListener (listener)
{
}

MyTabbedButtonBar::~MyTabbedButtonBar() = default;

void MyTabbedButtonBar::currentTabChanged (int newCurrentTabIndex, const juce::String&)
{
    if (tabListener != nullptr)
        tabListener->tabChanged (newCurrentTabIndex);
}

// The images are chosen by index; the tab's name plays no part.
juce::TabBarButton* MyTabbedButtonBar::createTabButton (const juce::String&, int tabIndex)
{
    return new VuTabButton (*this, tabIndex);
}
