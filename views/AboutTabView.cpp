#include "views/AboutTabView.h"

#include "device/CommunicationLog.h"
#include "views/ViewStyle.h"

#include <BinaryData.h>

const char* const AboutTabView::makerWebSite = "https://www.trel.example/";

namespace
{
const char* const legalNotice = "\xc2\xa9 Trel. Vorlen is a product of Trel.\nAll rights reserved.";
}

AboutTabView::AboutTabView()
    : juce::Component ("AboutTabView")
{
    using namespace viewstyle;

    versionLabel = new juce::Label ("VersionTxt", "Version");
    addAndMakeVisible (versionLabel);
    styleLabel (*versionLabel, juce::Font (13.0f, juce::Font::plain), juce::Justification::centredLeft);

    logoButton = new juce::ImageButton ("TrelLogo");
    addAndMakeVisible (logoButton);
    logoButton->setButtonText ("new button");
    logoButton->addListener (this);
    // The logo in every state: no over or down face.
    setButtonImages (*logoButton, embeddedImage (BinaryData::logo_png, BinaryData::logo_pngSize), {}, {});

    noticeLabel = new juce::Label ("new label", juce::String (juce::CharPointer_UTF8 (legalNotice)));
    addAndMakeVisible (noticeLabel);
    styleLabel (*noticeLabel, juce::Font (15.0f, juce::Font::plain), juce::Justification::centredLeft);

    pictureImage = embeddedImage (BinaryData::instrument_picture_png, BinaryData::instrument_picture_pngSize);

    setSize (440, 400);
    versionLabel->setText (juce::String ("Version ") + applicationVersionString, juce::dontSendNotification);
}

AboutTabView::~AboutTabView()
{
    delete versionLabel;
    delete logoButton;
    delete noticeLabel;
}

void AboutTabView::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::black);
    g.drawImageWithin (pictureImage, 148, 23, 154, 154, juce::RectanglePlacement::centred, false);
}

void AboutTabView::resized()
{
    versionLabel->setBounds (25, 213, 174, 30);
    noticeLabel->setBounds (25, 256, 312, 40);
    logoButton->setBounds (25, 329, 224, 54);
}

void AboutTabView::buttonClicked (juce::Button* button)
{
    // Nothing to tell the user when no browser opens.
    if (button == logoButton)
        juce::URL (makerWebSite).launchInDefaultBrowser();
}
