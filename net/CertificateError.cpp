#include "net/CertificateError.h"

#include <windows.h>
#include <wininet.h>

namespace {

struct Known {
    DWORD error;
    const char* name;
    const char* meaning;
};

const Known kCertificateErrors[] = {
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "ERROR_INTERNET_SEC_CERT_DATE_INVALID",
     "the certificate has expired or is not yet valid"},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, "ERROR_INTERNET_SEC_CERT_CN_INVALID",
     "the certificate is for another host name"},
    {ERROR_INTERNET_INVALID_CA, "ERROR_INTERNET_INVALID_CA", "the certificate's issuer is not trusted"},
    {ERROR_INTERNET_SEC_CERT_ERRORS, "ERROR_INTERNET_SEC_CERT_ERRORS", "the certificate has errors"},
    {ERROR_INTERNET_SEC_CERT_NO_REV, "ERROR_INTERNET_SEC_CERT_NO_REV",
     "the certificate's revocation cannot be checked"},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, "ERROR_INTERNET_SEC_CERT_REV_FAILED",
     "the revocation check could not be completed"},
    {ERROR_INTERNET_SEC_CERT_REVOKED, "ERROR_INTERNET_SEC_CERT_REVOKED", "the certificate has been revoked"},
    {ERROR_INTERNET_SEC_INVALID_CERT, "ERROR_INTERNET_SEC_INVALID_CERT", "the certificate is invalid"},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "ERROR_INTERNET_SECURITY_CHANNEL_ERROR",
     "the secure channel could not be set up"},
};

}  // namespace

std::string CertificateErrorText(uint32_t error)
{
    for (const Known& known : kCertificateErrors) {
        if (known.error == error) return std::to_string(error) + " " + known.name + " (" + known.meaning + ")";
    }
    return {};
}
