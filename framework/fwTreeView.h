// The tree view (SysTreeView32) with nodes the control owns: each node keeps its text, data, expanded state and
// place, and the window shows them. A window made again (a style change, a new parent) gets the same nodes, the
// same branches open and the same node selected, without telling any of it as a change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuSet.h"
#include "framework/fwWinControls.h"

class TCustomTreeView;
class TTreeNodes;

class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;
  ~TTreeNode();

  TTreeNodes& Owner() const { return *FOwner; }
  // Nil for a node at the top level.
  TTreeNode* Parent() const;
  const std::u16string& Text() const { return FText; }
  void SetText(std::u16string AValue);
  // Anything the program hangs on the node; the node does not own it.
  void* Data() const { return FData; }
  void SetData(void* AValue) { FData = AValue; }

  int Count() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Item(int AIndex) const;
  bool HasChildren() const { return !FChildren.empty(); }
  TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front().get(); }
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  // The next node depth first (children before siblings), over every node, open or not.
  TTreeNode* GetNext() const;
  // Place among its siblings.
  int Index() const;
  // Place among all nodes depth first: the first node is 0.
  int AbsoluteIndex() const;
  // 0 at the top level.
  int Level() const;

  bool Expanded() const;
  void SetExpanded(bool AValue);
  bool Selected() const;
  // The node's row (or with ATextOnly its text) in the control's client coordinates; empty while the node is not
  // shown (no window, a closed branch above it).
  RECT DisplayRect(bool ATextOnly) const;
  // The window's item, nullptr while there is no window.
  HTREEITEM ItemId() const { return FItem; }

  // Frees the node with its children.
  void Delete();

 private:
  friend class TTreeNodes;
  friend class TCustomTreeView;
  TTreeNode(TTreeNodes* AOwner, TTreeNode* AParent, std::u16string AText, void* AData);

  TTreeNodes* FOwner;
  TTreeNode* FParent;  // the hidden root for top-level nodes
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
  std::u16string FText;
  void* FData;
  bool FExpanded = false;     // while there is no window
  HTREEITEM FItem = nullptr;  // while there is one
};

// All nodes of one tree view, in a hidden root.
class TTreeNodes {
 public:
  explicit TTreeNodes(TCustomTreeView& AView);
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;
  ~TTreeNodes();

  TCustomTreeView& View() const { return FView; }
  // Every node, at every level.
  int Count() const;
  TTreeNode* GetFirstNode() const { return FRoot->GetFirstChild(); }
  // The node at an absolute index (depth first); raises outside the range.
  TTreeNode* Item(int AAbsoluteIndex) const;
  // Added as the last child of AParent (nil: the last top-level node).
  TTreeNode* AddChild(TTreeNode* AParent, std::u16string AText, void* AData = nullptr);
  // Added as the last sibling of ASibling (nil: the last top-level node).
  TTreeNode* Add(TTreeNode* ASibling, std::u16string AText, void* AData = nullptr);
  void Delete(TTreeNode* ANode);
  void Clear();

  // Counted: the window draws again once, after the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();

 private:
  friend class TTreeNode;
  friend class TCustomTreeView;

  TCustomTreeView& FView;
  std::unique_ptr<TTreeNode> FRoot;
  int FUpdateCount = 0;
};

// Where a point lies against the rows (from the system's TVHT_... answer).
enum class THitTest : uint16_t {
  htAbove = 0x0001,
  htBelow = 0x0002,
  htNowhere = 0x0004,
  htOnButton = 0x0008,
  htOnIcon = 0x0010,
  htOnIndent = 0x0020,
  htOnLabel = 0x0040,
  htOnRight = 0x0080,
  htOnStateIcon = 0x0100,
  htToLeft = 0x0200,
  htToRight = 0x0400,
};
constexpr bool IsFlagFamily(THitTest) { return true; }
using enum THitTest;
using THitTests = TSet<THitTest>;
// On the node itself: its icon, its text or its state icon.
constexpr THitTests htOnItem = htOnIcon | htOnLabel | htOnStateIcon;

using TTVChangedEvent = TMethod<void(TObject* ASender, TTreeNode* ANode)>;
using TTVCollapsingEvent = TMethod<void(TObject* ASender, TTreeNode* ANode, bool& AAllowCollapse)>;
using TTVInfoTipEvent = TMethod<void(TObject* ASender, TTreeNode* ANode, std::u16string& AInfoTip)>;

class TCustomTreeView : public TWinControl {
 public:
  explicit TCustomTreeView(TComponent* AOwner);
  ~TCustomTreeView() override;

  TTreeNodes& Items() { return *FNodes; }

  // The selected node (nil for none). Selecting from code runs OnChange like a user's choice.
  TTreeNode* Selected() const;
  void SetSelected(TTreeNode* AValue);
  // The node whose row holds a client point, or nil.
  TTreeNode* GetNodeAt(int X, int Y) const;
  THitTests GetHitTestInfoAt(int X, int Y) const;

  // Styles; each change makes the window again. Defaults: buttons, lines and root lines shown, no row select,
  // the selection hidden while the control has no focus, labels editable, info tips on.
  bool ShowButtons() const { return FShowButtons; }
  void SetShowButtons(bool AValue);
  bool ShowLines() const { return FShowLines; }
  void SetShowLines(bool AValue);
  bool ShowRoot() const { return FShowRoot; }
  void SetShowRoot(bool AValue);
  // The selection covers the whole row (the system leaves out the lines then).
  bool RowSelect() const { return FRowSelect; }
  void SetRowSelect(bool AValue);
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool AValue);
  // No label editing.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool AValue);
  // The system's info tips, filled by OnGetInfoTip.
  bool ToolTips() const { return FToolTips; }
  void SetToolTips(bool AValue);

  // The selection moved (by the user or by code), not while the window is made again.
  TTVChangedEvent OnChange;
  // A branch is about to close by the user's hand; a false answer keeps it open.
  TTVCollapsingEvent OnCollapsing;
  // The info tip of a node: starts empty; text left in it shows.
  TTVInfoTipEvent OnGetInfoTip;

 protected:
  friend class TTreeNode;
  friend class TTreeNodes;

  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;

  virtual void Change(TTreeNode* ANode);
  virtual bool CanCollapse(TTreeNode* ANode);
  virtual void DoGetInfoTip(TTreeNode* ANode, std::u16string& AInfoTip);

 private:
  // Window side of the nodes.
  void InsertItem(TTreeNode& ANode);
  void InsertItems(TTreeNode& AParent);
  void ExpandItems(TTreeNode& AParent);
  void ForgetItems(TTreeNode& AParent);
  void NodeDeleting(TTreeNode& ANode);
  void SetStyle(bool& AField, bool AValue);
  void Notify(TNotifyMessage& AMessage);
  void KeepBranchOpen();

  std::unique_ptr<TTreeNodes> FNodes;
  TTreeNode* FSelected = nullptr;  // while there is no window
  TTreeNode* FKeepOpen = nullptr;  // its collapse was refused (CM_KEEPBRANCHOPEN)
  // The window is being made or destroyed: its notifications tell nothing new.
  bool FRebuilding = false;
  bool FShowButtons = true;
  bool FShowLines = true;
  bool FShowRoot = true;
  bool FRowSelect = false;
  bool FHideSelection = true;
  bool FReadOnly = false;
  bool FToolTips = true;
};

class TTreeView : public TCustomTreeView {
 public:
  using TCustomTreeView::TCustomTreeView;
};
