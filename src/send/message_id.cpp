#include "send/message_id.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

namespace postrider {
namespace {

constexpr std::size_t kMaxDomain = 253;

bool IsAtext(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

// dot-atom-text: atext runs joined by single dots.
bool IsDotAtom(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '.') {
      if (text[i + 1] == '.') return false;
    } else if (!IsAtext(text[i])) {
      return false;
    }
  }
  return true;
}

// "[...]" with printable ASCII other than brackets and backslash inside.
bool IsDomainLiteral(std::string_view text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
  for (const char c : text.substr(1, text.size() - 2)) {
    if (c < 33 || c > 126 || c == '[' || c == ']' || c == '\\') return false;
  }
  return true;
}

bool CanBeIdDomain(std::string_view text) {
  return text.size() <= kMaxDomain && (IsDotAtom(text) || IsDomainLiteral(text));
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::uint64_t RandomBits() {
  thread_local std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  return engine();
}

// getpid is a system call, and the process id does not change, but in a
// child after fork.
std::atomic<long> knownProcessId{0};

long ProcessId() {
  long id = knownProcessId.load(std::memory_order_relaxed);
  if (id == 0) {
    static const bool forgetOnFork =
        pthread_atfork(nullptr, nullptr, [] { knownProcessId.store(0); }) == 0;
    id = static_cast<long>(getpid());
    if (forgetOnFork) knownProcessId.store(id, std::memory_order_relaxed);
  }
  return id;
}

// value in hex digits without leading zeros, or in at least `width`.
char* WriteHex(char* write, std::uint64_t value, int width = 1) {
  char digits[16];
  int length = 0;
  do {
    digits[15 - length++] = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0 || length < width);
  for (int i = 16 - length; i < 16; ++i) *write++ = digits[i];
  return write;
}

// "<unique@domain>": the time, the process, a counter of this process and
// random bits, so that no two messages share one.
void AppendUniqueId(std::string_view domain, std::string& out) {
  static std::atomic<std::uint64_t> counter{0};
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  char unique[4 * 17 + 2];
  char* write = unique;
  *write++ = '<';
  write = WriteHex(write, static_cast<std::uint64_t>(now));
  *write++ = '.';
  write = WriteHex(write, static_cast<unsigned long>(ProcessId()));
  *write++ = '.';
  write = WriteHex(write, counter.fetch_add(1) + 1);
  *write++ = '.';
  write = WriteHex(write, RandomBits(), 16);
  *write++ = '@';
  out.append(unique, static_cast<std::size_t>(write - unique));
  out += domain;
  out += '>';
}

}  // namespace

std::string MessageIdDomain(std::string_view returnAddress) {
  const std::string_view address = TrimBlanks(returnAddress);
  if (const std::size_t at = address.rfind('@'); at != std::string_view::npos) {
    const std::string_view domain = address.substr(at + 1);
    if (CanBeIdDomain(domain)) return std::string(domain);
  }
  std::string host = LocalHostName();
  if (CanBeIdDomain(host)) return host;
  return "localhost";
}

std::string NewMessageId(std::string_view returnAddress) {
  std::string id;
  MessageIds().AppendNew(returnAddress, id);
  return id;
}

void MessageIds::AppendNew(std::string_view returnAddress, std::string& out) {
  if (!haveDomain_ || returnAddress != returnAddress_) {
    returnAddress_ = returnAddress;
    domain_ = MessageIdDomain(returnAddress);
    haveDomain_ = true;
  }
  AppendUniqueId(domain_, out);
}

}  // namespace postrider
