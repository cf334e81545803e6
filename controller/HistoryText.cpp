#include "controller/HistoryText.h"

#include <iterator>

#include <rapidxml.hpp>
#include <rapidxml_print.hpp>

#include "platform/VersionQuad.h"
#include "platform/XmlInput.h"

bool ParseHistoryText(char* text, HistoryItems* items)
{
    rapidxml::xml_document<> doc;
    if (!text || !ParseXmlInput(doc, text)) return false;
    rapidxml::xml_node<>* info = doc.first_node("HistoryInfo");
    if (!info) return false;
    for (rapidxml::xml_node<>* item = info->first_node("Item"); item; item = item->next_sibling()) {
        std::string version, md5;
        // Values end at a zero byte (a "&#0;" reference makes one): the file
        // is text, and a zero written back would end it there.
        for (auto* a = item->first_attribute(); a; a = a->next_attribute()) {
            if (AttributeNameStarts(a, "ver"))
                version = a->value();
            else if (AttributeNameStarts(a, "md5"))
                md5 = a->value();
        }
        int32_t parts[4];
        if (ScanVersion(version.c_str(), parts) < 0) continue;  // a version no run could have offered
        items->emplace(version, std::make_pair(version, md5));
    }
    return true;
}

std::string PrintHistoryText(const HistoryItems& items)
{
    rapidxml::xml_document<> doc;
    doc.append_node(doc.allocate_node(rapidxml::node_pi, "xml version='1.0' encoding='utf-8'"));
    rapidxml::xml_node<>* info = doc.allocate_node(rapidxml::node_element, "HistoryInfo");
    doc.append_node(info);
    for (const auto& entry : items) {
        rapidxml::xml_node<>* item = doc.allocate_node(rapidxml::node_element, "Item");
        item->append_attribute(doc.allocate_attribute("ver", entry.second.first.c_str(), 0, entry.second.first.size()));
        item->append_attribute(
            doc.allocate_attribute("md5", entry.second.second.c_str(), 0, entry.second.second.size()));
        info->append_node(item);
    }
    std::string text;
    rapidxml::print(std::back_inserter(text), doc, 0);
    return text;
}
