#pragma once

#include <openssl/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace postrider {

// A SHA-256 fingerprint as the TLSFingerprint setting may give it: 64 hex
// digits in any case, with or without colons (blanks around ignored). The
// 64 digits in upper case, or nothing when the text is no such fingerprint.
std::optional<std::string> NormalizeFingerprint(std::string_view text);

// 64 hex digits as they are shown: "AB:CD:...".
std::string FormatFingerprint(std::string_view digits);

// The certificate's SHA-256 fingerprint as 64 upper-case hex digits.
std::string CertificateFingerprint(X509* certificate);

// One-line forms of the certificate's names and expiry, for showing.
std::string CertificateSubject(const X509* certificate);
std::string CertificateIssuer(const X509* certificate);
std::string CertificateNotAfter(const X509* certificate);

// Why a certificate check failed, in words the user can act on: expired,
// not yet valid, self-signed, issued for another name, unknown issuer, or
// OpenSSL's own words for anything rarer.
std::string DescribeVerifyError(long error, const X509* certificate, std::string_view host);

}  // namespace postrider
