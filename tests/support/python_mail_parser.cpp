#include "support/python_mail_parser.h"

#include <cstdio>

namespace postrider::testing {
namespace {

// What the script prints for the file; the script must hold no '"'.
std::string RunPython(const std::string& script, const std::string& messagePath) {
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

constexpr const char* kParse =
    "import email, email.policy, sys\n"
    "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)\n";

}  // namespace

std::string ParsedByPython(const std::string& messagePath) {
  return RunPython(std::string(kParse) +
                       "body = m.get_body(('plain',)).get_content()\n"
                       "sys.stdout.buffer.write('\\n'.join([str(m['Subject']), str(m['From']), "
                       "str(m['To']),\n"
                       "    body.replace('\\r\\n', '\\n').replace('\\n', '|')]).encode('utf-8'))\n",
                   messagePath);
}

std::string SenderParsedByPython(const std::string& messagePath) {
  return RunPython(std::string(kParse) +
                       "a = m['From'].addresses[0]\n"
                       "sys.stdout.buffer.write((a.display_name + '\\n' + a.addr_spec)"
                       ".encode('utf-8'))\n",
                   messagePath);
}

std::string HeaderParsedByPython(const std::string& messagePath, const std::string& name) {
  return RunPython(std::string(kParse) + "h = m['" + name + "']\n" +
                       "lines = [a.display_name + '\\t' + a.addr_spec for a in h.addresses] "
                       "if hasattr(h, 'addresses') else [str(h)]\n"
                       "sys.stdout.buffer.write('\\n'.join(lines).encode('utf-8'))\n",
                   messagePath);
}

std::string MimeOutlineByPython(const std::string& messagePath) {
  std::string output;
  const std::string command = "/usr/bin/python3 " POSTRIDER_TEST_SUPPORT_DIR
                              "/mime_outline.py '" + messagePath + "'";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    if (pclose(pipe) != 0) return {};
  }
  return output;
}

std::string AttachmentsParsedByPython(const std::string& messagePath) {
  return RunPython(std::string(kParse) +
                       "import hashlib\n"
                       "for part in m.iter_attachments():\n"
                       "    data = part.get_payload(decode=True)\n"
                       "    sys.stdout.buffer.write(('%s\\t%s\\t%d\\t%s\\n' % (part.get_filename(), "
                       "part.get_content_type(), len(data), hashlib.sha256(data).hexdigest()))"
                       ".encode('utf-8'))\n",
                   messagePath);
}

}  // namespace postrider::testing
