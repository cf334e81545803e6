#pragma once
#include <cstring>

#include <rapidxml.hpp>

// Parses zero-terminated text from outside (a reply or a file) in place.
// False when it is not well-formed, or when it nests elements deeper than any
// of our documents do: the parser recurses per level and would run out of
// stack long before it found the text malformed.
[[nodiscard]] bool ParseXmlInput(rapidxml::xml_document<>& doc, char* text);

// Attribute names that are recognised by their beginning ("IDX" counts as "ID").
inline bool AttributeNameStarts(const rapidxml::xml_attribute<>* attribute, const char* key)
{
    size_t n = std::strlen(key);
    return attribute->name_size() >= n && std::memcmp(attribute->name(), key, n) == 0;
}
