#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/socket_errors.h"
#include "smtp/tls_transport.h"
#include "support/test_certificates.h"

namespace postrider {
namespace {

using namespace std::chrono_literals;

// A TLS server in memory, as the stream below the client: what the
// client sends is fed to the server, what the server writes is what the
// client receives. A "full socket" takes only `room` bytes of a send and
// times out when the deadline has passed; a wait (a deadline still ahead)
// finds it drained and takes everything.
class MemoryServer final : public ISmtpTransport {
 public:
  MemoryServer(const testing::CertificateFiles& files, std::string& log, int version = TLS1_3_VERSION)
      : log_(log) {
    context_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_min_proto_version(context_, version);
    SSL_CTX_set_max_proto_version(context_, version);
    SSL_CTX_use_certificate_chain_file(context_, files.certificate.c_str());
    SSL_CTX_use_PrivateKey_file(context_, files.key.c_str(), SSL_FILETYPE_PEM);
    ssl_ = SSL_new(context_);
    toServer_ = BIO_new(BIO_s_mem());
    fromServer_ = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(toServer_, -1);
    BIO_set_mem_eof_return(fromServer_, -1);
    SSL_set_bio(ssl_, toServer_, fromServer_);
    SSL_set_accept_state(ssl_);
  }
  ~MemoryServer() override {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
  }

  int SendAll(std::string_view bytes, SocketDeadline deadline, bool) override {
    std::size_t take = bytes.size();
    if (full_ && deadline <= SocketClock::now()) take = std::min(take, room_);
    if (deadline > SocketClock::now()) full_ = false;
    if (take > 0) BIO_write(toServer_, bytes.data(), static_cast<int>(take));
    if (full_) room_ -= take;
    Serve();
    return take < bytes.size() ? kWsaEtimedout : 0;
  }
  int Receive(char* buffer, std::size_t capacity, std::size_t& received,
              SocketDeadline) override {
    Serve();
    const int got = BIO_read(fromServer_, buffer, static_cast<int>(capacity));
    received = got > 0 ? static_cast<std::size_t>(got) : 0;
    return got > 0 ? 0 : kWsaEtimedout;
  }
  void Close() override {}

  void FillSocket(std::size_t room) {
    full_ = true;
    room_ = room;
  }
  // Asks the client for new keys: a key update that asks for one back, or
  // under TLS 1.2 a new handshake, which the client begins while it reads.
  void AskForNewKeys() {
    if (SSL_version(ssl_) == TLS1_3_VERSION) {
      ASSERT_EQ(SSL_key_update(ssl_, SSL_KEY_UPDATE_REQUESTED), 1);
      ASSERT_EQ(SSL_do_handshake(ssl_), 1);
    } else {
      ASSERT_EQ(SSL_renegotiate(ssl_), 1);
      SSL_do_handshake(ssl_);  // sends the hello request; the answer comes later
      ERR_clear_error();
    }
  }
  void Write(const std::string& text) {
    ASSERT_EQ(SSL_write(ssl_, text.data(), static_cast<int>(text.size())),
              static_cast<int>(text.size()));
  }
  bool failed() const { return failed_; }

 private:
  // Reads all the client has sent: the handshake, then text for `log_`.
  void Serve() {
    if (failed_) return;
    if (!SSL_is_init_finished(ssl_)) {
      const int result = SSL_do_handshake(ssl_);
      if (result != 1 && SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ) failed_ = true;
      if (result != 1) return;
    }
    char text[4096];
    for (;;) {
      std::size_t got = 0;
      const int result = SSL_read_ex(ssl_, text, sizeof text, &got);
      if (result == 1) {
        log_.append(text, got);
        continue;
      }
      if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ) failed_ = true;
      ERR_clear_error();
      return;
    }
  }

  std::string& log_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO* toServer_ = nullptr;
  BIO* fromServer_ = nullptr;
  bool full_ = false;
  std::size_t room_ = 0;
  bool failed_ = false;
};

TlsOptions TrustingTheTestCa(testing::TestCertificates& certificates) {
  TlsOptions options;
  options.host = "127.0.0.1";
  options.trustFile = certificates.caFile();
  return options;
}

TEST(TlsTransportTest, WhatAReadAnswersDuringALookIntoAFullSocketIsKeptForTheNextWrite) {
  testing::TestCertificates certificates;
  // OpenSSL answers a TLS 1.3 key update with its next write, but begins a
  // TLS 1.2 server's new handshake inside the read. Nothing of the answer
  // fits, or only the start of its record.
  for (const int version : {TLS1_3_VERSION, TLS1_2_VERSION})
  for (const std::size_t room : {std::size_t{0}, std::size_t{3}}) {
    SCOPED_TRACE("version " + std::to_string(version) + ", room " + std::to_string(room));
    std::string heard;
    auto owned = std::make_unique<MemoryServer>(certificates.Good(), heard, version);
    MemoryServer& server = *owned;
    TlsTransport tls(std::move(owned));
    ASSERT_EQ(tls.Handshake(TrustingTheTestCa(certificates), SocketClock::now() + 30s), 0)
        << tls.errorText();
    ASSERT_EQ(tls.SendAll("EHLO a\r\n", SocketClock::now() + 30s, false), 0);
    ASSERT_EQ(heard, "EHLO a\r\n");

    // The server asks for new keys; the client's look that does not wait
    // answers it while its socket is full of the text it sent.
    server.AskForNewKeys();
    server.FillSocket(room);
    char buffer[256];
    std::size_t received = 0;
    EXPECT_EQ(tls.Receive(buffer, sizeof buffer, received, SocketClock::now()), kWsaEtimedout);
    EXPECT_EQ(received, 0u);

    // The next write carries the answer whole, then text under the new keys.
    EXPECT_EQ(tls.SendAll("QUIT\r\n", SocketClock::now() + 30s, false), 0);
    EXPECT_FALSE(server.failed());
    EXPECT_EQ(heard, "EHLO a\r\nQUIT\r\n");
    server.Write("221 bye\r\n");
    ASSERT_EQ(tls.Receive(buffer, sizeof buffer, received, SocketClock::now() + 30s), 0)
        << tls.errorText();
    EXPECT_EQ(std::string(buffer, received), "221 bye\r\n");
  }
}

TEST(TlsTransportTest, AfterASendCutShortNothingMoreGoesOnTheStream) {
  testing::TestCertificates certificates;
  std::string heard;
  auto owned = std::make_unique<MemoryServer>(certificates.Good(), heard);
  MemoryServer& server = *owned;
  TlsTransport tls(std::move(owned));
  ASSERT_EQ(tls.Handshake(TrustingTheTestCa(certificates), SocketClock::now() + 30s), 0)
      << tls.errorText();

  // A send whose deadline has run out leaves part of a record on the wire:
  // what followed it (more text, a close_notify) would be garbage.
  server.FillSocket(5);
  EXPECT_EQ(tls.SendAll("RSET\r\n", SocketClock::now(), false), kWsaEtimedout);
  EXPECT_NE(tls.SendAll("QUIT\r\n", SocketClock::now() + 30s, false), 0);
  tls.Close();
  EXPECT_FALSE(server.failed());
  EXPECT_EQ(heard, "");
}

}  // namespace
}  // namespace postrider
