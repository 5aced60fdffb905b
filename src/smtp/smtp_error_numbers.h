#pragma once

namespace postrider {

// The numbers the user is shown ("Sending 3 of 9 - Error 12003", the send
// log's Status=) for failures that have no WinSock number. The transports
// and the reply reader return the first three as they return socket errors.

// The server's replies broke the SMTP protocol (malformed, too long, too many
// lines, or a code that makes no sense).
constexpr int kSmtpProtocolError = 12001;
constexpr int kSmtpTlsFailed = 12002;            // handshake or encrypted stream failed
constexpr int kSmtpCertificateRejected = 12003;  // the server's certificate was not trusted
constexpr int kSmtpTlsNotOffered = 12004;        // STARTTLS asked for, and not offered
constexpr int kSmtpAuthNotPossible = 12005;      // no usable AUTH, or not without TLS
constexpr int kSmtpMessageTooLarge = 12006;      // larger than the server's SIZE
constexpr int kSmtpHandOverStopped = 12007;      // held back before its end of data

// An address that could smuggle SMTP commands, or is too long: nothing was sent.
constexpr int kSmtpUnsafeAddress = -2;
// An address this server cannot take: a domain with no ASCII form, or a
// non-ASCII local part when the server does not offer SMTPUTF8.
constexpr int kSmtpUnsendableAddress = -3;
// A Pause cut a wait before the message short: nothing of it went.
constexpr int kSmtpHalted = -20;

}  // namespace postrider
