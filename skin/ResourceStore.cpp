#include "skin/ResourceStore.h"
#include "skin/DpiScale.h"

#include <cwchar>

#include "skin/Image.h"
#include "skin/Style.h"

namespace {

ResourceStore* g_store = nullptr;

}  // namespace

ResourceStore::ResourceStore() = default;

ResourceStore::~ResourceStore()
{
    // Styles point at pictures of the same store; both go together here.
    defaultButtonStyle_ = nullptr;
    entries_.clear();
}

ResourceStore* ResourceStore::Instance()
{
    if (!g_store) g_store = new ResourceStore();
    return g_store;
}

void ResourceStore::Release()
{
    delete g_store;
    g_store = nullptr;
}

int ResourceStore::Load(const void* bytes, size_t length)
{
    owner_.Check();
    defaultButtonStyle_ = nullptr;
    entries_.clear();
    entryCount_ = 0;
    dataBuffer_.clear();
    archive_.reset();

    auto archive = std::make_unique<ZipArchive>();
    if (archive->Open(bytes, length) != ZR_OK) return 0;
    ZipItem item;
    if (archive->GetItem(-1, &item) != ZR_OK) return 0;
    entryCount_ = item.index;
    for (int32_t i = 0; i < entryCount_; ++i) {
        if (archive->GetItem(i, &item) != ZR_OK) continue;
        if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ResourceEntry entry;
        entry.index = i;
        entry.size = item.uncompressedSize;
        entries_.emplace(item.name, std::move(entry));  // a duplicate name keeps the first
    }
    archive_ = std::move(archive);

    handCursor_ = LoadCursorW(nullptr, IDC_HAND);
    defaultButtonStyle_ = GetStyle("button");
    MakeFonts();
    return 1;
}

void ResourceStore::MakeFonts()
{
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    wcsncpy(lf.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1", LF_FACESIZE - 1);  // 微软雅黑
    lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
    lf.lfHeight = -12;
    font12_.Reset(CreateFontIndirectW(&lf));
    lf.lfHeight = -14;
    font14_.Reset(CreateFontIndirectW(&lf));
    lf.lfHeight = -16;
    font16_.Reset(CreateFontIndirectW(&lf));
    lf.lfHeight = -12;
    lf.lfUnderline = TRUE;
    fontLink_.Reset(CreateFontIndirectW(&lf));
}

ResourceEntry* ResourceStore::Find(const std::string& name)
{
    owner_.Check();
    if (!archive_) return nullptr;
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

const ResourceEntry* ResourceStore::FindEntry(const std::string& name) const
{
    if (!archive_) return nullptr;
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : &it->second;
}

bool ResourceStore::Extract(const ResourceEntry& entry, std::vector<char>* out)
{
    out->assign(static_cast<size_t>(entry.size) + 1, '\0');
    return archive_->UnzipItem(entry.index, out->data(), static_cast<size_t>(entry.size)) == ZR_OK;
}

const char* ResourceStore::GetData(const std::string& name)
{
    ResourceEntry* entry = Find(name);
    if (!entry) return nullptr;
    // A damaged entry is refused rather than handed out half-extracted.
    if (!Extract(*entry, &dataBuffer_)) {
        ReleaseData();
        return nullptr;
    }
    return dataBuffer_.data();
}

void ResourceStore::ReleaseData() { std::vector<char>().swap(dataBuffer_); }

Image* ResourceStore::GetImage(const std::string& name)
{
    ResourceEntry* entry = Find(name);
    if (!entry) return nullptr;
    if (entry->requests == 0) {
        std::vector<char> bytes;
        const bool whole = Extract(*entry, &bytes);
        // An entry that did not come out whole gives a picture without bitmap.
        entry->object = whole ? std::make_unique<Image>(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                        static_cast<size_t>(entry->size))
                              : std::make_unique<Image>(nullptr, 0);
    }
    ++entry->requests;
    return dynamic_cast<Image*>(entry->object.get());
}

Style* ResourceStore::GetStyle(const std::string& name)
{
    ResourceEntry* entry = Find(name);
    if (!entry) return nullptr;
    if (entry->requests++ == 0) {
        // Counted first: a style that names its own entry as a picture then
        // finds nothing instead of replacing itself while it is being made.
        std::vector<char> text;
        if (Extract(*entry, &text)) entry->object = CreateStyle(text.data(), *this);
    }
    return dynamic_cast<Style*>(entry->object.get());
}

HFONT ResourceStore::ScaledFont(HFONT font, int dpi)
{
    owner_.Check();
    const DpiScale s = DpiScale::FromDpi(dpi);
    if (!font || s.IsIdentity()) return font;
    for (const ScaledFontEntry& entry : scaledFonts_)
        if (entry.base == font && entry.dpi == s.dpi) return entry.font ? entry.font.Get() : font;
    LOGFONTW lf{};
    GdiHandle<HFONT> made;
    if (GetObjectW(font, sizeof(lf), &lf) == sizeof(lf)) {
        lf.lfHeight = s.Scale(lf.lfHeight);
        lf.lfWidth = s.Scale(lf.lfWidth);
        made.Reset(CreateFontIndirectW(&lf));
    }
    scaledFonts_.push_back({font, s.dpi, std::move(made)});
    return scaledFonts_.back().font ? scaledFonts_.back().font.Get() : font;
}
