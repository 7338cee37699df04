#include "platform/rtl/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/scope_guard.h"

namespace dac {
namespace {

std::vector<std::string> gLog;

// Records its lifetime hooks and the notifications it receives.
class TLogged : public TComponent {
 public:
  explicit TLogged(std::string tag) : FTagText(std::move(tag)) {}
  void AfterConstruction() override {
    TComponent::AfterConstruction();
    gLog.push_back(FTagText + ".after:" + (Owner() ? "owned" : "free"));
  }
  void Notification(TComponent* c, TOperation op) override {
    if (c != this) gLog.push_back(FTagText + (op == opInsert ? ".ins:" : ".rem:") + Describe(c));
    TComponent::Notification(c, op);
    if (op == opRemove && c == FPeer) FPeer = nullptr;
  }
  void Loaded() override {
    wasLoadingInLoaded = ComponentState().Contains(csLoading);
    TComponent::Loaded();
    gLog.push_back(FTagText + ".loaded");
    if (failLoaded) throw EComponentError(FTagText + " not loaded");
  }
  static std::string Describe(TComponent* c) {
    auto* l = dynamic_cast<TLogged*>(c);
    return l ? l->FTagText : "?";
  }
  TComponent* FPeer = nullptr;
  bool wasLoadingInLoaded = false;
  bool failShutdown = false;
  bool failLoaded = false;

 protected:
  void Shutdown() override {
    gLog.push_back(FTagText + ".shutdown:" +
                   (ComponentState().Contains(csDestroying) ? "destroying" : "alive"));
    if (failShutdown) throw EComponentError("shutdown failed");
    TComponent::Shutdown();
  }

 private:
  std::string FTagText;
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { gLog.clear(); }
};

TEST_F(ComponentTest, CreationOrderAndSiblingNotifications) {
  TLogged* owner = Create<TLogged>(nullptr, "O");
  TLogged* a = Create<TLogged>(owner, "A");
  TLogged* b = Create<TLogged>(owner, "B");
  // The new component is already in the list (and siblings told) when its
  // AfterConstruction runs; notifications reach owned components last first.
  EXPECT_EQ(gLog, (std::vector<std::string>{"O.after:free", "O.ins:A", "A.after:owned", "O.ins:B", "A.ins:B",
                                            "B.after:owned"}));
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(1), b);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_EQ(a->Owner(), owner);
  EXPECT_THROW(owner->Components(2), EListError);
  owner->Free();
}

TEST_F(ComponentTest, OwnerDestroysOwnedInReverseOrder) {
  TLogged* owner = Create<TLogged>(nullptr, "O");
  Create<TLogged>(owner, "A");
  TLogged* b = Create<TLogged>(owner, "B");
  Create<TLogged>(b, "B1");
  Create<TLogged>(owner, "C");
  gLog.clear();
  owner->Free();
  EXPECT_EQ(gLog, (std::vector<std::string>{
                      "O.shutdown:destroying",
                      "C.shutdown:destroying", "O.rem:C", "B.rem:C", "B1.rem:C", "A.rem:C",
                      "B.shutdown:destroying", "B1.shutdown:destroying", "B.rem:B1", "O.rem:B", "A.rem:B",
                      "A.shutdown:destroying", "O.rem:A"}));
}

TEST_F(ComponentTest, ComponentFreedFirstLeavesOwnerAndTellsSiblings) {
  TLogged* owner = Create<TLogged>(nullptr, "O");
  TLogged* a = Create<TLogged>(owner, "A");
  TLogged* b = Create<TLogged>(owner, "B");
  a->FPeer = b;
  gLog.clear();
  b->Free();
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(a->FPeer, nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"B.shutdown:destroying", "O.rem:B", "A.rem:B"}));
  owner->Free();
}

TEST_F(ComponentTest, FreeNotificationAcrossOwners) {
  TLogged* x = Create<TLogged>(nullptr, "X");
  TLogged* y = Create<TLogged>(nullptr, "Y");
  TLogged* z = Create<TLogged>(nullptr, "Z");
  x->FreeNotification(y);
  x->FreeNotification(y);  // linking twice sends one notification
  z->FreeNotification(y);
  z->RemoveFreeNotification(y);
  y->FPeer = x;
  EXPECT_TRUE(x->ComponentState().Contains(csFreeNotification));
  EXPECT_FALSE(z->ComponentState().Contains(csFreeNotification));
  gLog.clear();
  x->Free();
  EXPECT_EQ(y->FPeer, nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"X.shutdown:destroying", "Y.rem:X"}));
  EXPECT_FALSE(y->ComponentState().Contains(csFreeNotification));
  gLog.clear();
  y->Free();  // no link left to the freed X: nothing is told
  z->Free();
  EXPECT_EQ(gLog, (std::vector<std::string>{"Y.shutdown:destroying", "Z.shutdown:destroying"}));
}

TEST_F(ComponentTest, NamesAreValidatedAndUniqueIgnoringCase) {
  TFreePtr<TComponent> owner = CreateUnowned<TComponent>();
  TComponent* a = Create<TComponent>(owner.get());
  TComponent* b = Create<TComponent>(owner.get());
  a->SetName("Table1");
  a->SetName("TABLE1");  // the same component may change case
  EXPECT_EQ(a->Name(), "TABLE1");
  try {
    b->SetName("table1");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named table1 already exists");
  }
  try {
    b->SetName("1abc");
    FAIL() << "bad name accepted";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "\"1abc\" is not a valid component name");
  }
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  b->SetName("_x2");
  b->SetName("");  // empty names are allowed, many of them
  a->SetName("");
  EXPECT_EQ(owner->FindComponent("table1"), nullptr);
  b->SetName("Other");
  EXPECT_EQ(owner->FindComponent("OTHER"), b);
  EXPECT_EQ(owner->FindComponent(""), nullptr);

  // A named component may not join siblings already using its name.
  TComponent* stray = Create<TComponent>(nullptr);
  stray->SetName("other");
  EXPECT_THROW(owner->InsertComponent(stray), EComponentError);
  EXPECT_EQ(stray->Owner(), nullptr);
  stray->Free();
  EXPECT_THROW(owner->InsertComponent(owner.get()), EComponentError);
}

TEST_F(ComponentTest, MovingToAnotherOwner) {
  TLogged* o1 = Create<TLogged>(nullptr, "O1");
  TLogged* o2 = Create<TLogged>(nullptr, "O2");
  TLogged* a = Create<TLogged>(o1, "A");
  gLog.clear();
  o2->InsertComponent(a);
  EXPECT_EQ(o1->ComponentCount(), 0);
  EXPECT_EQ(a->Owner(), o2);
  EXPECT_EQ(gLog, (std::vector<std::string>{"O1.rem:A", "O2.ins:A"}));
  o1->Free();
  o2->Free();
}

TEST_F(ComponentTest, FailingShutdownStillUnlinksAndReports) {
  TLogged* owner = Create<TLogged>(nullptr, "O");
  TLogged* a = Create<TLogged>(owner, "A");
  Create<TLogged>(owner, "B");
  a->failShutdown = true;
  EXPECT_THROW(a->Free(), EComponentError);
  EXPECT_EQ(owner->ComponentCount(), 1);
  // The failure of an owned component does not stop the owner's teardown.
  Create<TLogged>(owner, "C")->failShutdown = true;
  EXPECT_THROW(owner->Free(), EComponentError);
}

// Teardown goes on past failures: every owned component is freed, the
// first failure reaches the caller and the later ones the clean-up failure
// handler.
TEST_F(ComponentTest, TeardownFailuresFirstRaisedLaterReported) {
  std::vector<std::string> reported;
  TCleanupFailureHandler previous = SetCleanupFailureHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const Exception& x) {
      reported.push_back(x.Message());
    }
  });
  TLogged* owner = Create<TLogged>(nullptr, "O");
  TLogged* watcher = Create<TLogged>(nullptr, "W");
  owner->FreeNotification(watcher);
  for (const char* tag : {"A", "B", "C"}) Create<TLogged>(owner, tag)->failShutdown = true;
  gLog.clear();
  try {
    owner->Free();
    FAIL() << "the teardown failures must reach the caller";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "shutdown failed");
  }
  EXPECT_EQ(gLog, (std::vector<std::string>{"O.shutdown:destroying", "W.rem:O", "C.shutdown:destroying",
                                            "O.rem:C", "B.rem:C", "A.rem:C", "B.shutdown:destroying", "O.rem:B",
                                            "A.rem:B", "A.shutdown:destroying", "O.rem:A"}));
  EXPECT_EQ(reported, (std::vector<std::string>{"shutdown failed", "shutdown failed"}));
  EXPECT_FALSE(watcher->ComponentState().Contains(csFreeNotification));
  watcher->Free();
  SetCleanupFailureHandler(std::move(previous));
}

TEST_F(ComponentTest, FailingLoadedStillEndsLoadingEverywhere) {
  TLogged* root = Create<TLogged>(nullptr, "R");
  TLogged* a = Create<TLogged>(root, "A");
  TLogged* b = Create<TLogged>(root, "B");
  a->failLoaded = true;
  BeginLoading(root);
  gLog.clear();
  try {
    EndLoading(root);
    FAIL() << "a failing Loaded must reach the caller";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A not loaded");
  }
  EXPECT_EQ(gLog, (std::vector<std::string>{"R.loaded", "A.loaded", "B.loaded"}));
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
  EXPECT_FALSE(b->ComponentState().Contains(csLoading));
  root->Free();
}

TEST_F(ComponentTest, LoadingBracketsAndLoadedOrder) {
  TLogged* root = Create<TLogged>(nullptr, "R");
  TLogged* a = Create<TLogged>(root, "A");
  Create<TLogged>(a, "A1");
  Create<TLogged>(root, "B");
  BeginLoading(root);
  EXPECT_TRUE(a->ComponentState().ContainsAll({csLoading, csReading}));
  gLog.clear();
  EndLoading(root);
  EXPECT_EQ(gLog, (std::vector<std::string>{"R.loaded", "A.loaded", "A1.loaded", "B.loaded"}));
  EXPECT_TRUE(a->wasLoadingInLoaded);
  EXPECT_FALSE(a->ComponentState().Contains(csLoading));
  EXPECT_FALSE(a->ComponentState().Contains(csReading));
  root->Free();
}

TEST_F(ComponentTest, DesigningReachesChildrenAndNewComponents) {
  TFreePtr<TComponent> root = CreateUnowned<TComponent>();
  TComponent* a = Create<TComponent>(root.get());
  root->SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  TComponent* b = Create<TComponent>(root.get());
  EXPECT_TRUE(b->ComponentState().Contains(csDesigning));
  root->SetDesigning(true, false);
  root->SetDesigning(false, false);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  EXPECT_FALSE(root->ComponentState().Contains(csDesigning));
  a->Updating();
  EXPECT_TRUE(a->ComponentState().Contains(csUpdating));
  a->Updated();
  EXPECT_FALSE(a->ComponentState().Contains(csUpdating));
  TComponent* n = nullptr;
  FreeAndNil(n);  // safe on null
  FreeAndNil(b);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(root->ComponentCount(), 1);
}

class TRefusing : public TComponent {
 public:
  void AfterConstruction() override { throw EComponentError("refused"); }
};

TEST_F(ComponentTest, FailedCreationLeavesNothingBehind) {
  TLogged* owner = Create<TLogged>(nullptr, "O");
  gLog.clear();
  EXPECT_THROW(Create<TRefusing>(owner), EComponentError);
  EXPECT_EQ(owner->ComponentCount(), 0);
  EXPECT_EQ(gLog, (std::vector<std::string>{"O.ins:?", "O.rem:?"}));
  owner->Free();
}

class TPoint : public TPersistent {
 public:
  int x = 0;
  void Assign(TPersistent* source) override {
    if (auto* p = dynamic_cast<TPoint*>(source)) {
      x = p->x;
      return;
    }
    TPersistent::Assign(source);
  }
};

TEST(ApplicationRootTest, SetReadAndClearedWhenTheRootIsFreed) {
  TComponent* previous = ApplicationRootComponent();
  auto root = CreateUnowned<TComponent>();
  auto other = CreateUnowned<TComponent>();
  SetApplicationRootComponent(root.get());
  EXPECT_EQ(ApplicationRootComponent(), root.get());
  other.reset();
  EXPECT_EQ(ApplicationRootComponent(), root.get()) << "another component's end leaves the root";
  root.reset();
  EXPECT_EQ(ApplicationRootComponent(), nullptr) << "a freed root is never left behind";
  SetApplicationRootComponent(previous);
}

TEST(PersistentTest, AssignAndAssignError) {
  TPoint a;
  TPoint b;
  b.x = 7;
  a.Assign(&b);
  EXPECT_EQ(a.x, 7);
  TComponent* c = Create<TComponent>(nullptr);
  try {
    a.Assign(c);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TPoint");
  }
  EXPECT_THROW(a.Assign(nullptr), EConvertError);
  c->Free();
}

}  // namespace
}  // namespace dac
