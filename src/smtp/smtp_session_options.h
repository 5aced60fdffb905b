#pragma once

#include <string>

#include "platform/secret.h"
#include "smtp/smtp_security.h"

namespace postrider {

// How to reach and log in to the server, beyond its name.
struct SmtpSessionOptions {
  SmtpSecurity security = SmtpSecurity::None;
  std::string heloName;         // empty: this host's full name, else the address literal
  std::string userName;         // empty: no AUTH
  const Secret* password = nullptr;  // needed with a user name; not kept after Connect
  bool allowPlainAuth = false;  // the password may cross a connection without TLS
  std::string trustFile;        // PEM file of CA certificates, or of the server's own
  std::string fingerprint;      // SHA-256 of the one certificate to accept, 64 hex digits
};

}  // namespace postrider
