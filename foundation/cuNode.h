// Tree node: a parent owns its children; moves run a fixed sequence of hooks; messages travel synchronously.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/cuClasses.h"

class TNode : public TItfObject {
 public:
  TNode() = default;
  // A node still attached or with children is cleaned up here too, but without its own hooks: free nodes with
  // Free() (or hold them in a TNodePtr) so every hook runs while the whole object is alive.
  ~TNode() override;

  // Leaves the parent (with hooks), frees the children last to first, then deletes the node.
  void Free();

  TNode* Parent() const { return FParent; }
  TNode* FirstChild() const { return FFirstChild; }
  TNode* LastChild() const { return FLastChild; }
  TNode* NextSibling() const { return FNextSibling; }
  TNode* PrevSibling() const { return FPrevSibling; }

  // The node becomes the last child of AParent; nullptr detaches it and the caller owns it.
  void SetParent(TNode* AParent) { MoveTo(AParent, nullptr); }
  // Moves the node under ANewParent before ABefore (nullptr: as last child). ABefore being the node itself does
  // nothing. Raises EProgrammingError when ABefore is not a child of ANewParent, or when ANewParent is the node or
  // one of its descendants.
  void MoveTo(TNode* ANewParent, TNode* ABefore);

  bool Perform(int AMsg, intptr_t AParam1, intptr_t AParam2) { return HandleMessage(AMsg, AParam1, AParam2); }
  // Perform on the node and each ancestor; returns the root.
  TNode* PerformUp(int AMsg, intptr_t AParam1, intptr_t AParam2);
  // Perform on the node and its children (all descendants when ADeep). Forward: node first, then each child first
  // to last before its own children. Backward: children last to first, each after its own children, node last.
  void Broadcast(int AMsg, intptr_t AParam1, intptr_t AParam2, bool ADeep, bool AForward);

  // The same walk as Broadcast calling ACallback(Node, AParam1, AParam2).
  using TNodeCallback = void (*)(TNode* ANode, intptr_t AParam1, intptr_t AParam2);
  void ForEachNode(TNodeCallback ACallback, intptr_t AParam1, intptr_t AParam2, bool ADeep, bool AForward);
  template <class F>
  void ForEach(F&& AVisit, bool ADeep, bool AForward) {
    Walk(
        ADeep, AForward, [](TNode* ANode, void* AContext) { (*static_cast<F*>(AContext))(ANode); }, &AVisit);
  }

  // Appends the node and its children (deep or one level) in forward order, keeping instances of T and classes
  // derived from it.
  template <class T = TNode>
  void CollectNodes(std::vector<T*>& AList, bool ADeep) {
    ForEach(
        [&AList](TNode* ANode) {
          if (T* item = dynamic_cast<T*>(ANode)) AList.push_back(item);
        },
        ADeep, true);
  }

  // Frees the children one by one, always the current last child first.
  virtual void FreeChildren();

  int GetIndex() const;
  int GetLevel() const;
  TNode* GetRoot();
  // The node before this one in pre-order; nullptr for a root.
  TNode* GetPrevNode() const;
  int GetAbsoluteIndex() const;
  // True when ANode is this node or lies beneath it.
  bool IsSelfOrAncestorOf(const TNode* ANode) const;

  // Hooks; subclasses override them to keep derived state in step with the tree.
  // True when the message was handled.
  virtual bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2);
  // On the node after its parent was set (to nullptr when it leaves, then again when it joins the new one).
  virtual void ParentChanged();
  // On a parent after a child left, joined or moved within it.
  virtual void ChildrenChanged();
  // On the new parent before a child joins it.
  virtual void ChildAdding(TNode* AChild, TNode* ABefore);
  // On the node before it moves; calls ANewParent->ChildAdding.
  virtual void ParentChanging(TNode* ANewParent, TNode* ABefore);

 protected:
  // For a subclass that frees a whole subtree itself, without hooks: the node forgets its links.
  void ForgetLinks() { FParent = FFirstChild = FLastChild = FNextSibling = FPrevSibling = nullptr; }
  void ForgetChildren() { FFirstChild = FLastChild = nullptr; }
  // Appends ANode, which has no parent, as the last child without hooks, for a subclass building a fresh tree.
  void AppendFreshChild(TNode* ANode);

 private:
  struct TSiblingLinks;
  void Walk(bool ADeep, bool AForward, void (*AVisit)(TNode*, void*), void* AContext);

  TNode* FParent = nullptr;
  TNode* FFirstChild = nullptr;
  TNode* FLastChild = nullptr;
  TNode* FNextSibling = nullptr;
  TNode* FPrevSibling = nullptr;
};

// Ownership of a node outside a tree: frees it with Free().
struct TNodeDeleter {
  void operator()(TNode* ANode) const { ANode->Free(); }
};
template <class T>
using TNodePtr = std::unique_ptr<T, TNodeDeleter>;
