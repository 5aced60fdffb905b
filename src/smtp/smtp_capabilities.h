#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace postrider {

// What a server said it can do in its reply to EHLO (RFC 5321 4.1.1.1).
struct SmtpCapabilities {
  bool extended = false;  // the server took EHLO
  bool startTls = false;
  bool pipelining = false;
  bool eightBitMime = false;
  bool smtpUtf8 = false;
  bool enhancedStatusCodes = false;
  bool size = false;
  std::uint64_t sizeLimit = 0;  // 0: SIZE without a limit, or no SIZE
  std::vector<std::string> authMechanisms;  // upper case, as offered
  // The same as the server wrote them: for showing, since a log-in the server
  // quotes is hidden only as it came.
  std::vector<std::string> authOffered;
  std::vector<std::string> lines;           // each keyword line, as sent

  bool OffersAuth(std::string_view mechanism) const;
};

// Reads the text of a 250 reply to EHLO (its lines joined by '\n', the first
// being the server's name); keywords and mechanisms match in any letter case.
SmtpCapabilities ParseEhloReply(std::string_view text);

}  // namespace postrider
