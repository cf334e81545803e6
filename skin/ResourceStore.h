#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ThreadAffinity.h"
#include "skin/GdiHandle.h"
#include "skin/ResourceEntry.h"
#include "skin/ZipArchive.h"

class Image;
class Style;

// Serves the skin archive by entry name: raw text (window descriptions),
// decoded pictures and parsed styles, each made once and cached; owns the
// shared fonts and the hand cursor. Main thread only (checked).
class ResourceStore {
public:
    ResourceStore();
    ~ResourceStore();
    ResourceStore(const ResourceStore&) = delete;
    ResourceStore& operator=(const ResourceStore&) = delete;

    // The process-wide store, created on first use; Release destroys it.
    static ResourceStore* Instance();
    static void Release();

    // Opens the archive over the caller's bytes (which must outlive the
    // store), indexes its files and makes the shared objects. 1 on success,
    // 0 when the archive or its directory cannot be read.
    int Load(const void* bytes, size_t length);

    // The entry's bytes followed by one zero byte, valid until the next
    // GetData or ReleaseData; null when the name is unknown or the entry
    // cannot be extracted intact.
    const char* GetData(const std::string& name);
    // Frees the buffer of the last GetData.
    void ReleaseData();

    // The picture or style of an entry, made on the first request and owned
    // by the store; null when the name is unknown (or, for a style, when the
    // entry is not a valid style).
    Image* GetImage(const std::string& name);
    Style* GetStyle(const std::string& name);

    // Names are case-sensitive; folders are not entries.
    const ResourceEntry* FindEntry(const std::string& name) const;
    bool IsLoaded() const { return archive_ != nullptr; }
    int32_t entryCount() const { return entryCount_; }

    HFONT font12() const { return font12_.Get(); }
    HFONT font14() const { return font14_.Get(); }
    HFONT font16() const { return font16_.Get(); }
    HFONT fontLink() const { return fontLink_.Get(); }
    // `font` (one of the store's or any other) made again at `dpi`, so that
    // text is drawn at its real size; made once per font and DPI and kept
    // for the store's life. The font itself at 96 DPI or when it fails.
    HFONT ScaledFont(HFONT font, int dpi);
    HCURSOR handCursor() const { return handCursor_; }
    // The style "button", used by buttons that name no style.
    Style* defaultButtonStyle() const { return defaultButtonStyle_; }

private:
    ResourceEntry* Find(const std::string& name);
    // Extracts an entry into a zeroed buffer of size + 1 bytes; false when
    // the entry did not come out whole.
    bool Extract(const ResourceEntry& entry, std::vector<char>* out);
    void MakeFonts();

    std::unique_ptr<ZipArchive> archive_;
    int32_t entryCount_ = 0;
    std::map<std::string, ResourceEntry> entries_;
    GdiHandle<HFONT> font12_;
    GdiHandle<HFONT> font14_;
    GdiHandle<HFONT> font16_;
    GdiHandle<HFONT> fontLink_;
    struct ScaledFontEntry {
        HFONT base;
        int dpi;
        GdiHandle<HFONT> font;
    };
    std::vector<ScaledFontEntry> scaledFonts_;
    HCURSOR handCursor_ = nullptr;  // shared system cursor, never destroyed
    Style* defaultButtonStyle_ = nullptr;
    std::vector<char> dataBuffer_;
    ThreadAffinity owner_;
};
