// The embedded pictures and the look and feel that draws with them, painted into images
// (no display needed).

#include "application/VULookAndFeel.h"
#include "tests/gui/GuiTestSupport.h"

#include <BinaryData.h>
#include <gtest/gtest.h>

#include <map>

namespace
{
juce::Image namedImage (const char* resourceName)
{
    int size = 0;
    const char* data = BinaryData::getNamedResource (resourceName, size);
    return data != nullptr ? juce::ImageCache::getFromMemory (data, size) : juce::Image();
}

// A one-pixel line at a whole x covers half of column x - 1 and half of column x; over the
// black groove either half is clearly blue.
bool touchedByStripe (juce::Colour c)
{
    return c.getBlue() > c.getRed() + 0x40 && c.getBlue() > c.getGreen() + 0x20;
}

std::vector<int> columnsOfStripesAt (const std::vector<int>& stripes)
{
    std::vector<int> columns;
    for (int x : stripes)
    {
        if (x > 0)
            columns.push_back (x - 1);
        columns.push_back (x);
    }
    return columns;
}
} // namespace

// Every picture decodes, and the drawing code relies on these sizes (faces drawn unscaled,
// the title centred from the two images' sizes, the track under a 416-pixel bar).
TEST (Artwork, EveryPictureDecodesAtItsSize)
{
    const std::map<std::string, std::pair<int, int>> expected {
        { "background_png", { 540, 487 } },        { "cancel_normal_png", { 10, 11 } },
        { "cancel_down_png", { 10, 11 } },         { "title_bar_png", { 540, 21 } },
        { "title_text_png", { 171, 11 } },         { "progress_track_png", { 416, 8 } },
        { "minimise_normal_png", { 11, 3 } },      { "minimise_down_png", { 11, 3 } },
        { "minimise_over_png", { 17, 9 } },        { "close_normal_png", { 11, 11 } },
        { "close_down_png", { 11, 11 } },          { "close_over_png", { 17, 17 } },
        { "text_button_normal_png", { 130, 38 } }, { "text_button_over_png", { 130, 38 } },
        { "text_button_down_png", { 130, 38 } },   { "alert_background_png", { 391, 151 } },
        { "alert_question_png", { 46, 43 } },      { "alert_warning_png", { 46, 43 } },
        { "tab_firmware_normal_png", { 83, 21 } }, { "tab_firmware_selected_png", { 83, 21 } },
        { "tab_presets_normal_png", { 83, 21 } },  { "tab_presets_selected_png", { 83, 21 } },
        { "tab_about_normal_png", { 83, 21 } },    { "tab_about_selected_png", { 83, 21 } },
        { "browse_normal_png", { 99, 21 } },       { "browse_over_png", { 99, 21 } },
        { "browse_down_png", { 99, 21 } },         { "field_png", { 303, 21 } },
        { "logo_png", { 224, 54 } },               { "instrument_picture_png", { 512, 512 } },
    };
    for (const auto& [name, size] : expected)
    {
        const auto image = namedImage (name.c_str());
        ASSERT_TRUE (image.isValid()) << name;
        EXPECT_EQ (std::make_pair (image.getWidth(), image.getHeight()), size) << name;
    }
    for (const char* face : { "update_firmware", "update_sounds", "restore_system", "backup_presets", "restore_presets" })
        for (const char* look : { "normal", "over", "down", "disabled" })
        {
            const std::string name = std::string (face) + "_" + look + "_png";
            const auto image = namedImage (name.c_str());
            const bool hasDisabled = std::string (face).rfind ("update_", 0) == 0;
            if (std::string (look) == "disabled" && ! hasDisabled)
            {
                EXPECT_FALSE (image.isValid()) << name;
                continue;
            }
            ASSERT_TRUE (image.isValid()) << name;
            EXPECT_EQ (std::make_pair (image.getWidth(), image.getHeight()), std::make_pair (416, 38)) << name;
        }
}

struct LookAndFeelTest : ::testing::Test
{
    VULookAndFeel lookAndFeel;
};

TEST_F (LookAndFeelTest, ProgressBarDrawsTrackThenStripesEveryThirdPixel)
{
    double progress = 0.0;
    juce::ProgressBar bar (progress);
    bar.setLookAndFeel (&lookAndFeel);
    bar.setSize (416, 8);

    auto stripesAt = [&] (double value) {
        juce::Image image (juce::Image::ARGB, 416, 8, true);
        juce::Graphics g (image);
        lookAndFeel.drawProgressBar (g, bar, 416, 8, value, "50%");
        std::vector<int> xs;
        for (int x = 0; x < 416; ++x)
            if (touchedByStripe (image.getPixelAt (x, 4)))
                xs.push_back (x);
        return std::make_pair (xs, image);
    };

    const auto [none, trackOnly] = stripesAt (0.0);
    EXPECT_TRUE (none.empty());
    EXPECT_GT (trackOnly.getPixelAt (200, 3).getAlpha(), 0) << "the groove is drawn";

    std::vector<int> every3;
    for (int x = 0; x < 416; x += 3)
        every3.push_back (x);
    EXPECT_EQ (stripesAt (1.0).first, columnsOfStripesAt (every3));
    EXPECT_EQ (every3.back(), 414);

    EXPECT_EQ (stripesAt (0.001).first, std::vector<int> { 0 }) << "any progress draws the first stripe";
    EXPECT_EQ (stripesAt (10.0 / 416.0).first, columnsOfStripesAt ({ 0, 3, 6, 9 }));
    EXPECT_TRUE (stripesAt (-1.0).first.empty()) << "JUCE's endless-progress value draws no stripes";
    bar.setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, TextButtonsShowTheUnscaledFaceAndWhiteTextEvenWhenDisabled)
{
    juce::TextButton button ("Yes");
    button.setLookAndFeel (&lookAndFeel);
    button.setSize (200, 60);
    button.setColour (juce::TextButton::textColourOffId, juce::Colours::red);
    button.setEnabled (false);

    const auto image = button.createComponentSnapshot (button.getLocalBounds(), true, 1.0f);
    EXPECT_EQ (image.getPixelAt (150, 20).getAlpha(), 0) << "nothing right of the 130-pixel face";
    EXPECT_EQ (image.getPixelAt (60, 50).getAlpha(), 0) << "nothing below the 38-pixel face";
    EXPECT_EQ (image.getPixelAt (5, 19).getAlpha(), 0xff);

    int white = 0, reddish = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
        {
            const auto c = image.getPixelAt (x, y);
            white += (c.getRed() > 0xf0 && c.getGreen() > 0xf0 && c.getBlue() > 0xf0) ? 1 : 0;
            reddish += (c.getRed() > 0x80 && c.getGreen() < 0x40) ? 1 : 0;
        }
    EXPECT_GT (white, 10) << "the caption is white";
    EXPECT_EQ (reddish, 0) << "the button's own text colour is not used";
    button.setLookAndFeel (nullptr);
}

TEST_F (LookAndFeelTest, TitleBarHasOnlyMinimiseAndCloseImageButtons)
{
    std::unique_ptr<juce::Button> minimise (lookAndFeel.createDocumentWindowButton (juce::DocumentWindow::minimiseButton));
    std::unique_ptr<juce::Button> close (lookAndFeel.createDocumentWindowButton (juce::DocumentWindow::closeButton));
    std::unique_ptr<juce::Button> maximise (lookAndFeel.createDocumentWindowButton (juce::DocumentWindow::maximiseButton));
    ASSERT_NE (dynamic_cast<juce::ImageButton*> (minimise.get()), nullptr);
    ASSERT_NE (dynamic_cast<juce::ImageButton*> (close.get()), nullptr);
    EXPECT_EQ (maximise, nullptr);
    EXPECT_EQ (minimise->getBounds(), juce::Rectangle<int> (0, 0, 11, 3)) << "sized to the normal face";
    EXPECT_EQ (close->getBounds(), juce::Rectangle<int> (0, 0, 11, 11));
}
