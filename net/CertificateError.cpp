#include "net/CertificateError.h"

#include <windows.h>
#include <wininet.h>

namespace {

struct Known {
    DWORD error;
    const char* name;
    const char* meaning;
};

// Each error with its name, as WinINet's headers spell it.
#define KNOWN(error, meaning)                                                                                          \
    {                                                                                                                  \
        error, #error, meaning                                                                                         \
    }
const Known kCertificateErrors[] = {
    KNOWN(ERROR_INTERNET_SEC_CERT_DATE_INVALID, "the certificate has expired or is not yet valid"),
    KNOWN(ERROR_INTERNET_SEC_CERT_CN_INVALID, "the certificate is for another host name"),
    KNOWN(ERROR_INTERNET_INVALID_CA, "the certificate's issuer is not trusted"),
    KNOWN(ERROR_INTERNET_SEC_CERT_ERRORS, "the certificate has errors"),
    KNOWN(ERROR_INTERNET_SEC_CERT_NO_REV, "the certificate's revocation cannot be checked"),
    KNOWN(ERROR_INTERNET_SEC_CERT_REV_FAILED, "the revocation check could not be completed"),
    KNOWN(ERROR_INTERNET_SEC_CERT_REVOKED, "the certificate has been revoked"),
    KNOWN(ERROR_INTERNET_SEC_INVALID_CERT, "the certificate is invalid"),
    KNOWN(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the secure channel could not be set up"),
};
#undef KNOWN

}  // namespace

std::string CertificateErrorText(uint32_t error)
{
    for (const Known& known : kCertificateErrors) {
        if (known.error == error) return std::to_string(error) + " " + known.name + " (" + known.meaning + ")";
    }
    return {};
}
