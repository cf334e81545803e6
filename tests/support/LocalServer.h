#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The local test servers, for test programs declared with
// quorvex_test(... SERVERS): ctest starts them before the first such test
// (tools/test_servers.sh) and stops them after the last.
//
//   BaseUrl()   the build's QUORVEX_SERVER: configuration replies, reports,
//               the download page, and /_pkg/KEY/... (packages with faults
//               on request). Every request is recorded under a key.
//   NginxUrl()  nginx on port + 1, serving WwwDir() with real Range support.
//   TlsUrl()    the first server over TLS on port + 2, its certificate for
//               127.0.0.1 from a test CA the host trusts (scripts/bootstrap);
//   TlsOtherNameUrl()  the same on port + 3 with a certificate of that CA
//               for another name.
//
// Tests run two at a time, so each test works under its own key: use
// NewKey() as the agent id (site id) of its configuration replies and
// reports, and as the KEY of its package URLs. Modes and recorded requests
// belong to that key alone.
//
// Every string is UTF-8; paths are Windows paths (Z:\...).

struct RecordedRequest {
    int64_t id = 0;
    double time = 0;      // seconds since 1970, as the server saw it
    std::string method;   // "GET", "POST", "HEAD"
    std::string path;     // path and query, as sent
    std::string range;    // value of the Range header, "" when none
    std::string body;     // the request body
    std::string ifRange;  // value of the If-Range header, "" when none
};

// Fixture packages built with the tests: a tiny program that, when started,
// writes "<its path>.ran". Product version 2.5.17.3, file version 1.0.0.1,
// signed by kFixtureSigner of a throw-away test CA, except where the name
// says otherwise.
enum class Fixture {
    Signed,
    Unsigned,
    Tampered,     // signed, then one byte of its code changed
    Unversioned,  // no version resource, unsigned
    OtherSigner,  // signed by kOtherSigner, a second certificate of the same CA
    Large,        // signed, about 3 MiB
};

// The certificates' simple display names (tools/make_test_ca.sh). The build's
// fixture-ca\signer.sha1 holds kFixtureSigner's thumbprint.
inline constexpr char kFixtureSigner[] = "Quorvex Test Signer";
inline constexpr char kOtherSigner[] = "Quorvex Other Signer";

class LocalServer {
public:
    static std::string BaseUrl();
    static std::string NginxUrl();
    static std::string TlsUrl();
    static std::string TlsOtherNameUrl();
    // Whether the build has the TLS servers' certificates (made by scripts/bootstrap).
    static bool HasTlsCertificates();

    // A key of digits unique to the running test and process.
    static std::string NewKey();

    // Serve body for GET /get_download_device_xml.php?agent_id=agentId.
    // Without one the server answers a 404 page.
    static bool SetConfigReply(const std::string& agentId, const std::string& body);

    // Misbehave for requests under key: for the next `times` requests, or
    // until changed when times < 0. ms: length of a stall (0: the server's
    // default, 3000 for "stall", 1500 for "stall_mid").
    // Modes: "normal", "reset" (drop the connection without answering),
    // "hangup" (close it in order without answering), "stall" (half the
    // body, then silence), "close" (half the body, then close), "nolength"
    // (no Content-Length), "404", "500", "503" (error pages with their
    // length), "malformed" (broken XML), "empty";
    // for package URLs also "stall_mid" (half the range, silence, the rest),
    // "short" (half the range, then close), "norange" (200 with the whole
    // file), "extra" (more bytes than the range, its Content-Length saying
    // so), "trickle" (the whole reply to a Range request, headers too, one
    // byte a second), "short206" (a 206 of the first half of the range),
    // "portal" (every request gets a 200 text/html page of about 500 bytes
    // with its Content-Length), "portal_plain" (that page as text/plain),
    // "portal_nolength" (as text/html, no Content-Length), "farm" (requests
    // go in turn to two nodes serving the same bytes under an ETag and a
    // Last-Modified of their own). Package replies carry an ETag; an
    // If-Range that names another gets the whole file (200).
    static bool SetMode(const std::string& key, const std::string& mode, int times = -1, int ms = 0);

    // The requests recorded under key, oldest first.
    static std::vector<RecordedRequest> Requests(const std::string& key);

    // URL of WwwDir()\relPath through the local server's package mode.
    static std::string PackageUrl(const std::string& key, const std::string& relPath);
    // URL of WwwDir()\relPath on nginx.
    static std::string NginxFileUrl(const std::string& relPath);
    // A loopback URL on which nothing listens: connecting is refused.
    static std::string RefusedUrl();

    // The folder both servers serve.
    static std::string WwwDir();
    // Writes bytes to WwwDir()\relPath ('/' separated; folders are made) and
    // returns its Windows path. Use names under your key.
    static std::string PublishFile(const std::string& relPath, const std::string& bytes);

    // "fixtures/signed.exe" and so on, relative to WwwDir().
    static std::string FixtureRelPath(Fixture fixture);
    // The Windows path of a fixture in WwwDir(). Copy it before launching or
    // changing it: other tests use the same file.
    static std::string FixturePath(Fixture fixture);

    // Builds (once) a fixture package with other versions:
    // WwwDir()\fixtures\gen\<name>.exe. variant: "signed", "other-signer", "unsigned",
    // "tampered" or "unversioned"; padBytes: extra size. Returns the path
    // relative to WwwDir() ("fixtures/gen/<name>.exe"), or "" on failure.
    static std::string BuildPackage(const std::string& name, const std::string& productVersion,
                                    const std::string& fileVersion = "1.0.0.1", const std::string& variant = "signed",
                                    uint32_t padBytes = 0);

    // The build folder as a Windows path.
    static std::string BinaryDir();
};
