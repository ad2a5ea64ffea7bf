#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/cuNode.h"

namespace {

// A node that logs every hook and message as "<name>.<hook>".
class TLogNode : public TNode {
 public:
  TLogNode(std::string AName, std::vector<std::string>* ALog) : Name(std::move(AName)), Log(ALog) {}
  ~TLogNode() override {
    if (Log) Log->push_back(Name + ".freed");
  }
  std::string Name;
  std::vector<std::string>* Log;

  bool HandleMessage(int AMsg, intptr_t, intptr_t) override {
    Log->push_back(Name + ".msg" + std::to_string(AMsg));
    return AMsg == 42;
  }
  void ParentChanged() override {
    auto* p = static_cast<TLogNode*>(Parent());
    Log->push_back(Name + ".ParentChanged(" + (p ? p->Name : "nil") + ")");
  }
  void ChildrenChanged() override { Log->push_back(Name + ".ChildrenChanged"); }
  void ChildAdding(TNode* AChild, TNode*) override {
    Log->push_back(Name + ".ChildAdding(" + static_cast<TLogNode*>(AChild)->Name + ")");
  }
  void ParentChanging(TNode* ANewParent, TNode* ABefore) override {
    Log->push_back(Name + ".ParentChanging");
    TNode::ParentChanging(ANewParent, ABefore);
  }
};

struct TNodeFixture : ::testing::Test {
  std::vector<std::string> Log;
  TLogNode* Make(const std::string& AName, TNode* AParent = nullptr) {
    auto* n = new TLogNode(AName, &Log);
    if (AParent) n->SetParent(AParent);
    return n;
  }
  std::string Children(TNode* AParent) {
    std::string s;
    for (TNode* c = AParent->FirstChild(); c; c = c->NextSibling()) s += static_cast<TLogNode*>(c)->Name;
    std::string back;
    for (TNode* c = AParent->LastChild(); c; c = c->PrevSibling()) back.insert(0, static_cast<TLogNode*>(c)->Name);
    EXPECT_EQ(s, back) << "links disagree";
    return s;
  }
};

TEST_F(TNodeFixture, MovingUnderANewParentRunsTheHooksInOrder) {
  TNodePtr<TLogNode> oldParent(Make("old")), newParent(Make("new"));
  TLogNode* n = Make("n", oldParent.get());
  Log.clear();
  n->MoveTo(newParent.get(), nullptr);
  EXPECT_EQ(Log, (std::vector<std::string>{"n.ParentChanging", "new.ChildAdding(n)", "n.ParentChanged(nil)",
                                           "old.ChildrenChanged", "n.ParentChanged(new)", "new.ChildrenChanged"}));
}

TEST_F(TNodeFixture, MovingWithinTheParentRunsTheShortSequence) {
  TNodePtr<TLogNode> p(Make("p"));
  TLogNode* a = Make("a", p.get());
  Make("b", p.get());
  Make("c", p.get());
  Log.clear();
  a->MoveTo(p.get(), nullptr);
  EXPECT_EQ(Children(p.get()), "bca");
  EXPECT_EQ(Log, (std::vector<std::string>{"a.ParentChanging", "p.ChildAdding(a)", "a.ParentChanged(p)",
                                           "p.ChildrenChanged"}));
}

TEST_F(TNodeFixture, MovesThatChangeNothingRunNoHook) {
  TNodePtr<TLogNode> p(Make("p"));
  TLogNode* a = Make("a", p.get());
  TLogNode* b = Make("b", p.get());
  Log.clear();
  a->MoveTo(p.get(), b);        // already before b
  b->MoveTo(p.get(), nullptr);  // already last
  a->MoveTo(p.get(), a);        // before itself
  TNodePtr<TLogNode> loose(Make("loose"));
  loose->SetParent(nullptr);
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Children(p.get()), "ab");
}

TEST_F(TNodeFixture, MisplacedMovesRaiseAndChangeNothing) {
  TNodePtr<TLogNode> p(Make("p")), q(Make("q"));
  TLogNode* a = Make("a", p.get());
  TLogNode* b = Make("b", a);
  TLogNode* c = Make("c", q.get());
  Log.clear();
  EXPECT_THROW(a->MoveTo(p.get(), c), EProgrammingError);  // c is not p's child
  EXPECT_THROW(a->MoveTo(a, nullptr), EProgrammingError);  // under itself
  EXPECT_THROW(a->MoveTo(b, nullptr), EProgrammingError);  // under its descendant
  EXPECT_THROW(a->MoveTo(nullptr, c), EProgrammingError);
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Children(p.get()), "a");
  EXPECT_EQ(b->Parent(), a);
}

TEST_F(TNodeFixture, MoveBeforeASiblingKeepsBothLinkDirections) {
  TNodePtr<TLogNode> p(Make("p")), q(Make("q"));
  TLogNode* a = Make("a", p.get());
  TLogNode* b = Make("b", p.get());
  TLogNode* c = Make("c", p.get());
  TLogNode* x = Make("x", q.get());
  c->MoveTo(p.get(), a);
  EXPECT_EQ(Children(p.get()), "cab");
  x->MoveTo(p.get(), b);
  EXPECT_EQ(Children(p.get()), "caxb");
  EXPECT_EQ(Children(q.get()), "");
  EXPECT_EQ(q->FirstChild(), nullptr);
  EXPECT_EQ(q->LastChild(), nullptr);
}

TEST_F(TNodeFixture, FreeingAParentFreesChildrenLastToFirstEachLeavingFirst) {
  TLogNode* root = Make("r");
  TLogNode* a = Make("a", root);
  Make("a1", a);
  Make("b", root);
  Log.clear();
  root->Free();
  EXPECT_EQ(Log, (std::vector<std::string>{"b.ParentChanging", "b.ParentChanged(nil)", "r.ChildrenChanged", "b.freed",
                                           "a.ParentChanging", "a.ParentChanged(nil)", "r.ChildrenChanged",
                                           "a1.ParentChanging", "a1.ParentChanged(nil)", "a.ChildrenChanged",
                                           "a1.freed", "a.freed", "r.freed"}));
}

TEST_F(TNodeFixture, FreeingAChildDetachesItWithHooks) {
  TNodePtr<TLogNode> root(Make("r"));
  TLogNode* a = Make("a", root.get());
  Make("b", root.get());
  Log.clear();
  a->Free();
  EXPECT_EQ(Log,
            (std::vector<std::string>{"a.ParentChanging", "a.ParentChanged(nil)", "r.ChildrenChanged", "a.freed"}));
  EXPECT_EQ(Children(root.get()), "b");
}

TEST(Node, VeryDeepTreesAreWalkedAndFreedWithoutRecursion) {
  auto* root = new TNode;
  TNode* tip = root;
  constexpr int kDepth = 300000;
  for (int i = 0; i < kDepth; ++i) {
    auto* n = new TNode;
    n->SetParent(tip);
    tip = n;
  }
  EXPECT_EQ(tip->GetLevel(), kDepth);
  int count = 0;
  root->ForEach([&](TNode*) { ++count; }, true, false);
  EXPECT_EQ(count, kDepth + 1);
  root->Free();
}

TEST_F(TNodeFixture, BroadcastOrdersForwardAndBackward) {
  // r(a(a1,a2),b)
  TNodePtr<TLogNode> r(Make("r"));
  TLogNode* a = Make("a", r.get());
  Make("a1", a);
  Make("a2", a);
  Make("b", r.get());
  auto order = [&](bool ADeep, bool AForward) {
    Log.clear();
    r->Broadcast(7, 0, 0, ADeep, AForward);
    std::string s;
    for (auto& e : Log) s += e.substr(0, e.find('.')) + " ";
    return s;
  };
  EXPECT_EQ(order(true, true), "r a a1 a2 b ");
  EXPECT_EQ(order(true, false), "b a2 a1 a r ");
  EXPECT_EQ(order(false, true), "r a b ");
  EXPECT_EQ(order(false, false), "b a r ");

  std::vector<TLogNode*> collected;
  r->CollectNodes(collected, true);
  ASSERT_EQ(collected.size(), 5u);
  EXPECT_EQ(collected[2]->Name, "a1");
  std::vector<TNode*> shallow;
  a->CollectNodes(shallow, false);
  EXPECT_EQ(shallow.size(), 3u);
}

TEST_F(TNodeFixture, ForEachNodePassesParameters) {
  TNodePtr<TLogNode> r(Make("r"));
  Make("a", r.get());
  static std::vector<intptr_t> seen;
  seen.clear();
  r->ForEachNode([](TNode*, intptr_t P1, intptr_t P2) { seen.push_back(P1 + P2); }, 3, 4, true, true);
  EXPECT_EQ(seen, (std::vector<intptr_t>{7, 7}));
}

TEST_F(TNodeFixture, PerformUpVisitsEveryAncestorAndReturnsTheRoot) {
  TNodePtr<TLogNode> r(Make("r"));
  TLogNode* a = Make("a", r.get());
  TLogNode* b = Make("b", a);
  Log.clear();
  EXPECT_EQ(b->PerformUp(5, 0, 0), r.get());
  EXPECT_EQ(Log, (std::vector<std::string>{"b.msg5", "a.msg5", "r.msg5"}));
  EXPECT_TRUE(b->Perform(42, 0, 0));
  EXPECT_FALSE(TNode().Perform(42, 0, 0));
}

TEST_F(TNodeFixture, PositionsInTheTree) {
  // r(a(a1(a11)),b)
  TNodePtr<TLogNode> r(Make("r"));
  TLogNode* a = Make("a", r.get());
  TLogNode* a1 = Make("a1", a);
  TLogNode* a11 = Make("a11", a1);
  TLogNode* b = Make("b", r.get());
  EXPECT_EQ(r->GetIndex(), -1);
  EXPECT_EQ(b->GetIndex(), 1);
  EXPECT_EQ(a11->GetLevel(), 3);
  EXPECT_EQ(a11->GetRoot(), r.get());
  EXPECT_EQ(a->GetPrevNode(), r.get());
  EXPECT_EQ(b->GetPrevNode(), a11);
  EXPECT_EQ(r->GetPrevNode(), nullptr);
  EXPECT_EQ(r->GetAbsoluteIndex(), 0);
  EXPECT_EQ(a11->GetAbsoluteIndex(), 3);
  EXPECT_EQ(b->GetAbsoluteIndex(), 4);
}

TEST_F(TNodeFixture, FreeChildrenTakesTheLastChildFirst) {
  TNodePtr<TLogNode> r(Make("r"));
  Make("a", r.get());
  Make("b", r.get());
  Log.clear();
  r->FreeChildren();
  std::vector<std::string> freed;
  for (auto& e : Log)
    if (e.ends_with(".freed")) freed.push_back(e);
  EXPECT_EQ(freed, (std::vector<std::string>{"b.freed", "a.freed"}));
  EXPECT_EQ(r->FirstChild(), nullptr);
}

}  // namespace
