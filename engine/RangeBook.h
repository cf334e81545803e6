#pragma once
#include <cstdint>
#include <vector>

// The byte ranges of one download and how far each has reached on disk.
// Plain bookkeeping without locks: its owner serialises every call.
//
// Each range is fetched in requests that never reach past the point where an
// idle connection may take over, so a split never makes the server send a
// byte twice: a request asks for what its connection fetches in about the
// same time whatever its speed, never for more than half of what is left
// while the range may be split, and, once connections have shown different
// speeds, for no more than the slowest would fetch while all that is owed
// arrives (a slow connection's last request stays short). A split takes the
// upper part of the range that would end last, from above the owner's
// current request, leaving the owner what it fetches while the idle
// connection fetches the rest.
class RangeBook {
public:
    struct Span {
        int64_t first;
        int64_t last;  // inclusive
        bool operator==(const Span& o) const { return first == o.first && last == o.last; }
    };

    static constexpr int64_t kBlock = 4096;
    static constexpr int64_t kMinSplit = 256 << 10;  // less left than this is never split
    static constexpr int64_t kMinRequest = 128 << 10;
    static constexpr int64_t kMaxRequest = 16 << 20;
    static constexpr int64_t kFirstRequest = 512 << 10;  // before the connection's speed is known

    explicit RangeBook(int64_t minSplit = kMinSplit, int64_t minRequest = kMinRequest, int64_t maxRequest = kMaxRequest)
        : minSplit_(minSplit), minRequest_(minRequest), maxRequest_(maxRequest)
    {}

    // A fresh download's ranges: `count` ranges of whole blocks, the last
    // taking the remainder; one block a range when there are fewer blocks
    // than `count`. Together they cover 0 to totalSize - 1 once.
    static std::vector<Span> FirstRanges(int64_t totalSize, unsigned count);

    // A range still to fetch, waiting for a connection; returns its id
    // (never 0). While any range waits, nothing is split: an idle
    // connection is about to get that range.
    uint64_t Add(int64_t first, int64_t last);
    // Bytes before `position` of the range are on disk.
    bool Advance(uint64_t id, int64_t position);
    // The range's current last byte; false for an unknown id.
    [[nodiscard]] bool End(uint64_t id, int64_t& last) const;
    // Starts the next request of a range at `position`: its last byte, and
    // the range's last byte. The request asks for what the connection
    // fetches in about `requestMs` at `bytesPerSecond`, its speed on its last
    // request (0: not known yet). False for an unknown id.
    [[nodiscard]] bool NextRequest(uint64_t id, int64_t position, int64_t bytesPerSecond, int64_t requestMs,
                                   int64_t& requestLast, int64_t& rangeLast);
    void Finish(uint64_t id);
    // Moves the upper part of the splittable range that would end last into
    // a new range for an idle connection; false when none qualifies.
    [[nodiscard]] bool Split(Span& taken, uint64_t& newId);
    // Whether a range with bytes left still waits for its first request: a
    // split refused for that reason may be granted moments later.
    [[nodiscard]] bool AnyWaiting() const;
    // What is still owed, one span per range, in range order of creation.
    // A range whose bytes are all on disk but whose task has not finished
    // (stopped after its last chunk) is left out unless keepEmpty.
    std::vector<Span> Remaining(bool keepEmpty = false) const;
    size_t Size() const { return slots_.size(); }
    void Clear()
    {
        slots_.clear();
        slowest_ = fastest_ = 0;
    }

private:
    struct Slot {
        uint64_t id;
        int64_t position;     // first byte not yet on disk
        int64_t requestLast;  // last byte asked of the server; -1 before the first request
        int64_t last;
        bool waiting;   // no connection has started it yet
        int64_t speed;  // of its connection on its last request (bytes per second); 0: not known
    };
    Slot* Find(uint64_t id);
    const Slot* Find(uint64_t id) const;

    int64_t minSplit_;
    int64_t minRequest_;
    int64_t maxRequest_;
    uint64_t nextId_ = 1;
    // Speeds of the download's connections seen so far (bytes per second).
    int64_t slowest_ = 0;
    int64_t fastest_ = 0;
    std::vector<Slot> slots_;
};
