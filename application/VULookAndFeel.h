#pragma once

// The application's dark, image-based style: title bar and its two buttons, text buttons,
// alert windows, the progress bar and flat fixed-width tabs. Every picture is embedded PNG data.

#include <juce_gui_basics/juce_gui_basics.h>

class VULookAndFeel : public juce::LookAndFeel_V4
{
public:
    VULookAndFeel();
    ~VULookAndFeel() override;

    void drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;
    void drawButtonText (juce::Graphics& g, juce::TextButton& button, bool isMouseOverButton, bool isButtonDown) override;
    void drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea,
                       juce::TextLayout& textLayout) override;
    juce::Font getAlertWindowMessageFont() override;
    void drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height, double progress,
                          const juce::String& textToShow) override;
    void drawDocumentWindowTitleBar (juce::DocumentWindow& window, juce::Graphics& g, int w, int h,
                                     int titleSpaceX, int titleSpaceW, const juce::Image* icon,
                                     bool drawTitleTextOnLeft) override;
    juce::Button* createDocumentWindowButton (int buttonType) override;
    int getTabButtonOverlap (int tabDepth) override;
    int getTabButtonSpaceAroundImage() override;
    int getTabButtonBestWidth (juce::TabBarButton& button, int tabDepth) override;
    void drawTabAreaBehindFrontButton (juce::TabbedButtonBar& bar, juce::Graphics& g, int w, int h) override;

    static constexpr juce::uint32 progressStripeColour = 0xff457de2;

private:
    juce::Image titleBarImage;
    juce::Image titleTextImage;
    int titleTextX = 0;
    int titleTextY = 0;
    juce::Image minimiseNormalImage, minimiseDownImage, minimiseOverImage;
    juce::Image closeNormalImage, closeDownImage, closeOverImage;
    juce::Image progressTrackImage;

    JUCE_DECLARE_NON_COPYABLE (VULookAndFeel)
};
