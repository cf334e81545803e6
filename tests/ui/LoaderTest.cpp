#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "UiTestSupport.h"
#include "ui/DescriptionLoader.h"
#include "ui/dxButton.h"
#include "ui/dxCanvas.h"
#include "ui/dxLabel.h"

namespace {

const char kBackground[] = "<Style><Config type=\"Background\"/><Prop img=\"none.png\" scaleGrid=\"1,1,1,1\"/></Style>";

std::wstring TextOf(dxControl* c)
{
    if (auto* b = dynamic_cast<dxButton*>(c)) return b->text;
    if (auto* l = dynamic_cast<dxLabel*>(c)) return l->text;
    return L"?";
}

std::string Nested(int depth)
{
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<Canvas>";
        close += "</Canvas>";
    }
    return "<Window>" + open + "<Button id=\"99\"/>" + close + "</Window>";
}

}  // namespace

TEST(Loader, AttributeRules)
{
    ASSERT_TRUE(
        LoadSkinOf({{"rules", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                              "<Window initSize=\"300,200\" border=\"1,2\">\n"
                              " <Canvas padding=\"8\">\n"
                              "  <Button id=\"1\" id=\"2\" x=\"0\" y=\"0\" width=\"10\" height=\"10\" text=\"one\" "
                              "text=\"two\" tooltip=\"first\" tooltip=\"second\" style=\"nosuch\"/>\n"
                              "  <Label id=\"3\" text=\"\xe6\x8f\x90\xe7\xa4\xba\" text=\"later\" color=\"818181\" "
                              "textAlign=\"right\"/>\n"
                              "  <Button id=\"3\" visible=\"1\"/>\n"
                              "  <Label id=\"4\" color=\"#0000ff\" x=\"80\" horizontalAlign=\"center\" width=\"100\" "
                              "visible=\"0\"/>\n"
                              "  <Widget id=\"20\"><Button id=\"21\"/></Widget>\n"
                              "  <Button id=\"5\" margin=\"300\" visible=\"\" id=\"\"/>\n"
                              " </Canvas>\n"
                              " <Canvas><Button id=\"30\"/></Canvas>\n"
                              "</Window>\n"}}));
    dxWindowImpl window;
    ASSERT_TRUE(DescriptionLoader::BuildWindow("rules", &window));
    EXPECT_EQ(300, window.initSize.cx);
    EXPECT_EQ((std::vector<int>{1, 2, 0, 0}), std::vector<int>(window.border, window.border + 4));
    ASSERT_EQ(1u, window.children.size());
    auto* canvas = dynamic_cast<dxCanvas*>(window.children[0].get());
    ASSERT_NE(nullptr, canvas);
    EXPECT_EQ(5u, canvas->children.size());
    window.Layout(nullptr, RECT{0, 0, 300, 200});

    dxControl* button = window.FindElement(1);
    ASSERT_NE(nullptr, button);
    EXPECT_EQ(nullptr, window.FindElement(2));  // a second id is ignored
    EXPECT_EQ(L"two", TextOf(button));          // a button takes the last text
    EXPECT_EQ(L"first", button->tooltip);
    EXPECT_EQ(nullptr, button->style);
    EXPECT_EQ(9, button->rect.left);  // border 1 + padding 8
    EXPECT_EQ(2, button->rect.top);

    dxControl* label = window.FindElement(3);  // the first of two elements with id 3
    ASSERT_NE(nullptr, dynamic_cast<dxLabel*>(label));
    EXPECT_EQ(L"\x63d0\x793a", TextOf(label));           // a label keeps its first text
    EXPECT_EQ(0u, static_cast<dxLabel*>(label)->color);  // no "#": no colour
    EXPECT_EQ(LABEL_RIGHT, label->format);
    EXPECT_TRUE(canvas->children[2]->IsVisible());

    auto* centred = static_cast<dxLabel*>(window.FindElement(4));
    ASSERT_NE(nullptr, centred);
    EXPECT_EQ(RGB(255, 0, 0), centred->color);  // the lowest byte is red
    EXPECT_FALSE(centred->IsVisible());
    EXPECT_EQ((1 + 8 + 300 - 100) / 2, centred->rect.left);  // x 80 does not count

    EXPECT_EQ(nullptr, window.FindElement(20));  // unknown node skipped with its content
    EXPECT_EQ(nullptr, window.FindElement(21));
    dxControl* last = window.FindElement(5);
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(44, last->x);  // margin keeps the low byte
    EXPECT_EQ(44, last->y);
    EXPECT_TRUE(last->IsVisible());
    EXPECT_EQ(nullptr, window.FindElement(30));  // only the first child of Window counts
}

TEST(Loader, NestingDeeperThanSixteenIsRefused)
{
    ASSERT_TRUE(LoadSkinOf({{"deep16", Nested(16)}, {"deep17", Nested(17)}}));
    dxWindowImpl fits;
    ASSERT_TRUE(DescriptionLoader::BuildWindow("deep16", &fits));
    ASSERT_NE(nullptr, fits.FindElement(99));
    EXPECT_NE(nullptr, fits.FindElement(99)->parent);

    dxWindowImpl tooDeep;
    DescriptionLoader::BuildWindow("deep17", &tooDeep);
    ASSERT_EQ(1u, tooDeep.children.size());
    EXPECT_EQ(nullptr, tooDeep.children[0]);
    EXPECT_TRUE(tooDeep.idMap.empty());
}

TEST(Loader, WindowsWithoutElementsStillOpenPaintAndClose)
{
    ASSERT_TRUE(LoadSkinOf({{"bkg", kBackground},
                            {"empty", "<Window initSize=\"120,80\" style=\"bkg\" layered=\"1\"></Window>"},
                            {"zero", "<Window initSize=\"0,80\"><Canvas><Button id=\"1\"/></Canvas></Window>"},
                            {"broken", "<Window initSize=\"90,90\"><Canvas><Button id=\"1\"/>"},
                            {"frame", "<Frame initSize=\"90,90\"><Canvas><Button id=\"1\"/></Canvas></Frame>"}}));
    {
        TestWindow empty("empty");
        ASSERT_TRUE(empty.Open());
        RECT client;
        GetClientRect(empty.hwnd, &client);
        EXPECT_EQ(120, client.right);
        EXPECT_EQ(80, client.bottom);
        EXPECT_NE(nullptr, empty.background);
        ASSERT_EQ(1u, empty.children.size());
        EXPECT_EQ(nullptr, empty.children[0]);
        UpdateWindow(empty.hwnd);
        EXPECT_NE(nullptr, empty.renderer.bits());
        SendMessageW(empty.hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
        SendMessageW(empty.hwnd, WM_LBUTTONDBLCLK, 0, MAKELPARAM(10, 10));
        SendMessageW(empty.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        EXPECT_EQ(nullptr, empty.hovered);
        EXPECT_EQ(nullptr, empty.pressed);
    }
    for (const char* name : {"zero", "broken", "frame", "missing"}) {
        SCOPED_TRACE(name);
        TestWindow window(name);
        ASSERT_TRUE(window.Create(nullptr, nullptr, L"", RECT{0, 0, 50, 40}, WS_POPUP, 0));
        RECT client;
        GetClientRect(window.hwnd, &client);
        EXPECT_EQ(50, client.right);  // an initSize with a 0, or none, keeps the size
        EXPECT_EQ(40, client.bottom);
        EXPECT_EQ(std::string(name) == "zero", window.FindElement(1) != nullptr);
        EXPECT_EQ(0, GetWindowLongW(window.hwnd, GWL_STYLE) & WS_CAPTION);
        DestroyWindow(window.hwnd);
        EXPECT_EQ(nullptr, window.hwnd);
        EXPECT_EQ(1, window.destroyedCalls);
    }
}
