#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Keeps this process out of core dumps from now on: not dumpable
// (PR_SET_DUMPABLE 0, which also keeps other processes of the user from
// reading its memory) and a core size limit of 0. Called before a password
// is read and whenever a Secret takes one. It is never undone: a wiped
// secret may still have copies in freed memory (a string that grew, a
// library's buffer), so a core dump would be no safer after the last one
// went.
void KeepSecretsOutOfCoreDumps();

// A password held in memory: its bytes are wiped when it goes, and it has no
// way to be printed or compared by accident. While one is in memory (and
// after), the process leaves no core dump.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string value);
  ~Secret();
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  bool empty() const { return value_.empty(); }
  std::string_view reveal() const { return value_; }
  void Clear();

 private:
  std::string value_;
};

// text with every copy of secret in it replaced by "[hidden]": as it is where
// it is no part of a longer word (a short password inside "Authentication"
// stays, as hiding it would spell it out), and in base64 wherever it lay
// within what was encoded (the answers of AUTH
// LOGIN, AUTH PLAIN, XOAUTH2 and OAUTHBEARER), taking the whole base64 word
// with it. So too percent-encoded, as a peer quoting a form or URL back
// writes it. A server may quote a log-in back in the reply the user is shown.
std::string ConcealSecret(std::string_view text, std::string_view secret);

// ConcealSecret for text cut off at its end (a line too long, or one whose
// end never came): a copy of secret, or of its base64, that the cut left
// only the start of is hidden too.
std::string ConcealSecretInCutText(std::string_view text, std::string_view secret);

// Overwrites the bytes of a buffer that held a secret (or something made
// from one, such as its base64 form), then empties it.
void WipeString(std::string& text);

}  // namespace postrider
