#include "skin/JpegScanWalker.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

// The decoder's "no marker" value, which is also what it makes of a fill byte.
constexpr int kNoMarker = 0xFF;
// Coefficient blocks of all components together: a picture of the largest
// accepted size has fewer; a thin one with large sampling factors only
// costs memory.
constexpr size_t kMaxBlocks = size_t(1) << 21;
// Bit 0 of a progressive block's mask: a DC scan set the block. Bits 1-63:
// the coefficient at that zigzag position is not zero.
constexpr uint64_t kBlockSet = 1;

bool IsRestart(int marker) { return marker >= 0xD0 && marker <= 0xD7; }

// A canonical Huffman table as the decoder builds it from a DHT segment.
struct HuffmanTable {
    bool usable = false;
    uint32_t first[17] = {};   // first code of each length
    uint32_t count[17] = {};   // codes of each length
    uint32_t offset[17] = {};  // symbol index of each length's first code
    uint8_t values[256] = {};
};

struct Component {
    int id = 0, h = 1, v = 1;
    int quantTable = 0;
    int dcTable = 0, acTable = 0;        // as the latest scan chose them
    int blocksWide = 0, blocksHigh = 0;  // blocks its own samples cover
    int gridWide = 0;                    // blocks per row of the MCU grid
    bool complete = false;               // baseline: a scan decoded every block
    std::vector<uint64_t> blocks;        // progressive: one mask per block
};

class Walk {
public:
    Walk(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}
    bool Run();

private:
    enum class Scan { Failed, EndedEarly, Complete };

    // Memory as the decoder reads it: zeros past the end.
    int Get8() { return at_ < length_ ? bytes_[at_++] : 0; }
    int Get16()
    {
        const int high = Get8();
        return (high << 8) | Get8();
    }
    bool AtEnd() const { return at_ >= length_; }
    void Skip(size_t count) { at_ += std::min(count, length_ - std::min(at_, length_)); }

    int GetMarker();
    bool ProcessMarker(int marker);
    bool DefineTables();
    bool FrameHeader();
    bool ScanHeader();
    Scan ScanData();
    bool QuantTableDefined(const Component& c) const { return quantDefined_ >> c.quantTable & 1; }
    bool EveryBlockDecoded() const;

    // The bit reader, step for step as the decoder's, which decides how far
    // it reads ahead and so where it finds the next marker.
    void Reset();
    void Grow();
    bool Consume(int bits);
    bool Decode(const HuffmanTable& table, int* symbol);
    bool Receive(int bits, int* value);
    bool GetBits(int bits, uint32_t* value);
    bool GetBit(bool* set);

    bool BaselineBlock(const Component& c);
    bool DcBlock(const Component& c, uint64_t& block);
    bool AcBlock(const Component& c, uint64_t& block);
    bool AcRefine(const Component& c, uint64_t& block);

    const uint8_t* bytes_;
    size_t length_;
    size_t at_ = 0;

    HuffmanTable dc_[4], ac_[4];
    unsigned quantDefined_ = 0;  // bit per quantisation table a DQT defined
    Component components_[4];
    int componentCount_ = 0;
    int width_ = 0, height_ = 0;
    int mcusWide_ = 0, mcusHigh_ = 0;
    bool progressive_ = false;
    int restartInterval_ = 0;

    int order_[4] = {};
    int scanCount_ = 0;
    int specStart_ = 0, specEnd_ = 0, succHigh_ = 0, succLow_ = 0;

    uint32_t buffer_ = 0;
    int bits_ = 0;
    int padding_ = 0;  // zero bits at the bottom of buffer_ that no data gave
    bool noMore_ = false;
    int marker_ = kNoMarker;
    int todo_ = 0;
    int eobRun_ = 0;
};

int Walk::GetMarker()
{
    if (marker_ != kNoMarker) {
        const int marker = marker_;
        marker_ = kNoMarker;
        return marker;
    }
    int x = Get8();
    if (x != 0xFF) return kNoMarker;
    while (x == 0xFF) x = Get8();
    return x;
}

bool Walk::Run()
{
    if (GetMarker() != 0xD8) return true;  // not a JPEG
    int m = GetMarker();
    while (m != 0xC0 && m != 0xC1 && m != 0xC2) {
        if (!ProcessMarker(m)) return false;
        m = GetMarker();
        while (m == kNoMarker) {  // bytes between segments are skipped here
            if (AtEnd()) return false;
            m = GetMarker();
        }
    }
    progressive_ = m == 0xC2;
    if (!FrameHeader()) return false;
    for (m = GetMarker(); m != 0xD9; m = GetMarker()) {
        if (m == 0xDA) {
            if (!ScanHeader()) return false;
            // A baseline scan dequantises as it decodes; a progressive
            // picture at the end.
            if (!progressive_)
                for (int i = 0; i < scanCount_; ++i)
                    if (!QuantTableDefined(components_[order_[i]])) return false;
            const Scan scan = ScanData();
            if (scan == Scan::Failed) return false;
            if (scan == Scan::Complete)
                for (int i = 0; i < scanCount_; ++i) components_[order_[i]].complete = true;
            if (marker_ == kNoMarker) {
                // Whatever follows the data up to the next FF is passed over.
                while (!AtEnd()) {
                    if (Get8() == 0xFF) {
                        marker_ = Get8();
                        break;
                    }
                }
            }
        } else if (m == 0xDC) {  // DNL
            const int size = Get16();
            if (size != 4 || Get16() != height_) return false;
        } else if (!ProcessMarker(m)) {
            return false;
        }
    }
    if (progressive_)
        for (int n = 0; n < componentCount_; ++n)
            if (!QuantTableDefined(components_[n])) return false;
    return EveryBlockDecoded();
}

bool Walk::ProcessMarker(int marker)
{
    if (marker == 0xDD) {  // DRI
        if (Get16() != 4) return false;
        restartInterval_ = Get16();
        return true;
    }
    if (marker == 0xDB) {  // DQT
        int left = Get16() - 2;
        while (left > 0) {
            const int q = Get8();
            const bool sixteen = (q >> 4) != 0;
            if ((q >> 4) > 1 || (q & 15) > 3) return false;
            quantDefined_ |= 1u << (q & 15);
            for (int i = 0; i < 64; ++i) {
                if (sixteen)
                    Get16();
                else
                    Get8();
            }
            left -= sixteen ? 129 : 65;
        }
        return left == 0;
    }
    if (marker == 0xC4) return DefineTables();
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) {  // APPn, COM
        const int size = Get16();
        if (size < 2) return false;
        Skip(static_cast<size_t>(size - 2));
        return true;
    }
    return false;
}

bool Walk::DefineTables()
{
    int left = Get16() - 2;
    while (left > 0) {
        const int q = Get8();
        if ((q >> 4) > 1 || (q & 15) > 3) return false;
        HuffmanTable& table = (q >> 4) ? ac_[q & 15] : dc_[q & 15];
        table.usable = false;
        uint32_t code = 0, index = 0;
        int longest = 0;
        for (int length = 1; length <= 16; ++length) {
            const uint32_t n = static_cast<uint32_t>(Get8());
            table.first[length] = code;
            table.count[length] = n;
            table.offset[length] = index;
            code += n;
            index += n;
            if (n) {
                longest = length;
                if (code - 1 >= (1u << length)) return false;  // more codes than the length has room for
            }
            code <<= 1;
        }
        if (index > 256) return false;
        for (uint32_t i = 0; i < index; ++i) table.values[i] = static_cast<uint8_t>(Get8());
        // The decoder's quick table marks "no short code" with 255, so a
        // 256th symbol with a short code would be read with the wrong length.
        table.usable = !(index == 256 && longest <= 9);
        left -= 17 + static_cast<int>(index);
    }
    return left == 0;
}

bool Walk::FrameHeader()
{
    const int size = Get16();
    if (size < 11 || Get8() != 8) return false;
    height_ = Get16();
    width_ = Get16();
    componentCount_ = Get8();
    if (height_ == 0 || width_ == 0) return false;
    if (componentCount_ != 1 && componentCount_ != 3 && componentCount_ != 4) return false;
    if (size != 8 + 3 * componentCount_) return false;
    int hMax = 1, vMax = 1;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = components_[i];
        c.id = Get8();
        const int sampling = Get8();
        c.h = sampling >> 4;
        c.v = sampling & 15;
        c.quantTable = Get8();
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.quantTable > 3) return false;
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    if (uint64_t(width_) * uint64_t(height_) * uint64_t(componentCount_) > INT_MAX) return false;
    mcusWide_ = (width_ + 8 * hMax - 1) / (8 * hMax);
    mcusHigh_ = (height_ + 8 * vMax - 1) / (8 * vMax);
    size_t total = 0;
    for (int i = 0; i < componentCount_; ++i) {
        Component& c = components_[i];
        if (hMax % c.h != 0 || vMax % c.v != 0) return false;
        c.blocksWide = ((width_ * c.h + hMax - 1) / hMax + 7) >> 3;
        c.blocksHigh = ((height_ * c.v + vMax - 1) / vMax + 7) >> 3;
        c.gridWide = mcusWide_ * c.h;
        if (progressive_) {
            const size_t blocks = size_t(c.gridWide) * size_t(mcusHigh_) * size_t(c.v);
            total += blocks;
            if (total > kMaxBlocks) return false;
            c.blocks.assign(blocks, 0);
        }
    }
    return true;
}

bool Walk::ScanHeader()
{
    const int size = Get16();
    scanCount_ = Get8();
    if (scanCount_ < 1 || scanCount_ > 4 || scanCount_ > componentCount_) return false;
    if (size != 6 + 2 * scanCount_) return false;
    for (int i = 0; i < scanCount_; ++i) {
        const int id = Get8();
        const int tables = Get8();
        int which = 0;
        while (which < componentCount_ && components_[which].id != id) ++which;
        if (which == componentCount_) return false;
        if (tables >> 4 > 3 || (tables & 15) > 3) return false;
        components_[which].dcTable = tables >> 4;
        components_[which].acTable = tables & 15;
        order_[i] = which;
    }
    specStart_ = Get8();
    specEnd_ = Get8();
    const int approximation = Get8();
    succHigh_ = approximation >> 4;
    succLow_ = approximation & 15;
    if (progressive_)
        return specStart_ <= 63 && specEnd_ <= 63 && specStart_ <= specEnd_ && succHigh_ <= 13 && succLow_ <= 13;
    specEnd_ = 63;
    return specStart_ == 0 && succHigh_ == 0 && succLow_ == 0;
}

Walk::Scan Walk::ScanData()
{
    Reset();
    // After each MCU: at the end of a restart interval the data must go on
    // after a restart marker, or the scan ends there (complete only when
    // that was its last MCU).
    const auto intervalGoesOn = [this] {
        if (--todo_ > 0) return true;
        if (bits_ < 24) Grow();
        if (!IsRestart(marker_)) return false;
        Reset();
        return true;
    };
    const auto decode = [this](Component& c, int x, int y) {
        if (!progressive_) return BaselineBlock(c);
        const size_t at = size_t(y) * size_t(c.gridWide) + size_t(x);
        if (at >= c.blocks.size()) return false;
        // Several components in one scan make it a DC scan, whatever it claims.
        if (specStart_ == 0 || scanCount_ > 1) return DcBlock(c, c.blocks[at]);
        return AcBlock(c, c.blocks[at]);
    };
    if (scanCount_ == 1) {
        Component& c = components_[order_[0]];
        for (int j = 0; j < c.blocksHigh; ++j)
            for (int i = 0; i < c.blocksWide; ++i) {
                if (!decode(c, i, j)) return Scan::Failed;
                const bool last = j == c.blocksHigh - 1 && i == c.blocksWide - 1;
                if (!intervalGoesOn() && !last) return Scan::EndedEarly;
            }
        return Scan::Complete;
    }
    for (int j = 0; j < mcusHigh_; ++j)
        for (int i = 0; i < mcusWide_; ++i) {
            for (int k = 0; k < scanCount_; ++k) {
                Component& c = components_[order_[k]];
                for (int y = 0; y < c.v; ++y)
                    for (int x = 0; x < c.h; ++x)
                        if (!decode(c, i * c.h + x, j * c.v + y)) return Scan::Failed;
            }
            const bool last = j == mcusHigh_ - 1 && i == mcusWide_ - 1;
            if (!intervalGoesOn() && !last) return Scan::EndedEarly;
        }
    return Scan::Complete;
}

bool Walk::EveryBlockDecoded() const
{
    for (int n = 0; n < componentCount_; ++n) {
        const Component& c = components_[n];
        if (!progressive_) {
            if (!c.complete) return false;
            continue;
        }
        for (int j = 0; j < c.blocksHigh; ++j)
            for (int i = 0; i < c.blocksWide; ++i)
                if (!(c.blocks[size_t(j) * size_t(c.gridWide) + size_t(i)] & kBlockSet)) return false;
    }
    return true;
}

void Walk::Reset()
{
    buffer_ = 0;
    bits_ = 0;
    padding_ = 0;
    noMore_ = false;
    marker_ = kNoMarker;
    todo_ = restartInterval_ ? restartInterval_ : INT_MAX;
    eobRun_ = 0;
}

void Walk::Grow()
{
    do {
        const bool padding = noMore_ || AtEnd();
        const uint32_t b = noMore_ ? 0 : static_cast<uint32_t>(Get8());
        if (b == 0xFF) {
            int c = Get8();
            while (c == 0xFF) c = Get8();  // fill bytes
            if (c != 0) {
                marker_ = c;
                noMore_ = true;
                return;
            }
        }
        buffer_ |= b << (24 - bits_);
        bits_ += 8;
        if (padding) padding_ += 8;
    } while (bits_ <= 24);
}

// Every read takes 1 to 16 bits.
bool Walk::Consume(int bits)
{
    buffer_ <<= bits;
    bits_ -= bits;
    return bits_ >= padding_;  // what is left must still hold every padding bit
}

bool Walk::Decode(const HuffmanTable& table, int* symbol)
{
    if (!table.usable) return false;
    if (bits_ < 16) Grow();
    for (int length = 1; length <= 16; ++length) {
        const uint32_t code = buffer_ >> (32 - length);
        if (code - table.first[length] < table.count[length]) {
            *symbol = table.values[table.offset[length] + code - table.first[length]];
            return Consume(length);
        }
    }
    return false;
}

bool Walk::Receive(int bits, int* value)
{
    if (bits_ < bits) Grow();
    const bool positive = (buffer_ >> 31) != 0;
    const uint32_t mask = (1u << bits) - 1;
    const uint32_t raw = (buffer_ >> (32 - bits)) & mask;
    *value = positive ? int(raw) : int(raw) - int(mask);
    return Consume(bits);
}

bool Walk::GetBits(int bits, uint32_t* value)
{
    if (bits_ < bits) Grow();
    *value = (buffer_ >> (32 - bits)) & ((1u << bits) - 1);
    return Consume(bits);
}

bool Walk::GetBit(bool* set)
{
    if (bits_ < 1) Grow();
    *set = (buffer_ >> 31) != 0;
    return Consume(1);
}

bool Walk::BaselineBlock(const Component& c)
{
    if (bits_ < 16) Grow();
    int t = 0, value = 0;
    if (!Decode(dc_[c.dcTable], &t) || t > 15) return false;
    if (t && !Receive(t, &value)) return false;
    int k = 1;
    do {
        if (bits_ < 16) Grow();
        int rs = 0;
        if (!Decode(ac_[c.acTable], &rs)) return false;
        const int size = rs & 15;
        if (size == 0) {
            if (rs != 0xF0) break;  // end of block
            k += 16;
        } else {
            k += (rs >> 4) + 1;
            if (!Receive(size, &value)) return false;
        }
    } while (k < 64);
    return true;
}

bool Walk::DcBlock(const Component& c, uint64_t& block)
{
    if (specEnd_ != 0) return false;
    if (bits_ < 16) Grow();
    if (succHigh_ != 0) {
        bool ignored = false;
        return (block & kBlockSet) && GetBit(&ignored);
    }
    block = kBlockSet;  // the first DC scan clears the block's coefficients
    int t = 0, value = 0;
    if (!Decode(dc_[c.dcTable], &t) || t > 15) return false;
    return !t || Receive(t, &value);
}

bool Walk::AcBlock(const Component& c, uint64_t& block)
{
    if (succHigh_ != 0) return AcRefine(c, block);
    if (eobRun_) {
        --eobRun_;
        return true;
    }
    int k = specStart_;
    do {
        if (bits_ < 16) Grow();
        int rs = 0;
        if (!Decode(ac_[c.acTable], &rs)) return false;
        const int size = rs & 15, run = rs >> 4;
        if (size == 0) {
            if (run < 15) {
                uint32_t extra = 0;
                if (run && !GetBits(run, &extra)) return false;
                eobRun_ = (1 << run) + static_cast<int>(extra) - 1;
                break;
            }
            k += 16;
        } else {
            k += run;
            int value = 0;
            if (!Receive(size, &value)) return false;
            // Stored as a 16-bit coefficient, which can wrap to zero; past
            // the block's end the decoder writes its last coefficient.
            const uint64_t bit = uint64_t(1) << std::min(k, 63);
            if (static_cast<int16_t>(value * (1 << succLow_)) != 0)
                block |= bit;
            else
                block &= ~bit;
            ++k;
        }
    } while (k <= specEnd_);
    return true;
}

// A refinement reads one correction bit for each coefficient that is not
// zero yet, so it needs the block's coefficients from the earlier scans.
bool Walk::AcRefine(const Component& c, uint64_t& block)
{
    if (!(block & kBlockSet)) return false;
    bool ignored = false;
    int k = specStart_;
    if (eobRun_) {
        --eobRun_;
        for (; k <= specEnd_; ++k)
            if ((block >> k & 1) && !GetBit(&ignored)) return false;
        return true;
    }
    do {
        int rs = 0;
        if (!Decode(ac_[c.acTable], &rs)) return false;
        int run = rs >> 4;
        bool newValue = false;  // a coefficient becomes plus or minus the refined bit
        if ((rs & 15) == 0) {
            if (run < 15) {
                uint32_t extra = 0;
                if (run && !GetBits(run, &extra)) return false;
                eobRun_ = (1 << run) - 1 + static_cast<int>(extra);
                run = 64;
            }
        } else {
            if ((rs & 15) != 1) return false;
            if (!GetBit(&ignored)) return false;
            newValue = true;
        }
        while (k <= specEnd_) {
            const uint64_t bit = uint64_t(1) << k++;
            if (block & bit) {
                // Corrections only move a coefficient away from zero.
                if (!GetBit(&ignored)) return false;
            } else {
                if (run == 0) {
                    if (newValue) block |= bit;
                    break;
                }
                --run;
            }
        }
    } while (k <= specEnd_);
    return true;
}

}  // namespace

bool JpegScanWalker::Accepts(const uint8_t* bytes, size_t length)
{
    if (!bytes) return true;
    return Walk(bytes, length).Run();
}
