#include "smtp/hello_name.h"

#include <unistd.h>

#include <array>

namespace postrider {

std::string MakeHelloName(std::string_view hostName) {
  std::string name;
  for (const char c : hostName) {
    if (c > ' ' && c < 0x7f) name.push_back(c);
    if (name.size() == kMaxHelloNameLength) break;
  }
  if (name.empty()) name = "localhost";
  return name;
}

std::string LocalHelloName() {
  std::array<char, 1024> buffer{};
  if (gethostname(buffer.data(), buffer.size() - 1) != 0) buffer[0] = '\0';
  return MakeHelloName(buffer.data());
}

}  // namespace postrider
