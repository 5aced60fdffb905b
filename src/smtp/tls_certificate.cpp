#include "smtp/tls_certificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <memory>

#include "smtp/smtp_wording.h"

namespace postrider {
namespace {

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::string NameText(const X509_NAME* name) {
  if (name == nullptr) return "(none)";
  std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
  // RFC 2253 order and escaping, but UTF-8 shown as it is.
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  std::string text = BioText(bio.get());
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  return PrintableText(text);  // and the C1 controls a name may hold as UTF-8
}

// The names a certificate is issued for: its DNS and IP alternative names.
std::string AlternativeNames(const X509* certificate) {
  auto* names = static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  if (names == nullptr) return {};
  std::string text;
  for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    std::string one;
    if (name->type == GEN_DNS) {
      const ASN1_IA5STRING* dns = name->d.dNSName;
      one.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                 static_cast<std::size_t>(ASN1_STRING_length(dns)));
    } else if (name->type == GEN_IPADD) {
      const ASN1_OCTET_STRING* ip = name->d.iPAddress;
      const unsigned char* bytes = ASN1_STRING_get0_data(ip);
      if (ASN1_STRING_length(ip) == 4) {
        one = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
              std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
      } else {
        one = "(an IPv6 address)";
      }
    } else {
      continue;
    }
    for (char& c : one) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte >= 0x7f) c = '?';
    }
    if (!text.empty()) text += ", ";
    text += one;
  }
  GENERAL_NAMES_free(names);
  return text;
}

}  // namespace

std::optional<std::string> NormalizeFingerprint(std::string_view text) {
  std::string digits;
  for (const char c : text) {
    if (c == ':' || c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (digits.size() != 64) return std::nullopt;
  return digits;
}

std::string FormatFingerprint(std::string_view digits) {
  std::string shown;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    if (i > 0) shown += ':';
    shown += digits.substr(i, 2);
  }
  return shown;
}

std::string CertificateFingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest, &length) != 1) {
    return {};
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string CertificateSubject(const X509* certificate) {
  return NameText(X509_get_subject_name(certificate));
}

std::string CertificateIssuer(const X509* certificate) {
  return NameText(X509_get_issuer_name(certificate));
}

std::string CertificateNotAfter(const X509* certificate) {
  std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
  ASN1_TIME_print(bio.get(), X509_get0_notAfter(certificate));
  return BioText(bio.get());
}

std::string DescribeVerifyError(long error, const X509* certificate, std::string_view host) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "it has expired (valid until " + CertificateNotAfter(certificate) + ")";
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "it is not valid yet";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return "it is self-signed, and not in the trusted certificates";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return "its chain ends in a self-signed certificate that is not trusted";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: {
      std::string names = AlternativeNames(certificate);
      if (names.empty()) names = CertificateSubject(certificate);
      return "it is issued for another name (" + names + "), not " + std::string(host);
    }
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return "its issuer is unknown (" + CertificateIssuer(certificate) + ")";
    default:
      return X509_verify_cert_error_string(error);
  }
}

}  // namespace postrider
