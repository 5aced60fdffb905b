#include "support/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "smtp/tls_certificate.h"

namespace postrider::testing {
namespace {

const std::vector<std::string> kLoopbackNames = {"DNS:localhost", "IP:127.0.0.1", "IP:::1"};

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using Certificate = std::unique_ptr<X509, CertificateDeleter>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("making a test certificate: ") + what);
}

Key ReadKey(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  Check(file != nullptr, "open key");
  Key key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
  std::fclose(file);
  Check(key != nullptr, "read key");
  return key;
}

Certificate ReadCertificate(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  Check(file != nullptr, "open certificate");
  Certificate certificate(PEM_read_X509(file, nullptr, nullptr, nullptr));
  std::fclose(file);
  Check(certificate != nullptr, "read certificate");
  return certificate;
}

void AddExtension(X509* certificate, X509V3_CTX& context, int nid, const std::string& value) {
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  Check(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

}  // namespace

TestCertificates::TestCertificates() {
  ca_ = Make("Postrider Test CA", {}, -1, 30, nullptr, true);
  otherCa_ = Make("Somebody Else's CA", {}, -1, 30, nullptr, true);
}

CertificateFiles TestCertificates::Good() { return Make("localhost", kLoopbackNames, -1, 30, &ca_, false); }

CertificateFiles TestCertificates::WrongName() {
  return Make("mail.example.org", {"DNS:mail.example.org"}, -1, 30, &ca_, false);
}

CertificateFiles TestCertificates::Expired() {
  return Make("localhost", kLoopbackNames, -30, -1, &ca_, false);
}

CertificateFiles TestCertificates::SelfSigned() {
  return Make("localhost", kLoopbackNames, -1, 30, nullptr, false);
}

CertificateFiles TestCertificates::UnknownIssuer() {
  return Make("localhost", kLoopbackNames, -1, 30, &otherCa_, false);
}

CertificateFiles TestCertificates::Make(const std::string& name,
                                        const std::vector<std::string>& altNames,
                                        long validFromDays, long validToDays,
                                        const CertificateFiles* issuer, bool isCa) {
  const long serial = serial_++;
  Key key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "key");
  Certificate certificate(X509_new());
  X509* cert = certificate.get();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), validFromDays * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert), validToDays * 86400);
  X509_set_pubkey(cert, key.get());
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);

  Certificate issuerCertificate;
  Key issuerKey;
  if (issuer != nullptr) {
    issuerCertificate = ReadCertificate(issuer->certificate);
    issuerKey = ReadKey(issuer->key);
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCertificate.get()));
  } else {
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
  }
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer != nullptr ? issuerCertificate.get() : cert, cert, nullptr,
                 nullptr, 0);
  AddExtension(cert, context, NID_basic_constraints, isCa ? "critical,CA:TRUE" : "CA:FALSE");
  AddExtension(cert, context, NID_key_usage,
               isCa ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
  AddExtension(cert, context, NID_subject_key_identifier, "hash");
  if (issuer != nullptr) AddExtension(cert, context, NID_authority_key_identifier, "keyid:always");
  if (!isCa) AddExtension(cert, context, NID_ext_key_usage, "serverAuth");
  if (!altNames.empty()) {
    std::string names;
    for (const std::string& altName : altNames) names += (names.empty() ? "" : ",") + altName;
    AddExtension(cert, context, NID_subject_alt_name, names);
  }
  Check(X509_sign(cert, issuer != nullptr ? issuerKey.get() : key.get(), EVP_sha256()) > 0,
        "sign");

  CertificateFiles files;
  files.certificate = folder_.File("certificate-" + std::to_string(serial) + ".pem");
  files.key = folder_.File("key-" + std::to_string(serial) + ".pem");
  FILE* out = std::fopen(files.certificate.c_str(), "w");
  Check(out != nullptr && PEM_write_X509(out, cert) == 1, "write certificate");
  std::fclose(out);
  out = std::fopen(files.key.c_str(), "w");
  Check(out != nullptr &&
            PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "write key");
  std::fclose(out);
  files.fingerprint = CertificateFingerprint(cert);
  return files;
}

}  // namespace postrider::testing
