#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace postrider::testing {

// A certificate and its private key, as PEM files.
struct CertificateFiles {
  std::string certificate;
  std::string key;
  std::string fingerprint;  // SHA-256, 64 upper-case hex digits
};

// Certificates made for one test with OpenSSL, in a folder of their own: a
// CA the test trusts, and server certificates good and bad.
class TestCertificates {
 public:
  TestCertificates();

  // The trusted CA's certificate: what TLSTrustFile names.
  const std::string& caFile() const { return ca_.certificate; }

  // For 127.0.0.1, ::1 and localhost, from the trusted CA.
  CertificateFiles Good();
  // For mail.example.org only, from the trusted CA.
  CertificateFiles WrongName();
  // For the right names from the trusted CA, but its time ended yesterday.
  CertificateFiles Expired();
  // For the right names, signed by its own key.
  CertificateFiles SelfSigned();
  // For the right names, from a CA nobody trusts.
  CertificateFiles UnknownIssuer();

 private:
  CertificateFiles Make(const std::string& name, const std::vector<std::string>& altNames,
                        long validFromDays, long validToDays, const CertificateFiles* issuer,
                        bool isCa);

  TempDir folder_;
  CertificateFiles ca_;
  CertificateFiles otherCa_;
  long serial_ = 1;
};

}  // namespace postrider::testing
