#include "engine/RangeBook.h"

#include <algorithm>

namespace {
int64_t AlignUp(int64_t offset) { return (offset + RangeBook::kBlock - 1) / RangeBook::kBlock * RangeBook::kBlock; }
}  // namespace

RangeBook::Slot* RangeBook::Find(uint64_t id)
{
    for (Slot& s : slots_)
        if (s.id == id) return &s;
    return nullptr;
}

const RangeBook::Slot* RangeBook::Find(uint64_t id) const
{
    for (const Slot& s : slots_)
        if (s.id == id) return &s;
    return nullptr;
}

uint64_t RangeBook::Add(int64_t first, int64_t last)
{
    const uint64_t id = nextId_++;
    slots_.push_back({id, first, -1, last, true, 0});
    return id;
}

bool RangeBook::Advance(uint64_t id, int64_t position)
{
    Slot* s = Find(id);
    if (s == nullptr) return false;
    s->position = position;
    return true;
}

bool RangeBook::End(uint64_t id, int64_t& last) const
{
    const Slot* s = Find(id);
    if (s == nullptr) return false;
    last = s->last;
    return true;
}

bool RangeBook::NextRequest(uint64_t id, int64_t position, int64_t bytesPerSecond, int64_t requestMs,
                            int64_t& requestLast, int64_t& rangeLast)
{
    Slot* s = Find(id);
    if (s == nullptr) return false;
    s->position = position;
    s->waiting = false;
    if (bytesPerSecond > 0) {
        s->speed = bytesPerSecond;
        slowest_ = slowest_ == 0 ? bytesPerSecond : std::min(slowest_, bytesPerSecond);
        fastest_ = std::max(fastest_, bytesPerSecond);
    }
    const int64_t left = s->last + 1 - position;
    const int64_t wanted = bytesPerSecond > 0 ? bytesPerSecond * requestMs / 1000 : kFirstRequest;
    int64_t span = std::min(std::max(wanted, minRequest_), maxRequest_);
    // The upper half stays free for a split while the range may be split.
    if (left >= minSplit_) span = std::min(span, std::max(left / 2, minRequest_));
    // Connections change hands between requests: a request may land on the
    // slowest one, and should then end no later than all that is owed does.
    if (slowest_ > 0) {
        int64_t owed = 0;
        for (const Slot& o : slots_) owed += std::max<int64_t>(o.last + 1 - o.position, 0);
        const int64_t others = static_cast<int64_t>(std::max<size_t>(slots_.size(), 2)) - 1;
        const double share = static_cast<double>(slowest_) / static_cast<double>(slowest_ + others * fastest_);
        span = std::min(span, std::max(static_cast<int64_t>(static_cast<double>(owed) * share), minRequest_));
    }
    s->requestLast = std::min(s->last, AlignUp(position + span) - 1);
    requestLast = s->requestLast;
    rangeLast = s->last;
    return true;
}

void RangeBook::Finish(uint64_t id)
{
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [id](const Slot& s) { return s.id == id; }),
                 slots_.end());
}

bool RangeBook::Split(Span& taken, uint64_t& newId)
{
    Slot* best = nullptr;
    int64_t bestAt = 0;
    double bestEnd = 0;
    for (Slot& s : slots_) {
        if (s.waiting && s.position <= s.last) return false;
        const int64_t left = s.last + 1 - s.position;
        if (left < minSplit_) continue;
        // The idle connection is taken to be as fast as the fastest seen. The
        // owner keeps what it fetches while the taker fetches the rest, so a
        // slow owner keeps little and both end together.
        const int64_t owner = s.speed > 0 ? s.speed : fastest_;
        const int64_t keep = owner > 0 ? static_cast<int64_t>(static_cast<double>(left) * static_cast<double>(owner) /
                                                              static_cast<double>(owner + fastest_))
                                       : left / 2;
        // Never inside the bytes already asked for: the server sends them anyway.
        const int64_t at = std::max(AlignUp(s.position + keep), s.requestLast + 1);
        if (at > s.last) continue;
        // The range that would end last at its owner's speed (by size while no speed is known).
        const double end = static_cast<double>(left) / static_cast<double>(std::max<int64_t>(owner, 1));
        if (end > bestEnd) {
            best = &s;
            bestAt = at;
            bestEnd = end;
        }
    }
    if (best == nullptr) return false;
    taken = {bestAt, best->last};
    best->last = bestAt - 1;
    newId = Add(taken.first, taken.last);
    slots_.back().waiting = false;  // the caller starts it at once
    return true;
}

bool RangeBook::AnyWaiting() const
{
    return std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.waiting && s.position <= s.last; });
}

std::vector<RangeBook::Span> RangeBook::Remaining(bool keepEmpty) const
{
    std::vector<Span> spans;
    for (const Slot& s : slots_)
        if (keepEmpty || s.position <= s.last) spans.push_back({s.position, s.last});
    return spans;
}

std::vector<RangeBook::Span> RangeBook::FirstRanges(int64_t totalSize, unsigned n)
{
    std::vector<Span> ranges;
    if (totalSize <= 0) return ranges;
    if (n == 0) n = 1;
    const int64_t blocks = (totalSize + kBlock - 1) / kBlock;
    if (totalSize <= kBlock) {
        ranges.push_back({0, totalSize - 1});
    } else if (static_cast<int64_t>(n) < blocks) {
        const int64_t per = blocks / n * kBlock;
        for (unsigned i = 0; i + 1 < n; ++i) ranges.push_back({i * per, i * per + per - 1});
        ranges.push_back({(n - 1) * per, totalSize - 1});
    } else {
        for (int64_t k = 0; k < blocks; ++k)
            ranges.push_back({k * kBlock, k + 1 < blocks ? k * kBlock + kBlock - 1 : totalSize - 1});
    }
    return ranges;
}
