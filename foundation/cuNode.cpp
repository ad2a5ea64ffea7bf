#include "foundation/cuNode.h"

struct TNode::TSiblingLinks {
  static TNode* Next(TNode* ANode) { return ANode->FNextSibling; }
  static TNode* Prev(TNode* ANode) { return ANode->FPrevSibling; }
  static void SetNext(TNode* ANode, TNode* ANext) { ANode->FNextSibling = ANext; }
  static void SetPrev(TNode* ANode, TNode* APrev) { ANode->FPrevSibling = APrev; }
};

TNode::~TNode() {
  if (FParent) {
    TBidirectionalList::Remove<TSiblingLinks>(FParent->FFirstChild, FParent->FLastChild, this);
    FParent = nullptr;
  }
  FreeChildren();
}

void TNode::Free() {
  SetParent(nullptr);
  FreeChildren();
  delete this;
}

void TNode::FreeChildren() {
  if (!FFirstChild) return;
  // Each node leaves its parent before its own children are freed, exactly as a recursive Free would do it,
  // with an explicit stack so that no depth can overflow the call stack.
  std::vector<TNode*> pending{this};
  while (!pending.empty()) {
    TNode* node = pending.back();
    if (TNode* child = node->FLastChild) {
      child->SetParent(nullptr);
      pending.push_back(child);
      continue;
    }
    pending.pop_back();
    if (node != this) delete node;
  }
}

void TNode::AppendFreshChild(TNode* ANode) {
  ANode->FParent = this;
  ANode->FPrevSibling = FLastChild;
  if (FLastChild)
    FLastChild->FNextSibling = ANode;
  else
    FFirstChild = ANode;
  FLastChild = ANode;
}

bool TNode::IsSelfOrAncestorOf(const TNode* ANode) const {
  for (; ANode; ANode = ANode->FParent)
    if (ANode == this) return true;
  return false;
}

void TNode::MoveTo(TNode* ANewParent, TNode* ABefore) {
  if (ABefore == this) return;
  if (ABefore && ABefore->FParent != ANewParent)
    throw EProgrammingError(u"A node can only be placed before a child of its new parent");
  // Only a node with children can have a descendant to be moved under.
  if (ANewParent == this || (ANewParent && FFirstChild && IsSelfOrAncestorOf(ANewParent)))
    throw EProgrammingError(u"A node cannot be moved under itself or one of its descendants");

  if (ANewParent != FParent) {
    ParentChanging(ANewParent, ABefore);
    if (TNode* oldParent = FParent) {
      TBidirectionalList::Remove<TSiblingLinks>(oldParent->FFirstChild, oldParent->FLastChild, this);
      FParent = nullptr;
      ParentChanged();
      oldParent->ChildrenChanged();
    }
    if (ANewParent) {
      // A hook may have moved ABefore meanwhile; the end of the list is then the only safe place.
      if (ABefore && ABefore->FParent != ANewParent) ABefore = nullptr;
      TBidirectionalList::InsertBefore<TSiblingLinks>(ANewParent->FFirstChild, ANewParent->FLastChild, this, ABefore);
      FParent = ANewParent;
      ParentChanged();
      ANewParent->ChildrenChanged();
    }
  } else if (FParent && ABefore != FNextSibling) {
    ParentChanging(FParent, ABefore);
    if (ABefore && ABefore->FParent != FParent) ABefore = nullptr;
    TBidirectionalList::Move<TSiblingLinks>(FParent->FFirstChild, FParent->FLastChild, this, ABefore);
    ParentChanged();
    FParent->ChildrenChanged();
  }
}

TNode* TNode::PerformUp(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  TNode* node = this;
  for (;;) {
    node->Perform(AMsg, AParam1, AParam2);
    if (!node->FParent) return node;
    node = node->FParent;
  }
}

namespace {
struct TBroadcast {
  int Msg;
  intptr_t Param1, Param2;
};
struct TCallbackCall {
  TNode::TNodeCallback Callback;
  intptr_t Param1, Param2;
};
}  // namespace

void TNode::Broadcast(int AMsg, intptr_t AParam1, intptr_t AParam2, bool ADeep, bool AForward) {
  TBroadcast b{AMsg, AParam1, AParam2};
  Walk(
      ADeep, AForward,
      [](TNode* ANode, void* AContext) {
        const auto* c = static_cast<const TBroadcast*>(AContext);
        ANode->Perform(c->Msg, c->Param1, c->Param2);
      },
      &b);
}

void TNode::ForEachNode(TNodeCallback ACallback, intptr_t AParam1, intptr_t AParam2, bool ADeep, bool AForward) {
  TCallbackCall c{ACallback, AParam1, AParam2};
  Walk(
      ADeep, AForward,
      [](TNode* ANode, void* AContext) {
        const auto* call = static_cast<const TCallbackCall*>(AContext);
        call->Callback(ANode, call->Param1, call->Param2);
      },
      &c);
}

void TNode::Walk(bool ADeep, bool AForward, void (*AVisit)(TNode*, void*), void* AContext) {
  if (AForward) {
    AVisit(this, AContext);
    TNode* node = FFirstChild;
    while (node) {
      AVisit(node, AContext);
      if (ADeep && node->FFirstChild) {
        node = node->FFirstChild;
        continue;
      }
      while (node != this && !node->FNextSibling) node = node->FParent;
      node = node == this ? nullptr : node->FNextSibling;
      if (!ADeep && node && node->FParent != this) node = nullptr;
    }
    return;
  }
  // Backward: the deepest last descendant first; after a node comes the deepest last descendant of its previous
  // sibling, or else its parent.
  auto deepestLast = [ADeep](TNode* ANode) {
    while (ADeep && ANode->FLastChild) ANode = ANode->FLastChild;
    return ANode;
  };
  TNode* node = FLastChild ? deepestLast(FLastChild) : this;
  while (node) {
    TNode* next = nullptr;
    if (node != this) next = node->FPrevSibling ? deepestLast(node->FPrevSibling) : node->FParent;
    AVisit(node, AContext);
    node = next;
  }
}

bool TNode::HandleMessage(int, intptr_t, intptr_t) { return false; }
void TNode::ParentChanged() {}
void TNode::ChildrenChanged() {}
void TNode::ChildAdding(TNode*, TNode*) {}

void TNode::ParentChanging(TNode* ANewParent, TNode* ABefore) {
  if (ANewParent) ANewParent->ChildAdding(this, ABefore);
}

int TNode::GetIndex() const {
  if (!FParent) return -1;
  int i = 0;
  for (const TNode* n = FPrevSibling; n; n = n->FPrevSibling) ++i;
  return i;
}

int TNode::GetLevel() const {
  int level = 0;
  for (const TNode* n = FParent; n; n = n->FParent) ++level;
  return level;
}

TNode* TNode::GetRoot() {
  TNode* n = this;
  while (n->FParent) n = n->FParent;
  return n;
}

TNode* TNode::GetPrevNode() const {
  if (TNode* prev = FPrevSibling) {
    while (prev->FLastChild) prev = prev->FLastChild;
    return prev;
  }
  return FParent;
}

int TNode::GetAbsoluteIndex() const {
  int index = 0;
  for (const TNode* n = GetPrevNode(); n; n = n->GetPrevNode()) ++index;
  return index;
}
