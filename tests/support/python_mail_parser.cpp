#include "support/python_mail_parser.h"

#include <cstdio>

namespace postrider::testing {

std::string ParsedByPython(const std::string& messagePath) {
  const std::string script =
      "import email, email.policy, sys\n"
      "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)\n"
      "body = m.get_body(('plain',)).get_content()\n"
      "sys.stdout.buffer.write('\\n'.join([str(m['Subject']), str(m['From']), str(m['To']),\n"
      "    body.replace('\\r\\n', '\\n').replace('\\n', '|')]).encode('utf-8'))\n";
  const std::string command = "/usr/bin/python3 -c \"" + script + "\" '" + messagePath + "'";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    pclose(pipe);
  }
  return output;
}

}  // namespace postrider::testing
