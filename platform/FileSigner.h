#pragma once
#include <string>

// The certificate that signed a file's embedded Authenticode signature.
struct FileSigner {
    std::string name;        // simple display name, UTF-8
    std::string thumbprint;  // SHA-1 of the certificate, 40 upper-case hexadecimal digits
};

// False when the file has no readable embedded signature.
[[nodiscard]] bool GetFileSigner(const std::string& path, FileSigner* signer);

// True when publisher is empty, or when the file's embedded signature was made
// with the certificate it names: a 40-digit SHA-1 thumbprint (either case), or
// else the certificate's simple display name, exactly. Says nothing about
// whether the signature is valid: that is IsFileTrusted's part.
[[nodiscard]] bool IsSignedBy(const std::string& path, const std::string& publisher);
