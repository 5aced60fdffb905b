#pragma once

#include <string>

#include "platform/secret.h"
#include "platform/status.h"
#include "send/user_settings.h"

namespace postrider {

// Told of each entry the run could not deliver, as it happens, so the user
// hears of every refusal and not only of the last.
class ISendRunReport {
 public:
  virtual ~ISendRunReport() = default;
  // The server refused the recipient (or the message, for its size): the
  // entry is marked a bad address and the run goes on.
  virtual void EntryRefused(int entry, const std::string& address, const std::string& reason) = 0;
  // The address failed the check or cannot be put into a mail command.
  virtual void EntryBadAddress(int entry, const std::string& address,
                               const std::string& reason) = 0;
  // The entry's message could not be made: a file it carries went or
  // changed after the check before the run. It stays unsent, for a resume.
  virtual void EntryNotSent(int /*entry*/, const std::string& /*address*/,
                            const std::string& /*reason*/) {}
  // One more selected entry was taken up: `takenUp` of the `total` this run
  // takes up (a resume leaves out those it passes over).
  virtual void Progress(int /*takenUp*/, int /*total*/) {}
  // A Cc or Bcc copy of the entry's message was refused, with the server's
  // words; the entry's own outcome is its recipient's.
  virtual void CopyRefused(int /*entry*/, const std::string& /*address*/,
                           const std::string& /*reason*/) {}
};

// Where the password for UserName comes from: the desktop's secret store, or
// the command line's environment, file, command or terminal.
class ISmtpPasswordSource {
 public:
  virtual ~ISmtpPasswordSource() = default;
  // The password, or an error saying why there is none.
  virtual Result<Secret> Password(const UserSettings& settings) = 0;
  // The server refused the password Password gave for good (not a lost
  // connection, a 454 or a TLS failure): sent again unasked, it could lock
  // the account. Returns a line for the error the user reads, or nothing.
  virtual std::string PasswordRefused(const UserSettings& /*settings*/) { return {}; }
};

}  // namespace postrider
