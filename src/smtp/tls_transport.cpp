#include "smtp/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <utility>

#include "platform/socket_errors.h"
#include "smtp/smtp_error_numbers.h"
#include "smtp/tls_certificate.h"

namespace postrider {
namespace {

// Plain text held back for one record at most; then it goes.
constexpr std::size_t kMaxPending = 16 * 1024;

bool IsIpAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// Whether the server's first bytes read as an SMTP greeting rather than TLS.
bool LooksLikePlainText(const std::string& bytes) {
  return bytes.size() >= 3 && bytes[0] >= '1' && bytes[0] <= '5' && bytes[1] >= '0' &&
         bytes[1] <= '9' && bytes[2] >= '0' && bytes[2] <= '9';
}

// The start of the server's first line, with the log-in hidden in the whole
// of what came of it before it is cut: a server may quote one.
std::string PrintableStart(const std::string& bytes, const TlsOptions& options) {
  const std::size_t lineEnd = bytes.find_first_of("\r\n");
  const std::string_view line = std::string_view(bytes).substr(0, lineEnd);
  const std::string hidden =
      options.hide ? options.hide(line, lineEnd == std::string::npos) : std::string(line);
  std::string shown;
  for (const char c : hidden) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte >= 0x20 && byte < 0x7f ? c : '?';
    if (shown.size() >= 60) break;
  }
  return shown;
}

}  // namespace

TlsTransport::TlsTransport(std::unique_ptr<ISmtpTransport> lower) : lower_(std::move(lower)) {}

TlsTransport::~TlsTransport() { Close(); }

void TlsTransport::Release() {
  if (ssl_ != nullptr) SSL_free(ssl_);  // frees both memory buffers too
  if (context_ != nullptr) SSL_CTX_free(context_);
  ssl_ = nullptr;
  context_ = nullptr;
  incoming_ = outgoing_ = nullptr;
  established_ = false;
}

int TlsTransport::Failure(int error, std::string text) {
  broken_ = true;
  errorText_ = std::move(text);
  return error;
}

std::string TlsTransport::LibraryReason() const {
  const unsigned long error = ERR_peek_last_error();
  if (error == 0) return "no reason given";
  const char* reason = ERR_reason_error_string(error);
  return reason != nullptr ? reason : "error " + std::to_string(error);
}

int TlsTransport::VerifyCallback(int preverified, X509_STORE_CTX* store) {
  auto* ssl = static_cast<SSL*>(
      X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* self = static_cast<TlsTransport*>(SSL_get_app_data(ssl));
  if (preverified == 0 && self != nullptr && self->verifyError_ == X509_V_OK) {
    self->verifyError_ = X509_STORE_CTX_get_error(store);
    self->verifyReason_ = DescribeVerifyError(
        self->verifyError_, X509_STORE_CTX_get_current_cert(store), self->host_);
  }
  // The handshake goes on so that a pinned certificate can be accepted and
  // the user told what was found; CheckPeer decides before anything is sent.
  return 1;
}

int TlsTransport::Setup(const TlsOptions& options) {
  Release();
  broken_ = false;
  host_ = options.host;
  verifyError_ = X509_V_OK;
  verifyReason_.clear();
  firstBytes_.clear();
  errorText_.clear();
  peer_ = {};
  ERR_clear_error();

  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) return Failure(kSmtpTlsFailed, "TLS could not start: " + LibraryReason());
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  if (!options.trustFile.empty()) {
    if (SSL_CTX_load_verify_locations(context_, options.trustFile.c_str(), nullptr) != 1) {
      return Failure(kSmtpTlsFailed, "The TLSTrustFile " + options.trustFile +
                                         " gives no certificate to trust (" + LibraryReason() +
                                         ").");
    }
    // The file may hold the server's own certificate rather than a CA's.
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context_), X509_V_FLAG_PARTIAL_CHAIN);
  } else if (SSL_CTX_set_default_verify_paths(context_) != 1) {
    return Failure(kSmtpTlsFailed, "The system's trusted certificates could not be read: " +
                                       LibraryReason());
  }
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, &TlsTransport::VerifyCallback);

  ssl_ = SSL_new(context_);
  incoming_ = BIO_new(BIO_s_mem());
  outgoing_ = BIO_new(BIO_s_mem());
  if (ssl_ == nullptr || incoming_ == nullptr || outgoing_ == nullptr) {
    if (incoming_ != nullptr && ssl_ == nullptr) BIO_free(incoming_);
    if (outgoing_ != nullptr && ssl_ == nullptr) BIO_free(outgoing_);
    incoming_ = outgoing_ = nullptr;
    return Failure(kSmtpTlsFailed, "TLS could not start: " + LibraryReason());
  }
  BIO_set_mem_eof_return(incoming_, -1);  // empty means "wait for more", not the end
  SSL_set_bio(ssl_, incoming_, outgoing_);
  SSL_set_connect_state(ssl_);
  SSL_set_app_data(ssl_, this);
  if (IsIpAddress(host_)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host_.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl_, host_.c_str());
    SSL_set1_host(ssl_, host_.c_str());
  }
  return 0;
}

int TlsTransport::Handshake(const TlsOptions& options, SocketDeadline deadline) {
  if (const int error = Setup(options)) return error;
  for (;;) {
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    const int reason = SSL_get_error(ssl_, result);
    // Whatever OpenSSL wrote goes out first: a hello, a finish, or an alert.
    if (const int error = Flush(deadline, false)) {
      broken_ = true;
      return error;
    }
    if (result == 1) break;
    if (reason == SSL_ERROR_WANT_READ) {
      if (const int error = ReadMore(deadline)) {
        broken_ = true;
        return error;
      }
      continue;
    }
    if (reason == SSL_ERROR_WANT_WRITE) continue;
    std::string text = "The TLS handshake failed: " + LibraryReason() + ".";
    if (options.fromFirstByte && LooksLikePlainText(firstBytes_)) {
      text += "\nThe server answered in plain text (\"" + PrintableStart(firstBytes_, options) +
              "\"), not TLS: it may want Security=starttls (or none) on this port.";
    }
    return Failure(kSmtpTlsFailed, text);
  }
  return CheckPeer(options);
}

int TlsTransport::CheckPeer(const TlsOptions& options) {
  X509* certificate = SSL_get0_peer_certificate(ssl_);
  if (certificate == nullptr) {
    return Failure(kSmtpCertificateRejected, "The server sent no certificate.");
  }
  peer_.protocol = SSL_get_version(ssl_);
  peer_.cipher = SSL_get_cipher_name(ssl_);
  peer_.subject = CertificateSubject(certificate);
  peer_.issuer = CertificateIssuer(certificate);
  peer_.notAfter = CertificateNotAfter(certificate);
  peer_.fingerprint = CertificateFingerprint(certificate);
  const std::string details = "Subject: " + peer_.subject + "\nIssuer: " + peer_.issuer +
                              "\nSHA-256 fingerprint: " + FormatFingerprint(peer_.fingerprint);

  if (!options.fingerprint.empty()) {
    if (peer_.fingerprint != options.fingerprint) {
      return Failure(kSmtpCertificateRejected,
                     "The server's certificate is not the one TLSFingerprint names.\n" + details);
    }
    peer_.pinned = true;
  } else if (verifyError_ != X509_V_OK) {
    return Failure(kSmtpCertificateRejected,
                   "The server's certificate is not trusted: " + verifyReason_ + ".\n" + details +
                       "\nFor a private server you trust, set TLSTrustFile to its certificate or "
                       "its CA's, or TLSFingerprint to the fingerprint above once you have "
                       "checked it with the server's administrator.");
  }
  established_ = true;
  return 0;
}

int TlsTransport::Flush(SocketDeadline deadline, bool moreFollows) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(outgoing_, &data);
  if (length <= 0) return 0;
  const int error =
      lower_->SendAll(std::string_view(data, static_cast<std::size_t>(length)), deadline,
                      moreFollows);
  (void)BIO_reset(outgoing_);
  // Part of a record may have gone: anything after it would be garbage.
  if (error != 0) broken_ = true;
  return error;
}

int TlsTransport::ReadMore(SocketDeadline deadline) {
  std::size_t received = 0;
  if (const int error = lower_->Receive(network_.data(), network_.size(), received, deadline)) {
    return error;
  }
  if (firstBytes_.size() < 64) {
    firstBytes_.append(network_.data(), std::min(received, 64 - firstBytes_.size()));
  }
  if (BIO_write(incoming_, network_.data(), static_cast<int>(received)) != static_cast<int>(received)) {
    return Failure(kSmtpTlsFailed, "TLS ran out of memory.");
  }
  return 0;
}

int TlsTransport::MoveRecords(int reason, SocketDeadline deadline) {
  // A deadline already passed is a look that must not wait: a full socket
  // would take part of what TLS wrote (a key update's answer) and time out,
  // and the rest would be lost. It stays queued, in order, for the next write.
  if (deadline > SocketClock::now()) {
    if (const int error = Flush(deadline, false)) return error;
  }
  return reason == SSL_ERROR_WANT_READ ? ReadMore(deadline) : 0;
}

int TlsTransport::WritePlain(std::string_view data, SocketDeadline deadline, bool moreFollows) {
  while (!data.empty()) {
    ERR_clear_error();
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl_, data.data(), data.size(), &written);
    if (result == 1) {
      data.remove_prefix(written);
      continue;
    }
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
      if (const int error = MoveRecords(reason, deadline)) return error;
      continue;
    }
    return Failure(kSmtpTlsFailed, "The TLS connection failed: " + LibraryReason() + ".");
  }
  return Flush(deadline, moreFollows);
}

int TlsTransport::SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) {
  if (!established_ || broken_) return kWsaEnotconn;
  if (moreFollows && pending_.size() + bytes.size() <= kMaxPending) {
    pending_.append(bytes);
    return 0;
  }
  if (pending_.empty()) return WritePlain(bytes, deadline, moreFollows);
  pending_.append(bytes);
  const int error = WritePlain(pending_, deadline, moreFollows);
  pending_.clear();
  return error;
}

int TlsTransport::Receive(char* buffer, std::size_t capacity, std::size_t& received,
                          SocketDeadline deadline) {
  received = 0;
  if (!established_ || broken_) return kWsaEnotconn;
  if (!pending_.empty()) {
    const int error = WritePlain(pending_, deadline, false);
    pending_.clear();
    if (error != 0) return error;
  }
  for (;;) {
    ERR_clear_error();
    const int result = SSL_read_ex(ssl_, buffer, capacity, &received);
    if (result == 1) return 0;
    received = 0;
    const int reason = SSL_get_error(ssl_, result);
    if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
      // A key update or ticket may want an answer before more can be read.
      if (const int error = MoveRecords(reason, deadline)) return error;
      continue;
    }
    if (reason == SSL_ERROR_ZERO_RETURN) return kWsaEdiscon;  // the server's close_notify
    return Failure(kSmtpTlsFailed, "The TLS connection failed: " + LibraryReason() + ".");
  }
}

bool TlsTransport::hasBufferedBytes() const {
  if (!established_ || broken_) return false;
  return SSL_pending(ssl_) > 0 || BIO_ctrl_pending(incoming_) > 0;
}

void TlsTransport::Close() {
  if (ssl_ != nullptr && established_ && !broken_) {
    pending_.clear();
    ERR_clear_error();
    SSL_shutdown(ssl_);  // queues close_notify; the reply is not waited for
    Flush(SocketClock::now(), false);
  }
  Release();
  if (lower_) lower_->Close();
}

}  // namespace postrider
