#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/message_lookahead.h"

namespace postrider {
namespace {

// Composes "message N" for entry N and remembers each entry composed.
struct CountingComposer {
  std::vector<int> composed;
  MessageLookahead::Compose compose() {
    return [this](int entry, ComposedMessage& out) {
      composed.push_back(entry);
      out.text = "message " + std::to_string(entry);
    };
  }
};

TEST(MessageLookaheadTest, EachEntryIsComposedOnceWhenMadeReadyWhileTheOneBeforeGoesOut) {
  CountingComposer composer;
  MessageLookahead messages(composer.compose());
  EXPECT_EQ(messages.Take(0).text, "message 0");
  EXPECT_EQ(messages.ComposeAhead(1).text, "message 1");
  for (int entry = 1; entry < 5; ++entry) {
    // While `entry - 1` awaits its answer, the one after `entry` is made ready.
    messages.Prepare(entry + 1);
    EXPECT_EQ(messages.current().text, "message " + std::to_string(entry - 1));
    EXPECT_EQ(messages.Take(entry).text, "message " + std::to_string(entry));
    EXPECT_EQ(messages.ComposeAhead(entry + 1).text, "message " + std::to_string(entry + 1));
  }
  EXPECT_EQ(composer.composed, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(MessageLookaheadTest, AMessageMadeReadyIsComposedAgainOnceTheRunLeavesItsTurn) {
  CountingComposer composer;
  MessageLookahead messages(composer.compose());
  messages.Take(0);
  messages.ComposeAhead(1);
  messages.Prepare(2);
  messages.Take(1);
  // Another entry goes ahead (2 was unselected): what was made ready goes.
  messages.ComposeAhead(3);
  EXPECT_EQ(messages.Take(3).text, "message 3");
  EXPECT_EQ(messages.Take(2).text, "message 2");
  // Out of turn (nothing went ahead): a made-ready message is dropped too.
  messages.Prepare(5);
  EXPECT_EQ(messages.Take(4).text, "message 4");
  EXPECT_EQ(messages.Take(5).text, "message 5");
  EXPECT_EQ(composer.composed, (std::vector<int>{0, 1, 2, 3, 2, 5, 4, 5}));
}

}  // namespace
}  // namespace postrider
