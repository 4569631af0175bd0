// Every look the settings page offers stays readable: body, title field,
// start button, title strip and the colours dialogs and menus take.

#include "app_fixture.h"
#include "app/theme.h"

namespace talery {
namespace {

using namespace test;

class ContrastTest : public AppTest {};

TEST_F(ContrastTest, EveryStyleTextColourTopAndOfferedBackgroundReads) {
    std::vector<Colour> backgrounds = {w.backgroundColour(Unit::颜色), kWhite, kBlack, rgb(0x77, 0x77, 0x77),
                                       rgb(255, 128, 0)};
    for (int s = 0; s < 7; ++s)
        if (auto price = buttonStylePrice(s); price && price->recommended) backgrounds.push_back(*price->recommended);
    for (int t = 1; t < 3; ++t) backgrounds.push_back(*topImagePrice(t)->recommended);
    const auto expectReads = [](Colour text, Colour background, const char* what) {
        EXPECT_GE(contrastRatio(text, background), kReadableContrast)
            << what << std::hex << " text " << text << " on " << background;
    };
    for (Colour background : backgrounds) {
        for (int style = 0; style < 7; ++style) {
            for (int textColour = 0; textColour < 2; ++textColour) {
                for (int top = 0; top < 3; ++top) {
                    SCOPED_TRACE(testing::Message() << "background " << std::hex << background << std::dec << " style "
                                                    << style << " text " << textColour << " top " << top);
                    w.setSelection(Unit::按钮类型, style);
                    w.setSelection(Unit::文本颜色, textColour);
                    w.setSelection(Unit::顶图类型, top);
                    w.chooseColour(Unit::颜色, background);
                    w.click(Unit::保存设置);
                    expectReads(w.textColour(Unit::编辑框1), w.backgroundColour(Unit::编辑框1), "body");
                    expectReads(w.textColour(Unit::章节名称), w.backgroundColour(Unit::章节名称), "title field");
                    for (const ColourPair& pair : w.buttonColours(Unit::开始书写按钮)) expectReads(pair.text, pair.face, "button");
                    for (Unit u : {Unit::标题栏, Unit::章节名称提示, Unit::最小化按钮1, Unit::关闭按钮})
                        expectReads(w.textColour(u), topStripBackground(w), "title strip");
                    const ThemeColours dialogs = app->themeColours();
                    expectReads(dialogs.text, dialogs.background, "dialogs and menus");
                    // The chosen colour stays wherever it reads.
                    const Colour chosen = textColour == 0 ? kWhite : kBlack;
                    if (contrastRatio(chosen, background) >= kReadableContrast) {
                        EXPECT_EQ(w.textColour(Unit::编辑框1), chosen);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace talery
