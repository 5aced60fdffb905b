#include "smtp/smtp_step.h"

namespace postrider {

std::string_view SmtpStepName(SmtpStep step) {
  switch (step) {
    case SmtpStep::None: return "nothing";
    case SmtpStep::Connect: return "the connection";
    case SmtpStep::TlsHandshake: return "the TLS handshake";
    case SmtpStep::Greeting: return "the greeting";
    case SmtpStep::Ehlo: return "EHLO";
    case SmtpStep::StartTls: return "STARTTLS";
    case SmtpStep::Auth: return "AUTH";
    case SmtpStep::Helo: return "HELO";
    case SmtpStep::Rset: return "RSET";
    case SmtpStep::Mail: return "MAIL FROM";
    case SmtpStep::Rcpt: return "RCPT TO";
    case SmtpStep::Data: return "DATA";
    case SmtpStep::Text: return "the message text";
    case SmtpStep::EndOfData: return "the end of the message";
    case SmtpStep::Quit: return "QUIT";
  }
  return "nothing";
}

}  // namespace postrider
