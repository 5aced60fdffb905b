#include <QTest>

#include <set>
#include <string>
#include <vector>

#include "app/command_router.h"

using postrider::CommandRouter;
using postrider::CommandState;
using postrider::ICommandTarget;
using Link = postrider::CommandRouter::Link;

namespace {

// A link of the chain that handles a fixed set of commands and notes each call.
class NotingTarget : public ICommandTarget {
 public:
  NotingTarget(std::string name, std::set<int> handled, std::vector<std::string>& log,
               bool enabled = true)
      : name_(std::move(name)), handled_(std::move(handled)), log_(log), enabled_(enabled) {}

  bool OnCommand(int id) override {
    if (!handled_.contains(id)) return false;
    log_.push_back(name_ + " " + std::to_string(id));
    return true;
  }
  bool QueryCommandState(int id, CommandState& state) const override {
    if (!handled_.contains(id)) return false;
    state.enabled = enabled_;
    return true;
  }

 private:
  std::string name_;
  std::set<int> handled_;
  std::vector<std::string>& log_;
  bool enabled_;
};

}  // namespace

class CommandRouterTest : public QObject {
  Q_OBJECT

 private slots:
  void ActiveViewDocumentFrameApplicationInThatOrder();
  void CommandNobodyHandlesIsShownDisabledAndGoesNowhere();
  void GateRefusesBeforeAnyTargetSeesTheCommand();
  void ChangingTheActiveViewChangesWhoHandlesEditCommands();
};

void CommandRouterTest::ActiveViewDocumentFrameApplicationInThatOrder() {
  std::vector<std::string> log;
  NotingTarget view("view", {1}, log);
  NotingTarget document("document", {1, 2}, log);
  NotingTarget frame("frame", {1, 2, 3}, log);
  NotingTarget application("application", {1, 2, 3, 4}, log);
  CommandRouter router;
  router.SetTarget(Link::Application, &application);
  router.SetTarget(Link::Frame, &frame);
  router.SetTarget(Link::Document, &document);
  router.SetTarget(Link::ActiveView, &view);

  for (int id : {1, 2, 3, 4}) QVERIFY(router.Route(id));
  QCOMPARE(log, (std::vector<std::string>{"view 1", "document 2", "frame 3", "application 4"}));
}

void CommandRouterTest::CommandNobodyHandlesIsShownDisabledAndGoesNowhere() {
  std::vector<std::string> log;
  NotingTarget frame("frame", {3}, log, /*enabled=*/true);
  NotingTarget application("application", {4}, log, /*enabled=*/false);
  CommandRouter router;
  router.SetTarget(Link::Frame, &frame);
  router.SetTarget(Link::Application, &application);

  QVERIFY(!router.Route(9));
  QVERIFY(log.empty());
  QVERIFY(!router.StateOf(9).enabled);
  QVERIFY(router.StateOf(3).enabled);
  QVERIFY(!router.StateOf(4).enabled);
}

void CommandRouterTest::GateRefusesBeforeAnyTargetSeesTheCommand() {
  std::vector<std::string> log;
  NotingTarget frame("frame", {3, 5}, log);
  CommandRouter router;
  router.SetTarget(Link::Frame, &frame);
  std::vector<int> asked;
  router.SetGate([&asked](int id) {
    asked.push_back(id);
    return id == 5;  // only Pause gets through, as during a send
  });

  QVERIFY(!router.Route(3));
  QVERIFY(router.Route(5));
  QCOMPARE(asked, (std::vector<int>{3, 5}));
  QCOMPARE(log, (std::vector<std::string>{"frame 5"}));
  QVERIFY(!router.Allows(3));

  router.SetGate(nullptr);
  QVERIFY(router.Route(3));
}

void CommandRouterTest::ChangingTheActiveViewChangesWhoHandlesEditCommands() {
  std::vector<std::string> log;
  NotingTarget messageView("message view", {57634}, log);
  CommandRouter router;
  router.SetTarget(Link::ActiveView, &messageView);
  QVERIFY(router.Route(57634));
  router.SetTarget(Link::ActiveView, nullptr);
  QVERIFY(!router.Route(57634));
  QVERIFY(!router.StateOf(57634).enabled);
  QCOMPARE(log.size(), std::size_t{1});
}

QTEST_MAIN(CommandRouterTest)
#include "command_router_test.moc"
