#pragma once
#include <cstring>

#include <rapidxml.hpp>

// Attribute names that are recognised by their beginning ("IDX" counts as "ID").
inline bool AttributeNameStarts(const rapidxml::xml_attribute<>* attribute, const char* key)
{
    size_t n = std::strlen(key);
    return attribute->name_size() >= n && std::memcmp(attribute->name(), key, n) == 0;
}
