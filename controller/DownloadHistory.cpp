#include "controller/DownloadHistory.h"

#include <windows.h>

#include <iterator>
#include <vector>

#include <rapidxml.hpp>
#include <rapidxml_print.hpp>

#include "controller/PathUtil.h"
#include "controller/XmlInput.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "platform/VersionQuad.h"

namespace {

constexpr size_t kMaxHistoryBytes = 64 * 1024 * 1024;

} // namespace

void DownloadHistory::SetFolder(const std::string& appDataFolder)
{
    std::string base = appDataFolder + "\\Quorvex";
    EnsureDirectory(base);
    folder_ = base + "\\Downloader";
    EnsureDirectory(folder_);
}

void DownloadHistory::Load()
{
    std::string path = FilePath();
    if (!IsFilePresent(path)) {
        WriteFile(Print(items_));
        return;
    }
    std::vector<char> text;
    if (!ReadWholeFile(path, kMaxHistoryBytes, &text)) return;
    // A damaged history loads as no entries: it must not keep the installer from starting.
    rapidxml::xml_document<> doc;
    if (!ParseXmlInput(doc, text.data())) return;
    rapidxml::xml_node<>* info = doc.first_node("HistoryInfo");
    if (!info) return;
    for (rapidxml::xml_node<>* item = info->first_node("Item"); item; item = item->next_sibling()) {
        std::string version, md5;
        for (auto* a = item->first_attribute(); a; a = a->next_attribute()) {
            if (AttributeNameStarts(a, "ver")) version.assign(a->value(), a->value_size());
            else if (AttributeNameStarts(a, "md5")) md5.assign(a->value(), a->value_size());
        }
        int32_t parts[4];
        if (ScanVersion(version.c_str(), parts) < 0) continue;  // a version no run could have offered
        items_.emplace(version, std::make_pair(version, md5));  // the first occurrence wins
    }
}

bool DownloadHistory::Add(const std::string& version, const std::string& md5)
{
    if (!items_.emplace(version, std::make_pair(version, md5)).second) return false;
    return WriteFile(Print(items_));
}

std::string DownloadHistory::Print(const Items& items)
{
    rapidxml::xml_document<> doc;
    doc.append_node(doc.allocate_node(rapidxml::node_pi, "xml version='1.0' encoding='utf-8'"));
    rapidxml::xml_node<>* info = doc.allocate_node(rapidxml::node_element, "HistoryInfo");
    doc.append_node(info);
    for (const auto& entry : items) {
        rapidxml::xml_node<>* item = doc.allocate_node(rapidxml::node_element, "Item");
        item->append_attribute(doc.allocate_attribute("ver", entry.second.first.c_str(), 0, entry.second.first.size()));
        item->append_attribute(doc.allocate_attribute("md5", entry.second.second.c_str(), 0, entry.second.second.size()));
        info->append_node(item);
    }
    std::string text;
    rapidxml::print(std::back_inserter(text), doc, 0);
    return text;
}

bool DownloadHistory::WriteFile(const std::string& text) const
{
    // The new text goes to a file beside the old one, which it then replaces,
    // so a failed write never costs the history already on disk.
    std::wstring target = Utf8ToWide(FilePath());
    std::wstring temp = target + L".new";
    {
        UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                                      nullptr));
        if (!file) return false;
        DWORD written = 0;
        bool ok = ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(file.Get());
        if (!ok) {
            file.Reset();
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}
