#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace postrider::testing {

// What the scripted server does besides taking mail. Commands are named as
// sent ("HELO", "MAIL", "RCPT", "DATA", "RSET", "QUIT"); "." is the end of
// the data.
struct ServerScript {
  // The greeting's lines, e.g. {"220-first", "220 second"}; empty: "220 ...".
  std::vector<std::string> greeting;
  // Answer every single-line reply with a three-line one instead.
  bool multilineReplies = false;
  // {"RCPT:bad@", "550 5.1.1 No such user"}: answer a command whose argument
  // holds the text after ':' (or any such command) with this reply instead
  // of handling it. Lines of a multi-line reply are separated by '|';
  // replies written apart (over TLS, a record each) that arrive together by
  // '||'; "{argument}" in a reply is the command's argument as it came.
  // A 421 reply is followed by closing the connection.
  std::vector<std::pair<std::string, std::string>> replies;
  // Like replies, but each rule answers only the first command it matches;
  // "MAIL#2" matches only the second MAIL the server is given. "GREETING"
  // stands for a new connection's greeting: {"GREETING#2", "421 4.7.0 Too
  // many connections"} refuses the second connection.
  std::vector<std::pair<std::string, std::string>> firstReplies;
  // Close the connection right after a reply from replies or firstReplies
  // to these commands (not "."), e.g. after a 354 to DATA.
  std::vector<std::string> dropAfterReply;
  // Close the connection, without a reply, on these commands.
  std::vector<std::string> dropOn;
  // {".", 30.0}: wait so many seconds before answering the command.
  std::vector<std::pair<std::string, double>> delays;
  // Where to listen: "127.0.0.1" or "::1".
  std::string host = "127.0.0.1";

  // A certificate and its key (PEM files): STARTTLS is offered with them,
  // or, with implicitTls, TLS is spoken from the first byte.
  std::string tlsCertificate;
  std::string tlsKey;
  bool implicitTls = false;
  bool requireStartTls = false;  // "530 Must issue a STARTTLS command first"
  // Offer AUTH PLAIN and LOGIN for this one user.
  std::string authUser;
  std::string authPassword;
  bool authRequired = false;  // refuse MAIL before AUTH
  bool authWithoutTls = false;
  std::vector<std::string> authExclude;  // mechanisms not to offer
  // Take XOAUTH2 and OAUTHBEARER, each token checked at this introspection
  // endpoint (OAuthTestServer::introspectUrl), certified by oauthCaFile.
  std::string oauthIntrospectUrl;
  std::string oauthCaFile;
  std::string oauthScope;  // the scope a token must hold
  bool smtpUtf8 = false;
  bool pipelining = false;  // offer PIPELINING
  // Answer DATA with 354 even when no recipient was taken (RFC 2920 3.1).
  bool dataWithoutRecipients = false;
  int sizeLimit = -1;  // the SIZE offered; 0 for none, -1 for aiosmtpd's own (32 MiB)
  // Refuse every RCPT when the EHLO or HELO name has no dot and is no
  // address literal, as Postfix's reject_non_fqdn_helo_hostname does.
  bool requireFqdnHelo = false;
};

// A small SMTP server of the tests' own (aiosmtpd, run with /usr/bin/python3)
// that records exactly what arrives: each command line, and each message's
// bytes as received after the dots are undone.
class ScriptedSmtpServer {
 public:
  explicit ScriptedSmtpServer(const ServerScript& script = {});

  int port() const { return port_; }
  // "127.0.0.1:PORT" or "[::1]:PORT".
  std::string address() const;
  // The command lines received so far, in order, without line ends; the end
  // of each message's data shows as ".", AUTH without its argument, and a
  // successful log-in as "AUTHENTICATED user".
  std::vector<std::string> Commands() const;
  int MessageCount() const;
  // Waits, within half a minute, until the server holds `count` messages.
  void WaitForMessages(int count) const;
  // How many messages each recipient got, by the RCPT TO that went before them.
  std::map<std::string, int> MessagesPerRecipient() const;
  // The bytes of the n-th message received (from 1).
  std::string Message(int n) const;
  void Stop() { process_->Stop(); }

 private:
  TempDir folder_;
  std::string host_;
  int port_;
  std::unique_ptr<ServerProcess> process_;
};

}  // namespace postrider::testing
