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

void ExpectGrid(const ScaleGrid& g, int l, int t, int r, int b)
{
    EXPECT_EQ(g.left, l);
    EXPECT_EQ(g.top, t);
    EXPECT_EQ(g.right, r);
    EXPECT_EQ(g.bottom, b);
}

} // namespace

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

    auto* button = dynamic_cast<Style_button*>(st.GetStyle("button"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->up, st.GetImage("Default/btn_default.png"));
    EXPECT_EQ(button->over, st.GetImage("Default/btn_hot.png"));
    EXPECT_EQ(button->down, st.GetImage("Default/btn_down.png"));
    EXPECT_EQ(button->disabled, button->up);
    EXPECT_EQ(button->focus, nullptr);
    ExpectGrid(button->grid, 5, 0, 5, 0);
    EXPECT_EQ(button->textColor, RGB(0x81, 0x81, 0x81));
    EXPECT_EQ(button->downOffset, 0);

    auto* focus = dynamic_cast<Style_button*>(st.GetStyle("button_focus"));
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->up, st.GetImage("Default/btn_f_default.png"));
    EXPECT_EQ(focus->disabled, focus->up);
    EXPECT_EQ(focus->over, st.GetImage("Default/btn_f_hot.png"));
    EXPECT_EQ(focus->down, st.GetImage("Default/btn_f_down.png"));
    // "#fffffe" reads blue, green, red from the left: red is 254.
    EXPECT_EQ(GetRValue(focus->textColor), 254);
    EXPECT_EQ(GetGValue(focus->textColor), 255);
    EXPECT_EQ(GetBValue(focus->textColor), 255);

    auto* retry = dynamic_cast<Style_button*>(st.GetStyle("button_retry"));
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->up, st.GetImage("Default/btn_retry_default.png"));
    EXPECT_EQ(retry->disabled, st.GetImage("Default/btn_default.png"));
    ExpectGrid(retry->grid, 5, 0, 5, 0);

    auto* close = dynamic_cast<Style_button*>(st.GetStyle("closebtn"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->up, st.GetImage("Default/close_default.png"));
    EXPECT_EQ(close->over, close->up);
    EXPECT_EQ(close->down, st.GetImage("Default/close_down.png"));
    EXPECT_TRUE(close->grid.IsEmpty()); // stretched to 14 x 14

    auto* min = dynamic_cast<Style_button*>(st.GetStyle("minbtn"));
    ASSERT_NE(min, nullptr);
    EXPECT_EQ(min->down, st.GetImage("Default/min_down.png"));
    EXPECT_EQ(min->disabled, nullptr);

    auto* dialog = dynamic_cast<Style_background*>(st.GetStyle("dlg_bkgnd"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->image, st.GetImage("Default/dlg_bkg.png"));
    ExpectGrid(dialog->grid, 5, 50, 5, 5);

    auto* main = dynamic_cast<Style_background*>(st.GetStyle("main_bkgnd"));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->image, nullptr); // its picture is not in the archive
    ExpectGrid(main->grid, 8, 8, 8, 8);

    auto* bar = dynamic_cast<Style_progressCtrl*>(st.GetStyle("progressbar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->background, st.GetImage("Default/bar_bkgnd.png"));
    EXPECT_EQ(bar->foreground, st.GetImage("Default/bar_foregnd.png"));
    ExpectGrid(bar->grid, 5, 0, 5, 0);
}

TEST(Style, ValuesParseWithCommasBlanksAndLowBits)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    auto* blanks = dynamic_cast<Style_button*>(s.store.GetStyle("style_blanks"));
    ASSERT_NE(blanks, nullptr);
    ExpectGrid(blanks->grid, 5, 0, 5, 0);
    EXPECT_EQ(blanks->textColor, RGB(255, 0, 0)); // "#0000ff" is pure red
    EXPECT_EQ(blanks->downOffset, 1);

    auto* big = dynamic_cast<Style_progressCtrl*>(s.store.GetStyle("style_big_grid"));
    ASSERT_NE(big, nullptr);
    ExpectGrid(big->grid, 5, 0, 255, 5); // "261,0,-1,5"

    // The later of two attributes wins; a colour without "#" is ignored.
    auto* twice = dynamic_cast<Style_button*>(s.store.GetStyle("style_twice"));
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(twice->up, s.store.GetImage("Default/bar.png"));
    EXPECT_EQ(twice->textColor, 0u);

    // Buttons skip empty values; backgrounds take them as "nothing".
    auto* empty = dynamic_cast<Style_button*>(s.store.GetStyle("style_empty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->up, nullptr);
    EXPECT_EQ(empty->downOffset, 1);
    auto* bg = dynamic_cast<Style_background*>(s.store.GetStyle("style_bg_empty"));
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(bg->image, nullptr);
    EXPECT_TRUE(bg->grid.IsEmpty());

    auto* noProp = dynamic_cast<Style_button*>(s.store.GetStyle("style_no_prop"));
    ASSERT_NE(noProp, nullptr);
    EXPECT_EQ(noProp->up, nullptr);

    int32_t v[3];
    ParseIntList("1,x", v, 3); // no digits reads 0; missing numbers read 0
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 0);
    EXPECT_EQ(v[2], 0);
}

TEST(Style, TextsThatAreNoStyleGiveNone)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    EXPECT_EQ(s.store.GetStyle("style_bad_kind"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_no_config"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_malformed"), nullptr);
    EXPECT_EQ(s.store.GetStyle("window"), nullptr);
    EXPECT_EQ(s.store.GetStyle("style_malformed"), nullptr); // not parsed again
    EXPECT_EQ(s.store.FindEntry("style_malformed")->requests, 2);
    // A style that names itself as its picture finds nothing there.
    auto* self = dynamic_cast<Style_button*>(s.store.GetStyle("style_self"));
    ASSERT_NE(self, nullptr);
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
    StyledElement e;
    EXPECT_EQ(style.PictureFor(e), &up);
    e.focused = true;
    EXPECT_EQ(style.PictureFor(e), &focus);
    e.state = STATE_DISABLED;
    EXPECT_EQ(style.PictureFor(e), &disabled);
    e.state = STATE_DISABLED | STATE_HOT;
    EXPECT_EQ(style.PictureFor(e), &over);
    e.state = STATE_HOT | STATE_PRESSED;
    EXPECT_EQ(style.PictureFor(e), &down);
    e.state = STATE_CHECKED;
    EXPECT_EQ(style.PictureFor(e), &down);
    // The skin's styles have no focus picture: a focused button shows up.
    style.focus = nullptr;
    e.state = 0;
    EXPECT_EQ(style.PictureFor(e), &up);
}
