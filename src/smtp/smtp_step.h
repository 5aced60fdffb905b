#pragma once

#include <string_view>

namespace postrider {

// The steps of a connection and of a mail transaction, in the order they come.
enum class SmtpStep {
  None, Connect, TlsHandshake, Greeting, Ehlo, StartTls, Auth,
  Helo, Rset, Mail, Rcpt, Data, Text, EndOfData, Quit
};

// What a step is called when the user is told about it: "RCPT TO", "the greeting".
std::string_view SmtpStepName(SmtpStep step);

}  // namespace postrider
