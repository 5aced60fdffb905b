#include "platform/secret.h"

#include <openssl/crypto.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include "platform/base64.h"
#include "platform/url_text.h"

namespace postrider {

void KeepSecretsOutOfCoreDumps() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  // Both: a core handler that takes dumps of processes that are not
  // dumpable (fs.suid_dumpable=2) still keeps to the size limit.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  rlimit core{};
  if (getrlimit(RLIMIT_CORE, &core) == 0) {
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
  }
}

Secret::Secret(std::string value) : value_(std::move(value)) {
  if (!value_.empty()) KeepSecretsOutOfCoreDumps();
}

void WipeString(std::string& text) {
  // The whole capacity: a shorter value may have replaced a longer one.
  text.resize(text.capacity());
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

Secret::~Secret() { Clear(); }

Secret::Secret(Secret&& other) noexcept : value_(std::move(other.value_)) { other.Clear(); }

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    Clear();
    value_ = std::move(other.value_);
    other.Clear();
  }
  return *this;
}

void Secret::Clear() { WipeString(value_); }

namespace {

// A letter or digit, ASCII or a byte of a UTF-8 one.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         byte >= 0x80;
}

// Whether the copy of secret at text[at] is part of a longer word: a short
// or common password turns up inside ordinary words ("on" in
// "Authentication"), where hiding it would mangle the text and show the
// password by where the gaps fall.
bool InsideWord(std::string_view text, std::size_t at, std::string_view secret) {
  const std::size_t end = at + secret.size();
  return (IsWordByte(secret.front()) && at > 0 && IsWordByte(text[at - 1])) ||
         (IsWordByte(secret.back()) && end < text.size() && IsWordByte(text[end]));
}

bool IsBase64Byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '+' || c == '/';
}

constexpr std::string_view kHidden = "[hidden]";

// Puts kHidden for shown[at, at + length) and the rest of the base64 word it
// lies in: the groups a secret shares with what was encoded around it (the
// names of AUTH PLAIN, XOAUTH2's fields, the padding) still tell its first
// and last bytes. Returns where the marker ends.
std::size_t HideBase64Word(std::string& shown, std::size_t at, std::size_t length) {
  std::size_t begin = at;
  while (begin > 0 && IsBase64Byte(shown[begin - 1])) --begin;
  std::size_t end = at + length;
  while (end < shown.size() && (IsBase64Byte(shown[end]) || shown[end] == '=')) ++end;
  shown.replace(begin, end - begin, kHidden);
  return begin + kHidden.size();
}

// The secret as it reads in base64 wherever it lay within what was encoded.
std::vector<std::string> Base64Forms(std::string_view secret) {
  std::vector<std::string> forms = {Base64(secret)};
  // In base64 the secret's bytes read the same only in whole groups of
  // three, which line up with the encoding in one of three ways.
  for (std::size_t skip = 0; skip < 3 && skip < secret.size(); ++skip) {
    const std::size_t whole = (secret.size() - skip) / 3 * 3;
    if (whole > 0) forms.push_back(Base64(secret.substr(skip, whole)));
  }
  return forms;
}

// The secret as it reads percent-encoded, as a peer that quotes a form or
// URL back may write it (hex digits in either case); none when no byte of it
// needs encoding.
std::vector<std::string> PercentForms(std::string_view secret) {
  std::string upper = PercentEncode(secret);
  if (upper.size() == secret.size()) {
    WipeString(upper);
    return {};
  }
  std::string lower = upper;
  for (std::size_t i = 0; i + 2 < lower.size(); ++i) {
    if (lower[i] != '%') continue;
    for (std::size_t k = i + 1; k <= i + 2; ++k) {
      if (lower[k] >= 'A' && lower[k] <= 'F') lower[k] = static_cast<char>(lower[k] - 'A' + 'a');
    }
    i += 2;
  }
  std::vector<std::string> forms;
  forms.push_back(std::move(upper));
  if (lower != forms.front()) forms.push_back(std::move(lower));
  return forms;
}

// Puts kHidden for each copy of form that stands on its own.
void HideWhole(std::string& shown, std::string_view form) {
  for (std::size_t at = shown.find(form); at != std::string::npos;) {
    if (InsideWord(shown, at, form)) {
      at = shown.find(form, at + 1);
      continue;
    }
    shown.replace(at, form.size(), kHidden);
    at = shown.find(form, at + kHidden.size());
  }
}

}  // namespace

std::string ConcealSecret(std::string_view text, std::string_view secret) {
  std::string shown(text);
  if (secret.empty()) return shown;
  // As it is, only where it stands on its own; so too percent-encoded.
  HideWhole(shown, secret);
  for (std::string& form : PercentForms(secret)) {
    HideWhole(shown, form);
    WipeString(form);
  }
  std::vector<std::string> forms = Base64Forms(secret);
  // The longer first: a shorter form may be part of a longer one.
  std::sort(forms.begin(), forms.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (std::string& form : forms) {
    std::size_t at = shown.find(form);
    while (at != std::string::npos) at = shown.find(form, HideBase64Word(shown, at, form.size()));
    WipeString(form);
  }
  return shown;
}

std::string ConcealSecretInCutText(std::string_view text, std::string_view secret) {
  std::string shown = ConcealSecret(text, secret);
  if (secret.empty() || shown.empty()) return shown;
  // The longest start of the secret, or of one of its percent-encoded or base64 forms, that the
  // text ends with. A base64 form's first character alone holds less than a
  // byte of it.
  std::size_t cut = shown.size();
  bool base64 = false;
  const auto findStart = [&](std::string_view form, std::size_t shortest, bool isBase64) {
    for (std::size_t length = std::min(form.size() - 1, shown.size()); length >= shortest;
         --length) {
      const std::size_t at = shown.size() - length;
      if (at < cut && std::string_view(shown).substr(at) == form.substr(0, length)) {
        // As it is, only where it stands on its own.
        if (!isBase64 && IsWordByte(form.front()) && at > 0 && IsWordByte(shown[at - 1])) {
          continue;
        }
        cut = at;
        base64 = isBase64;
        return;
      }
    }
  };
  findStart(secret, 1, false);
  for (std::string& form : PercentForms(secret)) {
    findStart(form, 1, false);
    WipeString(form);
  }
  std::vector<std::string> forms = Base64Forms(secret);
  for (std::string& form : forms) {
    findStart(form, 2, true);
    WipeString(form);
  }
  if (cut == shown.size()) return shown;
  if (base64) {
    HideBase64Word(shown, cut, shown.size() - cut);
  } else {
    shown.replace(cut, std::string::npos, kHidden);
  }
  return shown;
}

}  // namespace postrider
