#include "framework/fwTreeView.h"

#include <algorithm>
#include <cstring>

namespace {

HTREEITEM ItemOf(const TTreeNode* ANode) { return ANode ? ANode->ItemId() : nullptr; }

TTreeNode* NodeOfParam(LPARAM AParam) { return reinterpret_cast<TTreeNode*>(AParam); }

// Whether ANode is AAncestor or lies under it.
bool IsWithin(const TTreeNode* ANode, const TTreeNode* AAncestor) {
  for (const TTreeNode* n = ANode; n; n = n->Parent())
    if (n == AAncestor) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Nodes

TTreeNode::TTreeNode(TTreeNodes* AOwner, TTreeNode* AParent, std::u16string AText, void* AData)
    : FOwner(AOwner), FParent(AParent), FText(std::move(AText)), FData(AData) {}

TTreeNode::~TTreeNode() = default;

TTreeNode* TTreeNode::Parent() const { return FParent == FOwner->FRoot.get() ? nullptr : FParent; }

void TTreeNode::SetText(std::u16string AValue) {
  FText = std::move(AValue);
  if (!FItem) return;
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = FItem;
  item.pszText = const_cast<wchar_t*>(WStr(FText));
  SendMessageW(FOwner->FView.HandleIfAllocated(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

TTreeNode* TTreeNode::Item(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EProgrammingError(Format(u"Node index out of range (%d)", {AIndex}));
  return FChildren[static_cast<size_t>(AIndex)].get();
}

int TTreeNode::Index() const {
  const auto& siblings = FParent->FChildren;
  auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& n) { return n.get() == this; });
  return static_cast<int>(it - siblings.begin());
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const int next = Index() + 1;
  return next < FParent->Count() ? FParent->Item(next) : nullptr;
}

TTreeNode* TTreeNode::GetPrevSibling() const {
  const int index = Index();
  return index > 0 ? FParent->Item(index - 1) : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (HasChildren()) return GetFirstChild();
  for (const TTreeNode* n = this; n && n != FOwner->FRoot.get(); n = n->FParent)
    if (TTreeNode* sibling = n->GetNextSibling()) return sibling;
  return nullptr;
}

int TTreeNode::AbsoluteIndex() const {
  int index = 0;
  for (TTreeNode* n = FOwner->GetFirstNode(); n && n != this; n = n->GetNext()) ++index;
  return index;
}

int TTreeNode::Level() const {
  int level = 0;
  for (const TTreeNode* p = Parent(); p; p = p->Parent()) ++level;
  return level;
}

bool TTreeNode::Expanded() const {
  if (!FItem) return FExpanded;
  const LRESULT state =
      SendMessageW(FOwner->FView.HandleIfAllocated(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(FItem), TVIS_EXPANDED);
  return (state & TVIS_EXPANDED) != 0;
}

void TTreeNode::SetExpanded(bool AValue) {
  FExpanded = AValue;
  if (FItem)
    SendMessageW(FOwner->FView.HandleIfAllocated(), TVM_EXPAND, AValue ? TVE_EXPAND : TVE_COLLAPSE,
                 reinterpret_cast<LPARAM>(FItem));
}

bool TTreeNode::Selected() const { return FOwner->FView.Selected() == this; }

RECT TTreeNode::DisplayRect(bool ATextOnly) const {
  RECT r{};
  if (!FItem) return r;
  // The message takes the item in the rectangle's place.
  std::memcpy(&r, &FItem, sizeof(FItem));
  if (!SendMessageW(FOwner->FView.HandleIfAllocated(), TVM_GETITEMRECT, ATextOnly, reinterpret_cast<LPARAM>(&r)))
    r = RECT{};
  return r;
}

void TTreeNode::Delete() { FOwner->Delete(this); }

// ---------------------------------------------------------------------------------------------------------------
// The node collection

TTreeNodes::TTreeNodes(TCustomTreeView& AView)
    : FView(AView), FRoot(new TTreeNode(this, nullptr, std::u16string(), nullptr)) {}

TTreeNodes::~TTreeNodes() = default;

int TTreeNodes::Count() const {
  int count = 0;
  for (TTreeNode* n = GetFirstNode(); n; n = n->GetNext()) ++count;
  return count;
}

TTreeNode* TTreeNodes::Item(int AAbsoluteIndex) const {
  int index = 0;
  for (TTreeNode* n = GetFirstNode(); n; n = n->GetNext(), ++index)
    if (index == AAbsoluteIndex) return n;
  throw EProgrammingError(Format(u"Node index out of range (%d)", {AAbsoluteIndex}));
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* AParent, std::u16string AText, void* AData) {
  TTreeNode* parent = AParent ? AParent : FRoot.get();
  parent->FChildren.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(this, parent, std::move(AText), AData)));
  TTreeNode* node = parent->FChildren.back().get();
  if (FView.HandleAllocated()) FView.InsertItem(*node);
  return node;
}

TTreeNode* TTreeNodes::Add(TTreeNode* ASibling, std::u16string AText, void* AData) {
  return AddChild(ASibling ? ASibling->Parent() : nullptr, std::move(AText), AData);
}

void TTreeNodes::Delete(TTreeNode* ANode) {
  FView.NodeDeleting(*ANode);
  auto& siblings = ANode->FParent->FChildren;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](const auto& n) { return n.get() == ANode; }));
}

void TTreeNodes::Clear() {
  while (TTreeNode* node = FRoot->GetFirstChild()) Delete(node);
}

void TTreeNodes::BeginUpdate() {
  if (FUpdateCount++ == 0 && FView.HandleAllocated()) SendMessageW(FView.HandleIfAllocated(), WM_SETREDRAW, FALSE, 0);
}

void TTreeNodes::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0 || !FView.HandleAllocated()) return;
  SendMessageW(FView.HandleIfAllocated(), WM_SETREDRAW, TRUE, 0);
  FView.Invalidate();
}

// ---------------------------------------------------------------------------------------------------------------
// The view

TCustomTreeView::TCustomTreeView(TComponent* AOwner)
    : TWinControl(AOwner), FNodes(std::make_unique<TTreeNodes>(*this)) {
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TCustomTreeView::~TCustomTreeView() {
  // The window goes first (with the control's base), so no notification reaches freed nodes.
  if (HWND window = HandleIfAllocated()) {
    FRebuilding = true;
    SendMessageW(window, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  }
}

TTreeNode* TCustomTreeView::Selected() const {
  HWND window = HandleIfAllocated();
  if (!window || FRebuilding) return FSelected;
  TVITEMW item{};
  item.mask = TVIF_PARAM;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(window, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item.hItem || !SendMessageW(window, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return NodeOfParam(item.lParam);
}

void TCustomTreeView::SetSelected(TTreeNode* AValue) {
  FSelected = AValue;
  if (HWND window = HandleIfAllocated())
    SendMessageW(window, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(ItemOf(AValue)));
}

TTreeNode* TCustomTreeView::GetNodeAt(int X, int Y) const {
  HWND window = HandleIfAllocated();
  if (!window) return nullptr;
  TVHITTESTINFO info{};
  info.pt = POINT{X, Y};
  SendMessageW(window, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
  if (!info.hItem) return nullptr;
  TVITEMW item{};
  item.mask = TVIF_PARAM;
  item.hItem = info.hItem;
  return SendMessageW(window, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? NodeOfParam(item.lParam) : nullptr;
}

THitTests TCustomTreeView::GetHitTestInfoAt(int X, int Y) const {
  HWND window = HandleIfAllocated();
  if (!window) return htNowhere;
  TVHITTESTINFO info{};
  info.pt = POINT{X, Y};
  SendMessageW(window, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
  static constexpr struct {
    UINT Flag;
    THitTest Test;
  } kMap[] = {{TVHT_ABOVE, htAbove},           {TVHT_BELOW, htBelow},         {TVHT_NOWHERE, htNowhere},
              {TVHT_ONITEMBUTTON, htOnButton}, {TVHT_ONITEMICON, htOnIcon},   {TVHT_ONITEMINDENT, htOnIndent},
              {TVHT_ONITEMLABEL, htOnLabel},   {TVHT_ONITEMRIGHT, htOnRight}, {TVHT_ONITEMSTATEICON, htOnStateIcon},
              {TVHT_TOLEFT, htToLeft},         {TVHT_TORIGHT, htToRight}};
  THitTests tests;
  for (const auto& m : kMap)
    if (info.flags & m.Flag) tests |= m.Test;
  return tests;
}

void TCustomTreeView::SetStyle(bool& AField, bool AValue) {
  if (AField == AValue) return;
  AField = AValue;
  RecreateWnd();
}

void TCustomTreeView::SetShowButtons(bool AValue) { SetStyle(FShowButtons, AValue); }
void TCustomTreeView::SetShowLines(bool AValue) { SetStyle(FShowLines, AValue); }
void TCustomTreeView::SetShowRoot(bool AValue) { SetStyle(FShowRoot, AValue); }
void TCustomTreeView::SetRowSelect(bool AValue) { SetStyle(FRowSelect, AValue); }
void TCustomTreeView::SetHideSelection(bool AValue) { SetStyle(FHideSelection, AValue); }
void TCustomTreeView::SetReadOnly(bool AValue) { SetStyle(FReadOnly, AValue); }
void TCustomTreeView::SetToolTips(bool AValue) { SetStyle(FToolTips, AValue); }

void TCustomTreeView::CreateParams(TCreateParams& AParams) {
  TWinControl::CreateParams(AParams);
  AParams.SysClassName = u"SysTreeView32";
  AParams.ExStyle |= WS_EX_CLIENTEDGE;
  if (FShowButtons) AParams.Style |= TVS_HASBUTTONS;
  // The system draws a whole-row selection only without lines.
  if (FShowLines && !FRowSelect) AParams.Style |= TVS_HASLINES;
  if (FShowRoot) AParams.Style |= TVS_LINESATROOT;
  if (FRowSelect) AParams.Style |= TVS_FULLROWSELECT;
  if (!FHideSelection) AParams.Style |= TVS_SHOWSELALWAYS;
  if (!FReadOnly) AParams.Style |= TVS_EDITLABELS;
  AParams.Style |= FToolTips ? TVS_INFOTIP : TVS_NOTOOLTIPS;
}

void TCustomTreeView::InsertItem(TTreeNode& ANode) {
  TTreeNode* previous = ANode.GetPrevSibling();
  TVINSERTSTRUCTW insert{};
  insert.hParent = ANode.Parent() ? ANode.Parent()->FItem : TVI_ROOT;
  insert.hInsertAfter = previous ? previous->FItem : TVI_FIRST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<wchar_t*>(WStr(ANode.FText));
  insert.item.lParam = reinterpret_cast<LPARAM>(&ANode);
  ANode.FItem = reinterpret_cast<HTREEITEM>(
      SendMessageW(HandleIfAllocated(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  if (!ANode.FItem) throw EOSError(u"Cannot insert a tree-view item", GetLastError());
}

void TCustomTreeView::InsertItems(TTreeNode& AParent) {
  for (auto& child : AParent.FChildren) {
    InsertItem(*child);
    InsertItems(*child);
  }
}

void TCustomTreeView::ExpandItems(TTreeNode& AParent) {
  for (auto& child : AParent.FChildren) {
    if (child->FExpanded && child->HasChildren())
      SendMessageW(HandleIfAllocated(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(child->FItem));
    ExpandItems(*child);
  }
}

void TCustomTreeView::ForgetItems(TTreeNode& AParent) {
  for (auto& child : AParent.FChildren) {
    child->FExpanded = child->Expanded();
    child->FItem = nullptr;
    ForgetItems(*child);
  }
}

void TCustomTreeView::CreateWnd() {
  TWinControl::CreateWnd();
  FRebuilding = true;
  try {
    InsertItems(*FNodes->FRoot);
    ExpandItems(*FNodes->FRoot);
    SendMessageW(HandleIfAllocated(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(ItemOf(FSelected)));
  } catch (...) {
    FRebuilding = false;
    throw;
  }
  FRebuilding = false;
}

void TCustomTreeView::DestroyWnd() {
  if (HandleAllocated()) {
    FSelected = Selected();
    ForgetItems(*FNodes->FRoot);
    // The message that would open it again goes with the window.
    if (FKeepOpen) FKeepOpen->FExpanded = true;
    FKeepOpen = nullptr;
  }
  // Destroying the window deletes its items and moves the selection on the way: nothing of that is news.
  FRebuilding = true;
  try {
    TWinControl::DestroyWnd();
  } catch (...) {
    FRebuilding = false;
    throw;
  }
  FRebuilding = false;
}

void TCustomTreeView::NodeDeleting(TTreeNode& ANode) {
  if (HWND window = HandleIfAllocated(); window && ANode.FItem) {
    // The system moves the selection off the item first and tells it (OnChange sees a node still alive).
    SendMessageW(window, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(ANode.FItem));
  }
  if (IsWithin(FSelected, &ANode)) FSelected = nullptr;
  if (IsWithin(FKeepOpen, &ANode)) FKeepOpen = nullptr;
}

void TCustomTreeView::Change(TTreeNode* ANode) {
  if (OnChange) OnChange(this, ANode);
}

bool TCustomTreeView::CanCollapse(TTreeNode* ANode) {
  bool allow = true;
  if (OnCollapsing) OnCollapsing(this, ANode, allow);
  return allow;
}

void TCustomTreeView::DoGetInfoTip(TTreeNode* ANode, std::u16string& AInfoTip) {
  if (OnGetInfoTip) OnGetInfoTip(this, ANode, AInfoTip);
}

void TCustomTreeView::Notify(TNotifyMessage& AMessage) {
  TMessage& message = AMessage.Message;
  if (FRebuilding) return message.Answer(0);
  switch (AMessage.Record.code) {
    case TVN_SELCHANGEDW: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(AMessage.Record);
      FSelected = NodeOfParam(change.itemNew.lParam);
      message.Answer();
      return Change(FSelected);  // last: the handler may free the control
    }
    case TVN_ITEMEXPANDINGW: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(AMessage.Record);
      // TRUE keeps the branch as it is.
      TTreeNode* node = NodeOfParam(change.itemNew.lParam);
      const bool refuse = (change.action & TVE_COLLAPSE) && !CanCollapse(node);
      if (refuse) {
        FKeepOpen = node;
        PostMessageW(HandleIfAllocated(), CM_KEEPBRANCHOPEN, 0, 0);
      }
      return message.Answer(refuse);
    }
    case TVN_ENDLABELEDITW: {
      const auto& edit = reinterpret_cast<const NMTVDISPINFOW&>(AMessage.Record);
      if (!edit.item.pszText) return message.Answer(FALSE);
      NodeOfParam(edit.item.lParam)->FText = FromWide(edit.item.pszText);
      return message.Answer(TRUE);
    }
    case TVN_GETINFOTIPW: {
      auto& tip = reinterpret_cast<NMTVGETINFOTIPW&>(AMessage.Record);
      std::u16string text;
      DoGetInfoTip(NodeOfParam(tip.lParam), text);
      if (tip.pszText && tip.cchTextMax > 0) {
        const size_t length = std::min(text.size(), static_cast<size_t>(tip.cchTextMax - 1));
        std::copy_n(text.data(), length, reinterpret_cast<char16_t*>(tip.pszText));
        tip.pszText[length] = L'\0';
      }
      return message.Answer();
    }
    default:
      break;
  }
}

void TCustomTreeView::KeepBranchOpen() {
  TTreeNode* node = FKeepOpen;
  FKeepOpen = nullptr;
  if (node && node->FItem && !node->Expanded()) node->SetExpanded(true);
}

void TCustomTreeView::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == CM_KEEPBRANCHOPEN) {
    AMessage.Answer();
    return KeepBranchOpen();
  }
  if (AMessage.Msg == CN_NOTIFY) {
    TNotifyMessage notify(AMessage);
    Notify(notify);
    if (AMessage.Handled) return;
  }
  TWinControl::WndProc(AMessage);
}
