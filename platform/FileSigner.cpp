#include "platform/FileSigner.h"

#include <windows.h>
#include <wincrypt.h>

#include <cctype>
#include <vector>

#include "platform/TextConvert.h"

namespace {

// The store and message of a file's embedded signature, released together.
class EmbeddedSignature {
public:
    explicit EmbeddedSignature(const std::wstring& path)
    {
        CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                         CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding_, nullptr, nullptr, &store_, &message_, nullptr);
    }
    ~EmbeddedSignature()
    {
        if (message_) CryptMsgClose(message_);
        if (store_) CertCloseStore(store_, 0);
    }
    EmbeddedSignature(const EmbeddedSignature&) = delete;
    EmbeddedSignature& operator=(const EmbeddedSignature&) = delete;

    // The first signer's certificate, or null; the caller frees it.
    PCCERT_CONTEXT SignerCertificate() const
    {
        if (!store_ || !message_) return nullptr;
        DWORD size = 0;
        if (!CryptMsgGetParam(message_, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size < sizeof(CMSG_SIGNER_INFO))
            return nullptr;
        std::vector<BYTE> buffer(size);
        if (!CryptMsgGetParam(message_, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) return nullptr;
        const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
        CERT_INFO wanted = {};
        wanted.Issuer = info->Issuer;
        wanted.SerialNumber = info->SerialNumber;
        return CertFindCertificateInStore(store_, encoding_, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    }

private:
    DWORD encoding_ = 0;
    HCERTSTORE store_ = nullptr;
    HCRYPTMSG message_ = nullptr;
};

bool IsThumbprint(const std::string& text)
{
    if (text.size() != 40) return false;
    for (unsigned char c : text) {
        if (!std::isxdigit(c)) return false;
    }
    return true;
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool GetFileSigner(const std::string& path, FileSigner* signer)
{
    const std::wstring widePath = Utf8ToWide(path);
    if (widePath.empty() || !signer) return false;
    EmbeddedSignature signature(widePath);
    PCCERT_CONTEXT certificate = signature.SignerCertificate();
    if (!certificate) return false;

    wchar_t name[512] = {};
    CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
    // Hashed here rather than read as a property, which Wine does not fill for every hash.
    BYTE hash[20] = {};
    DWORD hashSize = sizeof(hash);
    bool hashed = CryptHashCertificate(0, CALG_SHA1, 0, certificate->pbCertEncoded, certificate->cbCertEncoded, hash,
                                       &hashSize) &&
                  hashSize == sizeof(hash);
    CertFreeCertificateContext(certificate);
    if (!hashed) return false;

    static const char kDigits[] = "0123456789ABCDEF";
    signer->thumbprint.clear();
    for (BYTE b : hash) {
        signer->thumbprint += kDigits[b >> 4];
        signer->thumbprint += kDigits[b & 15];
    }
    signer->name = WideToUtf8(name);
    return true;
}

bool IsSignedBy(const std::string& path, const std::string& publisher)
{
    if (publisher.empty()) return true;
    FileSigner signer;
    if (!GetFileSigner(path, &signer)) return false;
    if (IsThumbprint(publisher)) return Upper(publisher) == signer.thumbprint;
    return !signer.name.empty() && publisher == signer.name;
}
