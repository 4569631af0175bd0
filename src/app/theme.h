#pragma once
// The theme of the main window and the settings page of the information
// panel: background and text colours, button style, top image,
// transparency, status bar, large font, automatic backup save.

#include "core/random.h"
#include "core/settings.h"
#include "session/phase.h"
#include "ui/window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace talery {

// The look of the title field and of the start button's three states.
// Pair 1 is the button at rest, pair 2 under the mouse, pair 3 pressed.
struct ButtonStyle {
    Colour titleBackground = 0;
    Colour titleText = 0;
    std::array<ColourPair, 3> pairs{};
    friend bool operator==(const ButtonStyle&, const ButtonStyle&) = default;
};

// Style 0..6 of 按钮类型; style 4 takes the body's colours. Nothing for
// any other selection.
std::optional<ButtonStyle> buttonStyle(int selection, Colour bodyText, Colour bodyBackground);
// The style as designed, before its texts are made readable.
std::optional<ButtonStyle> designedButtonStyle(int selection, Colour bodyText, Colour bodyBackground);

// What a priced item of 按钮类型 or 顶图类型 costs, and the background
// offered after it was accepted.
struct ItemPrice {
    int points = 0;
    std::optional<Colour> recommended;
};
std::optional<ItemPrice> buttonStylePrice(int selection);  // nothing for the free item 0
std::optional<ItemPrice> topImagePrice(int selection);

// The colours the theme gives windows: the background and the text on it.
struct ThemeColours {
    Colour background = 0;
    Colour text = kWhite;
};

// The colours windows of the program take: the window's background and the
// title strip's text where it reads on it.
ThemeColours themeColoursOf(const Window& window);

// The lightest sky behind the title strip's texts in each top image: the
// texts there are chosen to read on it.
constexpr Colour kTopImage1Lightest = rgb(0x1E, 0x3A, 0x6E);
constexpr Colour kTopImage2Lightest = rgb(0xB0, 0x5A, 0x38);
// What the title strip's texts stand on.
Colour topStripBackground(const Window& window);

constexpr int kAlphaOpaque = 255;
constexpr int kAlphaTransparent = 220;

class Theme {
public:
    // `points` reads the current total; `showTip` shows the next tip.
    Theme(Window& window, const SettingsStore& settings, std::function<std::int32_t()> points,
          std::function<void()> showTip, PhaseSource phase);

    void applyBackgroundColour();
    void applyButtonStyle();
    void applyTopImage();
    void applyTextColour();
    // The chosen text colour where it reads, else the one that does.
    void fitTextColours();
    void setWindowAlpha(int alpha);
    // Applies the panel's choices, hides the panel and writes them to the settings file.
    void saveSettings();

    // The colours windows of the program take to follow the theme.
    ThemeColours colours() const;

    // The settings page's handlers, run on the user's action only.
    void buttonStyleChosen(int selection);
    void topImageChosen(int selection);
    void statusBarToggled();
    void transparencyToggled();
    void largeFontToggled();
    void autoSaveToggled();

private:
    // Refuses a choice the points do not pay for: says so and goes back to item 0.
    bool pointsRefusal(Unit list, int price);
    bool askRecommendedBackground();
    void message(const Text& text);

    Window& w_;
    const SettingsStore& settings_;
    std::function<std::int32_t()> points_;
    std::function<void()> showTip_;
    PhaseSource phase_;
};

}  // namespace talery
