#pragma once

#include <string>

namespace postrider {

// What the TLS handshake found out about the server.
struct TlsPeer {
  std::string protocol;  // "TLSv1.3"
  std::string cipher;
  std::string subject;
  std::string issuer;
  std::string notAfter;
  std::string fingerprint;  // SHA-256, 64 upper-case hex digits
  bool pinned = false;      // accepted because it matched the pinned fingerprint
};

}  // namespace postrider
