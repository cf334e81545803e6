#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SkinTestFiles.h"
#include "skin/ElementState.h"
#include "skin/HashName.h"
#include "skin/Image.h"
#include "skin/ResourceStore.h"
#include "skin/SkinValue.h"
#include "skin/Style_background.h"
#include "skin/Style_button.h"
#include "skin/Style_progressCtrl.h"

namespace {

std::vector<int> Grid(const ScaleGrid& g) { return {g.left, g.top, g.right, g.bottom}; }

// Declares `var` as the named style of kind T and stops the test when it is not one.
#define STYLE_OF(T, var, store, name)                                                                                  \
    auto* var = dynamic_cast<T*>((store).GetStyle(name));                                                              \
    ASSERT_NE(var, nullptr) << name

}  // namespace

TEST(Style, HashNameMatchesTheDescriptionVocabulary)
{
    static_assert(HashName("x") == 120 && HashName("y") == 121, "");
    EXPECT_EQ(HashName("id"), 13855u);
    EXPECT_EQ(HashName("Canvas"), 154027168u);
    EXPECT_EQ(HashName(""), 0u);
    // Bytes above 127 count as negative; the result keeps 31 bits.
    EXPECT_EQ(HashName("\xE6"), static_cast<uint32_t>(-26) & 0x7FFFFFFFu);
}

TEST(Style, TheEightSkinStylesParseIntoTheirKinds)
{
    LoadedStore s("skin/skin.zip");
    ASSERT_EQ(s.loaded, 1);
    ResourceStore& st = s.store;

    STYLE_OF(Style_button, button, st, "button");
    EXPECT_EQ(button->up, st.GetImage("Default/btn_default.png"));
    EXPECT_EQ(button->over, st.GetImage("Default/btn_hot.png"));
    EXPECT_EQ(button->down, st.GetImage("Default/btn_down.png"));
    EXPECT_EQ(button->disabled, button->up);
    EXPECT_EQ(button->focus, nullptr);
    EXPECT_EQ(Grid(button->grid), (std::vector<int>{5, 0, 5, 0}));
    EXPECT_EQ(button->textColor, RGB(0x81, 0x81, 0x81));
    EXPECT_EQ(button->downOffset, 0);

    STYLE_OF(Style_button, focus, st, "button_focus");
    EXPECT_EQ(focus->up, st.GetImage("Default/btn_f_default.png"));
    EXPECT_EQ(focus->disabled, focus->up);
    EXPECT_EQ(focus->over, st.GetImage("Default/btn_f_hot.png"));
    EXPECT_EQ(focus->down, st.GetImage("Default/btn_f_down.png"));
    // "#fffffe" reads blue, green, red from the left: red is 254.
    EXPECT_EQ(GetRValue(focus->textColor), 254);
    EXPECT_EQ(GetGValue(focus->textColor), 255);
    EXPECT_EQ(GetBValue(focus->textColor), 255);

    STYLE_OF(Style_button, retry, st, "button_retry");
    EXPECT_EQ(retry->up, st.GetImage("Default/btn_retry_default.png"));
    EXPECT_EQ(retry->disabled, st.GetImage("Default/btn_default.png"));
    EXPECT_EQ(Grid(retry->grid), (std::vector<int>{5, 0, 5, 0}));

    STYLE_OF(Style_button, close, st, "closebtn");
    EXPECT_EQ(close->up, st.GetImage("Default/close_default.png"));
    EXPECT_EQ(close->over, close->up);
    EXPECT_EQ(close->down, st.GetImage("Default/close_down.png"));
    EXPECT_TRUE(close->grid.IsEmpty());  // stretched to 14 x 14

    STYLE_OF(Style_button, min, st, "minbtn");
    EXPECT_EQ(min->down, st.GetImage("Default/min_down.png"));
    EXPECT_EQ(min->disabled, nullptr);

    STYLE_OF(Style_background, dialog, st, "dlg_bkgnd");
    EXPECT_EQ(dialog->image, st.GetImage("Default/dlg_bkg.png"));
    EXPECT_EQ(Grid(dialog->grid), (std::vector<int>{5, 50, 5, 5}));

    STYLE_OF(Style_background, main, st, "main_bkgnd");
    EXPECT_EQ(main->image, nullptr);  // its picture is not in the archive
    EXPECT_EQ(Grid(main->grid), (std::vector<int>{8, 8, 8, 8}));

    STYLE_OF(Style_progressCtrl, bar, st, "progressbar");
    EXPECT_EQ(bar->background, st.GetImage("Default/bar_bkgnd.png"));
    EXPECT_EQ(bar->foreground, st.GetImage("Default/bar_foregnd.png"));
    EXPECT_EQ(Grid(bar->grid), (std::vector<int>{5, 0, 5, 0}));
}

TEST(Style, ValuesParseWithCommasBlanksAndLowBits)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    STYLE_OF(Style_button, blanks, s.store, "style_blanks");
    EXPECT_EQ(Grid(blanks->grid), (std::vector<int>{5, 0, 5, 0}));
    EXPECT_EQ(blanks->textColor, RGB(255, 0, 0));  // "#0000ff" is pure red
    EXPECT_EQ(blanks->downOffset, 1);

    STYLE_OF(Style_progressCtrl, big, s.store, "style_big_grid");
    EXPECT_EQ(Grid(big->grid), (std::vector<int>{5, 0, 255, 5}));  // "261,0,-1,5"

    // The later of two attributes wins; a colour without "#" is ignored.
    STYLE_OF(Style_button, twice, s.store, "style_twice");
    EXPECT_EQ(twice->up, s.store.GetImage("Default/bar.png"));
    EXPECT_EQ(twice->textColor, 0u);

    // Buttons skip empty values; backgrounds take them as "nothing".
    STYLE_OF(Style_button, empty, s.store, "style_empty");
    EXPECT_EQ(empty->up, nullptr);
    EXPECT_EQ(empty->downOffset, 1);
    STYLE_OF(Style_background, bg, s.store, "style_bg_empty");
    EXPECT_EQ(bg->image, nullptr);
    EXPECT_TRUE(bg->grid.IsEmpty());

    STYLE_OF(Style_button, noProp, s.store, "style_no_prop");
    EXPECT_EQ(noProp->up, nullptr);

    int32_t v[3];
    ParseIntList("1,x", v, 3);  // no digits reads 0; missing numbers read 0
    EXPECT_EQ(std::vector<int32_t>(v, v + 3), (std::vector<int32_t>{1, 0, 0}));
}

TEST(Style, TextsThatAreNoStyleGiveNone)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    EXPECT_EQ(s.store.GetStyle("style_bad_kind"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_no_config"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_malformed"), nullptr);
    EXPECT_EQ(s.store.GetStyle("window"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_malformed"), nullptr);  // not parsed again
    EXPECT_EQ(s.store.FindEntry("style_malformed")->requests, 2);
    // A style that names itself as its picture finds nothing there.
    STYLE_OF(Style_button, self, s.store, "style_self");
    EXPECT_EQ(self->up, nullptr);

    EXPECT_EQ(CreateStyle("", s.store), nullptr);
    EXPECT_EQ(CreateStyle(nullptr, s.store), nullptr);
    EXPECT_EQ(CreateStyle("<Style><Config/></Style>", s.store), nullptr);
    EXPECT_NE(CreateStyle("\xEF\xBB\xBF<?xml version=\"1.0\"?><Style><Config type=\"Background\"/></Style>", s.store),
              nullptr);
}

TEST(Style, ButtonPictureFollowsTheStateBits)
{
    Image up(nullptr, 0), over(nullptr, 0), focus(nullptr, 0), down(nullptr, 0), disabled(nullptr, 0);
    Style_button style;
    style.up = &up;
    style.over = &over;
    style.focus = &focus;
    style.down = &down;
    style.disabled = &disabled;
    // Disabled outranks focus, hot outranks disabled, pressed or checked outrank all.
    struct Case {
        int state;
        bool focused;
        Image* want;
    };
    for (const Case& c : {Case{0, false, &up}, Case{0, true, &focus}, Case{STATE_DISABLED, true, &disabled},
                          Case{STATE_DISABLED | STATE_HOT, true, &over}, Case{STATE_HOT | STATE_PRESSED, true, &down},
                          Case{STATE_CHECKED, true, &down}}) {
        StyledElement e;
        e.state = static_cast<uint8_t>(c.state);
        e.focused = c.focused;
        EXPECT_EQ(style.PictureFor(e), c.want) << c.state << " " << c.focused;
    }
    // The skin's styles have no focus picture: a focused button shows up.
    style.focus = nullptr;
    StyledElement focused;
    focused.focused = true;
    EXPECT_EQ(style.PictureFor(focused), &up);
}
