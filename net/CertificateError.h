#pragma once
#include <cstdint>
#include <string>

// A WinINet error that refuses a server's certificate, as one log text:
// "12038 ERROR_INTERNET_SEC_CERT_CN_INVALID (…)". Empty for any other error.
std::string CertificateErrorText(uint32_t error);
