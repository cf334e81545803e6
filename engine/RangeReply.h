#pragma once
#include <cstdint>
#include <string>

// Whether the reply to a range request carries bytes of the file asked for,
// and which. A 206 must name the request's first byte as its first, the
// file's size as its complete length, and, when it gives a Content-Length,
// the length of its Content-Range; it may end before the request does, and
// its bytes then count up to its last. A 200 (the whole file) is usable only
// for a request that starts at 0, only with a Content-Length of the file's
// size, and never when it is an HTML page (a captive portal's sign-in page
// says nothing of the package). A validator (ETag, Last-Modified) that no
// reply of this download's bytes has given proves nothing by itself: behind
// a load balancer every node may give the same bytes validators of its own.
// Such a reply, usable but for its validator, is `Unproven` until bytes it
// serves are compared with bytes on disk.
class RangeReply {
public:
    static constexpr int64_t kUnknown = -1;

    // What identifies one version of the file (either may be empty).
    struct Validator {
        std::string etag;
        std::string lastModified;
        bool operator==(const Validator& o) const { return etag == o.etag && lastModified == o.lastModified; }
    };

    struct Reply {
        uint32_t status = 0;
        std::string contentRange;  // empty when absent
        int64_t contentLength = kUnknown;
        Validator validator;
        std::string contentType;  // empty when absent
    };

    enum class Verdict {
        Use,       // write its bytes up to `usableLast`
        Refuse,    // not the bytes asked for
        Unproven,  // of the file's size, with a validator not known to serve its bytes
    };

    // The reply to a request for first..last (inclusive) of a file of
    // totalSize bytes. known: whether its validator is one shown to serve
    // this download's bytes. A whole-file 200 of the right length with an
    // unknown validator is Unproven from any first byte: it is what a node
    // whose validator differs answers to If-Range. usableLast: the last byte
    // to read, at most last.
    [[nodiscard]] static Verdict Check(const Reply& reply, int64_t first, int64_t last, int64_t totalSize, bool known,
                                       int64_t& usableLast);

    // Whether nothing in the two tells them apart: values of the same kind
    // are compared, ETags first; an empty one matches anything.
    static bool SameVersion(const Validator& a, const Validator& b);

    // The validator a reply gives: its header values, each dropped when it
    // could not be sent back as it is (empty, or not printable ASCII).
    static Validator Received(const std::string& etag, const std::string& lastModified);
    // What an If-Range header sends for `kept`: its ETag unless weak (a
    // server compares only strong ones), else its Last-Modified; empty for none.
    static std::string IfRange(const Validator& kept);
};
