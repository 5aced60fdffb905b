#pragma once

#include <openssl/types.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "smtp/smtp_transport.h"
#include "smtp/tls_peer.h"

namespace postrider {

// What the user chose to trust for one server.
struct TlsOptions {
  std::string host;         // the server's name as given: sent as SNI, and checked
  std::string trustFile;    // PEM of CA certificates or of the server's own; empty: the system's
  std::string fingerprint;  // 64 hex digits: then only that certificate is accepted
  bool fromFirstByte = true;  // implicit TLS, where a plain-text answer means the wrong setting
  // Hides a log-in in the server's words shown (cutShort: the text is the
  // start of something longer); none: shown as they are.
  std::function<std::string(std::string_view text, bool cutShort)> hide;
};

// TLS 1.2 or later over another transport. OpenSSL works on two memory
// buffers and every byte goes through the stream below, so the handshake
// waits, times out and is cancelled exactly as any other wait does.
class TlsTransport final : public ISmtpTransport {
 public:
  explicit TlsTransport(std::unique_ptr<ISmtpTransport> lower);
  ~TlsTransport() override;
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  // 0 once the connection is encrypted and the certificate trusted: valid for
  // the host (or the one pinned), not expired, from a trusted issuer. Else an
  // error of the stream below, kSmtpTlsFailed or kSmtpCertificateRejected,
  // with errorText() saying why; nothing but the handshake has been sent.
  int Handshake(const TlsOptions& options, SocketDeadline deadline);
  const TlsPeer& peer() const { return peer_; }

  int SendAll(std::string_view bytes, SocketDeadline deadline, bool moreFollows) override;
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline deadline) override;
  void Close() override;
  bool isEncrypted() const override { return established_; }
  bool hasBufferedBytes() const override;
  std::string errorText() const override { return errorText_; }

 private:
  static int VerifyCallback(int preverified, X509_STORE_CTX* store);

  int Setup(const TlsOptions& options);
  int CheckPeer(const TlsOptions& options);
  int WritePlain(std::string_view data, SocketDeadline deadline, bool moreFollows);
  int Flush(SocketDeadline deadline, bool moreFollows);
  int ReadMore(SocketDeadline deadline);
  // After SSL_ERROR_WANT_READ or _WANT_WRITE: sends what TLS has written and,
  // when it wants to read, waits for the server's next bytes.
  int MoveRecords(int reason, SocketDeadline deadline);
  int Failure(int error, std::string text);
  std::string LibraryReason() const;
  void Release();

  std::unique_ptr<ISmtpTransport> lower_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO* incoming_ = nullptr;  // owned by ssl_
  BIO* outgoing_ = nullptr;  // owned by ssl_
  bool established_ = false;
  bool broken_ = false;  // after a fatal error no close_notify may be sent
  std::string host_;
  long verifyError_ = 0;
  std::string verifyReason_;
  std::string firstBytes_;  // the server's first bytes, to tell plain text from TLS
  std::string pending_;     // text held back to share a record with what follows
  std::array<char, 17 * 1024> network_{};
  TlsPeer peer_;
  std::string errorText_;
};

}  // namespace postrider
