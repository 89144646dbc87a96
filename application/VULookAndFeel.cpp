#include "application/VULookAndFeel.h"

#include <BinaryData.h>

namespace
{
juce::Image embedded (const void* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

juce::ImageButton* titleBarButton (const juce::String& name, const juce::Image& normal, const juce::Image& over,
                                   const juce::Image& down)
{
    auto* button = new juce::ImageButton (name);
    const juce::Colour none = juce::Colours::transparentBlack;
    // Sized to the normal face at once; the larger glow faces keep their proportions.
    button->setImages (true, false, true,
                       normal, 1.0f, none,
                       over, 1.0f, none,
                       down, 1.0f, none,
                       0.0f);
    return button;
}
} // namespace

VULookAndFeel::VULookAndFeel()
{
    titleBarImage = embedded (BinaryData::title_bar_png, BinaryData::title_bar_pngSize);
    titleTextImage = embedded (BinaryData::title_text_png, BinaryData::title_text_pngSize);
    titleTextX = (titleBarImage.getWidth() - titleTextImage.getWidth()) / 2;
    titleTextY = (titleBarImage.getHeight() - titleTextImage.getHeight()) / 2;
    minimiseNormalImage = embedded (BinaryData::minimise_normal_png, BinaryData::minimise_normal_pngSize);
    minimiseDownImage = embedded (BinaryData::minimise_down_png, BinaryData::minimise_down_pngSize);
    minimiseOverImage = embedded (BinaryData::minimise_over_png, BinaryData::minimise_over_pngSize);
    closeNormalImage = embedded (BinaryData::close_normal_png, BinaryData::close_normal_pngSize);
    closeDownImage = embedded (BinaryData::close_down_png, BinaryData::close_down_pngSize);
    closeOverImage = embedded (BinaryData::close_over_png, BinaryData::close_over_pngSize);
    progressTrackImage = embedded (BinaryData::progress_track_png, BinaryData::progress_track_pngSize);
}

VULookAndFeel::~VULookAndFeel()
{
    progressTrackImage = {};
    closeOverImage = {};
    closeDownImage = {};
    closeNormalImage = {};
    minimiseOverImage = {};
    minimiseDownImage = {};
    minimiseNormalImage = {};
    titleTextImage = {};
    titleBarImage = {};
}

// Every text button (in practice the buttons of the alert windows) shows the same 130 x 38
// faces, unscaled from the top-left corner.
void VULookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button&, const juce::Colour&,
                                          bool isMouseOverButton, bool isButtonDown)
{
    const juce::Image face = isButtonDown        ? embedded (BinaryData::text_button_down_png, BinaryData::text_button_down_pngSize)
                             : isMouseOverButton ? embedded (BinaryData::text_button_over_png, BinaryData::text_button_over_pngSize)
                                                 : embedded (BinaryData::text_button_normal_png, BinaryData::text_button_normal_pngSize);
    g.drawImageAt (face, 0, 0, false);
}

// JUCE's own layout, but always white: the faces are dark whatever the button's state.
void VULookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const juce::Font font (getTextButtonFont (button, button.getHeight()));
    g.setFont (font);
    g.setColour (juce::Colour (0xffffffff));

    const int yIndent = juce::jmin (4, button.proportionOfHeight (0.3f));
    const int cornerSize = juce::jmin (button.getHeight(), button.getWidth()) / 2;
    const int fontHeight = juce::roundToInt (font.getHeight() * 0.6f);
    const int leftIndent = juce::jmin (fontHeight, 2 + cornerSize / (button.isConnectedOnLeft() ? 4 : 2));
    const int rightIndent = juce::jmin (fontHeight, 2 + cornerSize / (button.isConnectedOnRight() ? 4 : 2));

    g.drawFittedText (button.getButtonText(), leftIndent, yIndent, button.getWidth() - leftIndent - rightIndent,
                      button.getHeight() - yIndent * 2, juce::Justification::centred, 2, 0.7f);
}

void VULookAndFeel::drawAlertBox (juce::Graphics& g, juce::AlertWindow& alert, const juce::Rectangle<int>& textArea,
                                  juce::TextLayout& textLayout)
{
    const juce::Image panel = embedded (BinaryData::alert_background_png, BinaryData::alert_background_pngSize);
    g.drawImage (panel, 0, 0, alert.getWidth(), alert.getHeight(), 0, 0, panel.getWidth(), panel.getHeight(), false);

    juce::Image icon;
    switch (alert.getAlertType())
    {
        case juce::MessageBoxIconType::QuestionIcon:
            icon = embedded (BinaryData::alert_question_png, BinaryData::alert_question_pngSize);
            break;
        case juce::MessageBoxIconType::WarningIcon:
            icon = embedded (BinaryData::alert_warning_png, BinaryData::alert_warning_pngSize);
            break;
        case juce::MessageBoxIconType::InfoIcon:
        case juce::MessageBoxIconType::NoIcon:
            break;
    }

    // Centred in the whole window, not in the text area; the text starts right after it.
    if (icon.isValid())
        g.drawImageAt (icon, textArea.getX(), (alert.getHeight() - icon.getHeight()) / 2, false);

    g.setColour (juce::Colour (0xffffffff));
    const int iconWidth = icon.isValid() ? icon.getWidth() : 0;
    textLayout.draw (g, juce::Rectangle<int> (textArea.getX() + iconWidth, textArea.getY(),
                                              textArea.getWidth() - iconWidth, textArea.getHeight())
                            .toFloat());
}

juce::Font VULookAndFeel::getAlertWindowMessageFont()
{
    // Requested by name only; JUCE substitutes a face where it is not installed.
    return juce::Font ("Geogrotesque", 15.0f, juce::Font::plain);
}

void VULookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar&, int width, int height, double progress,
                                     const juce::String&)
{
    g.drawImageAt (progressTrackImage, 0, 0, false);
    g.setColour (juce::Colour (progressStripeColour));

    const double limit = width * progress;
    if (! (limit > 0.0))
        return;
    // One-pixel stripes three pixels apart, the first at x = 0.
    double x = 0.0;
    do
    {
        g.drawLine ((float) x, 1.0f, (float) x, (float) height - 1.0f, 1.0f);
        x += 3.0;
    } while (x < limit);
}

void VULookAndFeel::drawDocumentWindowTitleBar (juce::DocumentWindow&, juce::Graphics& g, int, int, int, int,
                                                const juce::Image*, bool)
{
    g.drawImageAt (titleBarImage, 0, 0, false);
    g.drawImageAt (titleTextImage, titleTextX, titleTextY, false);
}

juce::Button* VULookAndFeel::createDocumentWindowButton (int buttonType)
{
    if (buttonType == juce::DocumentWindow::minimiseButton)
        return titleBarButton ("minimise", minimiseNormalImage, minimiseOverImage, minimiseDownImage);
    if (buttonType == juce::DocumentWindow::closeButton)
        return titleBarButton ("close", closeNormalImage, closeOverImage, closeDownImage);
    return nullptr;
}

int VULookAndFeel::getTabButtonOverlap (int)
{
    return 0;
}

int VULookAndFeel::getTabButtonSpaceAroundImage()
{
    return 0;
}

int VULookAndFeel::getTabButtonBestWidth (juce::TabBarButton&, int)
{
    return 83;
}

void VULookAndFeel::drawTabAreaBehindFrontButton (juce::TabbedButtonBar&, juce::Graphics&, int, int)
{
}
