#include <gtest/gtest.h>

#include <string>

#include "send/send_run.h"
#include "support/python_mail_parser.h"
#include "support/recording_views.h"
#include "support/scripted_smtp_server.h"
#include "support/smtp_test_timeouts.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::ScriptedSmtpServer;
using testing::TempDir;
using testing::TestProject;

// UTF-8 made Latin-1, as an old editor or a spreadsheet would save it (only
// characters Latin-1 has).
std::string Latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte == 0xC2 || byte == 0xC3) {
      out += static_cast<char>((static_cast<unsigned char>(utf8[++i]) & 0x3F) |
                               (byte == 0xC3 ? 0xC0 : 0x80));
    } else {
      out += utf8[i];
    }
  }
  return out;
}

const std::string kList =
    "Name\tEmail\tStra\u00dfe\n"
    "Zo\u00eb Br\u00fcck\tzoe@example.com\tK\u00f6nigsallee 1\n"
    "Jos\u00e9 N\u00fa\u00f1ez\tjose@example.org\tR\u00faa Ma\u00f1\u00e1\n";
const std::string kLetter =
    "To: \nFrom:  \nSubject: Caf\u00e9 cr\u00e8me \u00e0 la carte\n"
    "Gr\u00fc\u00dfe [[Name]],\r\nwir schreiben an [[Stra\u00dfe]].\r\n\u00c0 bient\u00f4t!\r\n";

// A letter and a list saved in either encoding: every message reads as meant.
class CharsetMixTest : public ::testing::TestWithParam<std::pair<bool, bool>> {};

TEST_P(CharsetMixTest, EveryMessageArrivesReadableWhateverTheEncodingsOfLetterAndList) {
  const auto [latin1Letter, latin1List] = GetParam();
  TempDir folder;
  TestProject project(latin1List ? Latin1(kList) : kList, std::string(32000, '\x80'));
  project.letterText = latin1Letter ? Latin1(kLetter) : kLetter;
  RecordedDocument recorded;
  ASSERT_TRUE(recorded.Open(folder.path(), project));
  UserSettings settings{.realName = latin1List ? Latin1("Ren\u00e9e L\u00e9vy") : "Ren\u00e9e L\u00e9vy",
                        .returnAddress = "club@example.com"};
  ScriptedSmtpServer server;
  settings.smtpServer = server.address();
  SendController controller(SendRunHost{recorded.prompts, recorded.frame},
                            testing::UniformTimeouts());

  const SendRunResult result = controller.OnSend(recorded.document, settings);

  ASSERT_EQ(result.accepted, 2);
  const std::string expected[2][3] = {
      {"Zo\u00eb Br\u00fcck", "zoe@example.com", "K\u00f6nigsallee 1"},
      {"Jos\u00e9 N\u00fa\u00f1ez", "jose@example.org", "R\u00faa Ma\u00f1\u00e1"}};
  for (int n = 1; n <= 2; ++n) {
    const auto& [name, address, street] = expected[n - 1];
    const std::string path = folder.Write("message.eml", server.Message(n));
    EXPECT_EQ(testing::ParsedByPython(path),
              "Caf\u00e9 cr\u00e8me \u00e0 la carte\nRen\u00e9e L\u00e9vy <club@example.com>\n" +
                  address + "\nGr\u00fc\u00dfe " + name + ",|wir schreiben an " + street +
                  ".|\u00c0 bient\u00f4t!|");
    EXPECT_NE(server.Message(n).find("charset=UTF-8"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(LetterAndList, CharsetMixTest,
                         ::testing::Values(std::pair{false, false}, std::pair{false, true},
                                           std::pair{true, false}, std::pair{true, true}),
                         [](const auto& param) {
                           return std::string(param.param.first ? "Latin1" : "Utf8") + "LetterWith" +
                                  (param.param.second ? "Latin1" : "Utf8") + "List";
                         });

}  // namespace
}  // namespace postrider
