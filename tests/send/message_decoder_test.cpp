#include "send/message_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "project/postridr_doc.h"
#include "send/message_composer.h"
#include "send/message_preview.h"
#include "support/recording_views.h"
#include "support/temp_dir.h"

namespace postrider {
namespace {

using testing::RecordedDocument;
using testing::TempDir;
using testing::TestProject;

TEST(MessageDecoderTest, EncodedWordsOfEitherKindAndCharsetAreDecodedAndJoined) {
  // Blanks between two encoded words vanish; those beside plain text stay.
  EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?R3LDvMOfZQ==?= =?UTF-8?Q?_aus_M=C3=BCnchen?= und mehr"),
            "Gr\xC3\xBC\xC3\x9F" "e aus M\xC3\xBCnchen und mehr");
  // A word glued to plain text is read too, as mail programs do.
  EXPECT_EQ(DecodeHeaderValue("Caf=?ISO-8859-1?Q?=E9?="), "Caf\xC3\xA9");
  EXPECT_EQ(DecodeHeaderValue("=?iso-8859-1?q?Stra=DFe?= 5"), "Stra\xC3\x9F" "e 5");
  // What is not a well-formed word stays as it came.
  EXPECT_EQ(DecodeHeaderValue("=?UTF-8?X?abc?= =?broken"), "=?UTF-8?X?abc?= =?broken");
  EXPECT_EQ(DecodeHeaderValue("50% off =? really"), "50% off =? really");
}

TEST(MessageDecoderTest, QuotedPrintableBodyInItsCharsetWithSoftBreaks) {
  const std::string message =
      "To: a@example.com\r\n"
      "Subject: =?UTF-8?B?w4RyZ2Vy?=\r\n"
      " =?UTF-8?B?IG1pdCBkZXIgUG9zdA==?=\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=\"ISO-8859-1\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Gr=FC=DFe, a line that is long enough to be bro=\r\n"
      "ken in two.\r\n"
      "Tail=20\r\n"
      "=3D done\r\n";
  const DecodedMessage decoded = DecodeMessage(message);
  EXPECT_EQ(decoded.Header("subject"), "\xC3\x84rger mit der Post");
  EXPECT_EQ(decoded.Header("To"), "a@example.com");
  EXPECT_EQ(decoded.Header("Cc"), "");
  EXPECT_EQ(decoded.body,
            "Gr\xC3\xBC\xC3\x9F" "e, a line that is long enough to be broken in two.\nTail \n= done\n");
}

TEST(MessageDecoderTest, PlainAndBase64BodiesAndBytesThatAreNotUtf8) {
  EXPECT_EQ(DecodeMessage("Subject: x\n\nline one\nline two").body, "line one\nline two");
  EXPECT_EQ(DecodeMessage("Content-Transfer-Encoding: base64\r\n"
                          "Content-Type: text/plain; charset=utf-8\r\n\r\n"
                          "w6Rw\r\nZmVs\r\n")
                .body,
            "\xC3\xA4pfel");
  // No charset named and not UTF-8: read as Windows-1252, never shown broken.
  EXPECT_EQ(DecodeMessage("Subject: x\r\n\r\nM\xFCller\r\n").body, "M\xC3\xBCller\n");
  // No empty line: all headers, no body.
  const DecodedMessage headersOnly = DecodeMessage("From: me@example.com\r\n");
  EXPECT_EQ(headersOnly.Header("From"), "me@example.com");
  EXPECT_EQ(headersOnly.body, "");
}

// A project whose values and letter need every encoding composition has.
class MessagePreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestProject project(
        "Name\tEmail\n"
        "J\xC3\xBCrgen M\xC3\xBCller\tjuergen@example.com\n"
        "Bad\tnot an address\n"
        "Zo\xC3\xAB\tzoe@example.org\n",
        std::string(32000, '\x80'));
    project.letterText = "To: \nFrom: \nSubject: Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr [[Name]]\n"
                         "Liebe(r) [[Name]],\n.\nbis bald \xE2\x80\x94 das Team\n";
    ASSERT_TRUE(recorded.Open(folder.path(), project));
    settings.realName = "B\xC3\xBCro M\xC3\xBCnchen";
    settings.returnAddress = "office@example.net";
  }

  TempDir folder;
  RecordedDocument recorded;
  UserSettings settings;
};

TEST_F(MessagePreviewTest, ShowsWhatSendComposesDecodedAndTouchesNoMark) {
  recorded.messageView.body = "Hallo [[Name]], \xC3\xA4" "nderung ungespeichert\n";
  recorded.document.SetModifiedFlag(false);

  const MessagePreview preview = PreviewMessage(recorded.document, 0, settings);

  EXPECT_EQ(preview.recipient, "juergen@example.com");
  EXPECT_EQ(preview.skipReason, "");
  // The text as the recipient reads it: headers first, then the body with
  // the pane's unsaved edit merged.
  const std::string expectedStart =
      "To: juergen@example.com\n"
      "From: B\xC3\xBCro M\xC3\xBCnchen <office@example.net>\n"
      // Merge fields belong to the body; the subject goes as written.
      "Subject: Gr\xC3\xBC\xC3\x9F" "e f\xC3\xBCr [[Name]]\n"
      "Date: ";
  EXPECT_EQ(preview.text.rfind(expectedStart, 0), 0u) << preview.text;
  EXPECT_NE(preview.text.find("\n\nHallo J\xC3\xBCrgen M\xC3\xBCller, \xC3\xA4" "nderung ungespeichert\n"),
            std::string::npos)
      << preview.text;
  // The same decoding of the very bytes Send would hand over.
  ComposedMessage composed;
  ComposeMessage(recorded.document, 0, settings, composed);
  EXPECT_EQ(DecodeMessage(composed.text).body, preview.message.body);
  EXPECT_EQ(DecodeMessage(composed.text).Header("Subject"), preview.message.Header("Subject"));
  // The pane's edit reached the document, as before any composed message;
  // nothing was marked.
  EXPECT_TRUE(recorded.document.IsModified());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(recorded.document.GetEntryStatus(i), StatusNone);
}

TEST_F(MessagePreviewTest, SaysWhyAnEntryWouldBeSkippedOrPassedBy) {
  EXPECT_EQ(PreviewMessage(recorded.document, 1, settings).skipReason,
            "Send would skip this entry: \"not an address\" is not a valid e-mail address.");
  recorded.document.ToggleEntrySelection(2);
  EXPECT_EQ(PreviewMessage(recorded.document, 2, settings).skipReason,
            "This entry is not selected: Send passes it by.");
}

TEST_F(MessagePreviewTest, StepsGoThroughTheSelectedEntriesOnly) {
  recorded.document.ToggleEntrySelection(1);
  EXPECT_EQ(NextSelectedEntry(recorded.document, -1, 1), 0);
  EXPECT_EQ(NextSelectedEntry(recorded.document, 0, 1), 2);
  EXPECT_EQ(NextSelectedEntry(recorded.document, 2, 1), -1);
  EXPECT_EQ(NextSelectedEntry(recorded.document, 2, -1), 0);
  EXPECT_EQ(NextSelectedEntry(recorded.document, 0, -1), -1);
  recorded.document.UnselectAll();
  EXPECT_EQ(NextSelectedEntry(recorded.document, -1, 1), -1);
}

}  // namespace
}  // namespace postrider
