#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "SkinTestFiles.h"
#include "skin/DecodedPicture.h"
#include "skin/Image.h"
#include "skin/ResourceStore.h"
#include "skin/Style.h"

TEST(ResourceStore, ServesTheSkinByExactNameAndCachesPictures)
{
    LoadedStore s("skin/skin.zip");
    ASSERT_EQ(s.loaded, 1);
    EXPECT_GT(s.store.entryCount(), 20);

    // The default button style, made while loading, asked for it once.
    EXPECT_EQ(s.store.FindEntry("Default/btn_hot.png")->requests, 1);
    Image* first = s.store.GetImage("Default/btn_hot.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(s.store.GetImage("Default/btn_hot.png"), first);
    EXPECT_EQ(s.store.FindEntry("Default/btn_hot.png")->requests, 3);
    EXPECT_EQ(s.store.FindEntry("Default/btn_f_hot.png")->requests, 0);
    Image* other = s.store.GetImage("Default/btn_f_hot.png");
    EXPECT_EQ(s.store.GetImage("Default/btn_f_hot.png"), other);
    EXPECT_EQ(s.store.FindEntry("Default/btn_f_hot.png")->requests, 2);

    EXPECT_EQ(s.store.GetImage("default/btn_hot.png"), nullptr);
    EXPECT_EQ(s.store.GetImage("Default/BTN_HOT.PNG"), nullptr);
    EXPECT_EQ(s.store.FindEntry("Default/"), nullptr);             // folders are not entries
    EXPECT_EQ(s.store.GetImage("Default/main_bkg.png"), nullptr);  // absent on purpose
    EXPECT_EQ(s.store.GetData("no such entry"), nullptr);

    // The default button style and the shared objects are made while loading.
    EXPECT_NE(s.store.defaultButtonStyle(), nullptr);
    EXPECT_EQ(s.store.defaultButtonStyle(), s.store.GetStyle("button"));
    EXPECT_NE(s.store.handCursor(), nullptr);
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(s.store.fontLink(), sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_TRUE(lf.lfUnderline);
    EXPECT_STREQ(lf.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1");
}

TEST(ResourceStore, GetDataKeepsTheByteOrderMarkAndAddsAZero)
{
    LoadedStore s("skin/skin.zip");
    ASSERT_EQ(s.loaded, 1);
    const ResourceEntry* entry = s.store.FindEntry("main_wnd");
    ASSERT_NE(entry, nullptr);
    const char* text = s.store.GetData("main_wnd");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(entry->size));
    EXPECT_NE(std::strstr(text, "<Window initSize=\"615,366\" style=\"main_bkgnd\" layered=\"1\">"), nullptr);
    // Each GetData replaces the previous text.
    const char* box = s.store.GetData("msgbox_with_retry");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(std::strstr(box, "shadowRect=\"8,8,8,8\""), nullptr);
    s.store.ReleaseData();
}

TEST(ResourceStore, DecodesPicturesIntoPremultipliedBgra)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    Image* partial = s.store.GetImage("Default/partial.png");
    ASSERT_NE(partial, nullptr);
    ASSERT_NE(partial->bitmap(), nullptr);
    EXPECT_EQ(partial->width(), 2);
    EXPECT_EQ(partial->height(), 2);
    EXPECT_TRUE(partial->hasAlpha());
    const uint32_t* p = partial->pixels();
    // (200, 100, 50, 128) becomes floor(c * a / 255); opaque pixels stay as they are; then (1, 2, 3, 254).
    EXPECT_EQ(std::vector<uint32_t>(p, p + 4), (std::vector<uint32_t>{0x80643219u, 0xFF0A141Eu, 0u, 0xFE000102u}));
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(partial->bitmap(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);

    Image* photo = s.store.GetImage("Default/photo.jpg");
    ASSERT_NE(photo, nullptr);
    ASSERT_NE(photo->bitmap(), nullptr);
    EXPECT_FALSE(photo->hasAlpha());
    EXPECT_EQ(photo->width(), 16);
    EXPECT_EQ(photo->pixels()[0] >> 24, 0xFFu);

    LoadedStore skin("skin/skin.zip");
    ASSERT_EQ(skin.loaded, 1);
    Image* bkg = skin.store.GetImage("Default/bkg.jpg");
    ASSERT_NE(bkg, nullptr);
    EXPECT_EQ(bkg->width(), 615);
    EXPECT_EQ(bkg->height(), 366);
    EXPECT_FALSE(bkg->hasAlpha());
    EXPECT_TRUE(skin.store.GetImage("Default/dlg_bkg.png")->hasAlpha());
}

TEST(ResourceStore, UndecodablePictureIsCachedWithoutBitmap)
{
    LoadedStore s("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(s.loaded, 1);
    Image* broken = s.store.GetImage("Default/broken.png");
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->bitmap(), nullptr);
    EXPECT_EQ(broken->width(), 0);
    EXPECT_EQ(s.store.GetImage("Default/broken.png"), broken);
    EXPECT_EQ(s.store.FindEntry("Default/broken.png")->requests, 2);
    // A style entry asked for as a picture, or the reverse, is no object of that kind.
    EXPECT_EQ(s.store.GetStyle("Default/photo.jpg"), nullptr);
}

TEST(ResourceStore, HostilePictureHeadersAreRefusedBeforeDecoding)
{
    // A Huffman table of 512 codes: the decoder's table holds 256.
    std::string jpeg("\xFF\xD8\xFF\xC4\x00\x13\x00", 7);
    jpeg += std::string(16, '\x20');
    jpeg += "\xFF\xD9";
    // An IDAT chunk claiming a gigabyte in a file of a few dozen bytes.
    std::string png("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06\x00\x00\x00"
                    "\x1F\x15\xC4\x89\x40\x00\x00\x00IDAT\x78\x9C",
                    43);
    // A 16-bit PNM: a format the skin does not use, whose decoder reads past its buffer.
    const std::string pnm("P666\x0b\x0a\x33\x0b\x0a\x33\x33\x33\x00", 13);
    for (const std::string& bytes : {jpeg, png, pnm}) {
        DecodedPicture picture;
        EXPECT_FALSE(DecodedPicture::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &picture));
        Image image(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(image.bitmap(), nullptr);
    }
}

TEST(ResourceStore, DamagedArchivesAndEntriesAreRefused)
{
    ResourceStore empty;
    EXPECT_EQ(empty.GetData("main_wnd"), nullptr);
    EXPECT_EQ(empty.GetImage("Default/bkg.jpg"), nullptr);

    const char garbage[] = "this is not a zip archive at all, not even close";
    ResourceStore store;
    EXPECT_EQ(store.Load(garbage, sizeof(garbage)), 0);
    EXPECT_FALSE(store.IsLoaded());
    EXPECT_EQ(store.GetData("main_wnd"), nullptr);
    EXPECT_EQ(store.GetStyle("button"), nullptr);
    EXPECT_EQ(store.defaultButtonStyle(), nullptr);
    EXPECT_EQ(store.Load(nullptr, 0), 0);

    // One stored entry altered after writing: its checksum no longer holds.
    LoadedStore damaged("tests/skin/fixtures/damaged.zip");
    ASSERT_EQ(damaged.loaded, 1);
    EXPECT_NE(damaged.store.FindEntry("note"), nullptr);
    EXPECT_EQ(damaged.store.GetData("note"), nullptr);
    LoadedStore intact("tests/skin/fixtures/testskin.zip");
    ASSERT_EQ(intact.loaded, 1);
    ASSERT_NE(intact.store.GetData("note"), nullptr);
    EXPECT_STREQ(intact.store.GetData("note"), "hello world");
}
