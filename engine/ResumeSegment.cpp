#include "engine/ResumeSegment.h"

#include <cstring>

ResumeSegment* ResumeSegment::Make(uint32_t start, uint32_t end, const std::string& url, const std::string& path)
{
    if (url.size() >= sizeof(ResumeSegment::url) || path.size() >= sizeof(ResumeSegment::path)) return nullptr;
    auto* segment = new ResumeSegment();
    segment->start = start;
    segment->end = end;
    memcpy(segment->url, url.data(), url.size());
    memcpy(segment->path, path.data(), path.size());
    return segment;
}
