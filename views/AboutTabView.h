#pragma once

// The About tab: a picture of the instrument, the application's version, the maker's notice
// and logo; the logo opens the maker's web site.

#include <juce_gui_basics/juce_gui_basics.h>

class AboutTabView : public juce::Component, public juce::Button::Listener
{
public:
    AboutTabView();
    ~AboutTabView() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void buttonClicked (juce::Button* button) override;

    static const char* const makerWebSite;

private:
    juce::Label* versionLabel = nullptr;
    juce::ImageButton* logoButton = nullptr;
    juce::Label* noticeLabel = nullptr;
    juce::Image pictureImage;

    JUCE_DECLARE_NON_COPYABLE (AboutTabView)
};
