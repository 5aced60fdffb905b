#include "smtp/envelope_address.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "platform/utf8_text.h"
#include "smtp/idn2_functions.h"

namespace postrider {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

namespace {

// A blank outside a quoted local part ("a b"@example.com) ends the address
// for the server, which reads what follows as parameters of the command. A
// quote that is never closed protects nothing.
bool HasBareBlank(std::string_view address) {
  bool inQuotes = false;
  bool blankInQuotes = false;
  for (std::size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (inQuotes && c == '\\') {
      ++i;
    } else if (c == '"') {
      inQuotes = !inQuotes;
      blankInQuotes = false;
    } else if (c == ' ') {
      if (!inQuotes) return true;
      blankInQuotes = true;
    }
  }
  return inQuotes && blankInQuotes;
}

}  // namespace

namespace {

constexpr std::uint8_t kRefusedByte = 1;
constexpr std::uint8_t kBlank = 2;
constexpr std::uint8_t kEightBit = 4;

// One look-up a byte, no branch; only an address with a blank needs the
// scan that follows quotes.
constexpr std::array<std::uint8_t, 256> MakeByteClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int byte = 0; byte < 0x20; ++byte) classes[byte] = kRefusedByte;
  classes[0x7f] = kRefusedByte;
  classes['<'] = kRefusedByte;
  classes['>'] = kRefusedByte;
  classes[' '] = kBlank;
  for (int byte = 0x80; byte < 0x100; ++byte) classes[byte] = kEightBit;
  return classes;
}

constexpr std::array<std::uint8_t, 256> kByteClasses = MakeByteClasses();

}  // namespace

EnvelopeAddressScan ScanEnvelopeAddress(std::string_view address) {
  if (address.size() > kMaxEnvelopeAddressLength) return {};
  std::uint8_t seen = 0;
  for (const char c : address) seen |= kByteClasses[static_cast<unsigned char>(c)];
  if ((seen & kRefusedByte) != 0) return {};
  if ((seen & kBlank) != 0 && HasBareBlank(address)) return {};
  return {.safe = true, .ascii = (seen & kEightBit) == 0};
}

bool IsSafeEnvelopeAddress(std::string_view address) { return ScanEnvelopeAddress(address).safe; }

Result<std::string> AsciiDomainName(std::string_view domain) {
  if (IsAscii(domain)) return std::string(domain);
  const Result<const Idn2Functions*> loaded = LoadIdn2();
  if (!loaded) {
    // Callers end the sentence themselves.
    std::string why = loaded.status().message();
    if (!why.empty() && why.back() == '.') why.pop_back();
    return Status::Error("cannot be written in ASCII (" + why + ")");
  }
  const Idn2Functions& idn2 = **loaded;
  const std::string input(domain);
  char* output = nullptr;
  const int rc =
      idn2.idn2_to_ascii_8z(input.c_str(), &output, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK) {
    return Status::Error(std::string("cannot be written in ASCII (") +
                         idn2.idn2_strerror(rc) + ")");
  }
  std::string ascii(output);
  idn2.idn2_free(output);
  return ascii;
}

Result<EnvelopeAddress> PrepareEnvelopeAddress(std::string_view address) {
  const std::size_t at = address.rfind('@');
  const std::string_view local = at == std::string_view::npos ? address : address.substr(0, at);
  EnvelopeAddress envelope;
  envelope.text.assign(local);
  if (at != std::string_view::npos) {
    Result<std::string> domain = AsciiDomainName(address.substr(at + 1));
    if (!domain) return Status::Error("its domain " + domain.status().message());
    envelope.text += '@';
    envelope.text += *domain;
  }
  envelope.needsSmtpUtf8 = !IsAscii(local);
  if (envelope.needsSmtpUtf8 && !IsValidUtf8(local)) {
    return Status::Error("its local part is not valid UTF-8");
  }
  return envelope;
}

std::string AddressWithAsciiDomain(std::string_view address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos) return std::string(address);
  Result<std::string> domain = AsciiDomainName(address.substr(at + 1));
  if (!domain) return std::string(address);
  return std::string(address.substr(0, at + 1)) + *domain;
}

}  // namespace postrider
