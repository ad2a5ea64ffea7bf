#include "controls/baTreeViewEx.h"

#include "foundation/cuWin32.h"
#include "framework/fwApplication.h"
#include "framework/fwMessages.h"

TTreeViewEx::TTreeViewEx(TComponent* AOwner) : TCustomTreeView(AOwner) {
  SetHideSelection(false);
  SetReadOnly(true);
}

void TTreeViewEx::SetCheckboxes(bool AValue) {
  if (AValue == FCheckboxes) return;
  FCheckboxes = AValue;
  RecreateWnd();
}

void TTreeViewEx::SetOnInfoTip(TTVInfoTipEvent AValue) {
  FOnInfoTip = AValue;
  HWND window = HandleIfAllocated();
  if (!window || !FOnInfoTip) return;
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  if (!(style & TVS_INFOTIP)) SetWindowLongPtrW(window, GWL_STYLE, (style | TVS_INFOTIP) & ~TVS_NOTOOLTIPS);
}

void TTreeViewEx::DoInfoTip(TTreeNode* ANode, std::u16string& AInfoTip) {
  if (FOnInfoTip) FOnInfoTip(this, ANode, AInfoTip);
}

void TTreeViewEx::ClickCheck(TTreeNode* ANode) {
  if (OnClickCheck) OnClickCheck(this, ANode);
}

void TTreeViewEx::CreateParams(TCreateParams& AParams) {
  TCustomTreeView::CreateParams(AParams);
  if (FOnInfoTip) AParams.Style = (AParams.Style | TVS_INFOTIP) & ~TVS_NOTOOLTIPS;
}

void TTreeViewEx::CreateWnd() {
  TCustomTreeView::CreateWnd();
  // The control makes its state images only when the style arrives after creation.
  if (FCheckboxes) {
    HWND window = Handle();
    SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | TVS_CHECKBOXES);
  }
}

void TTreeViewEx::ButtonDown(TMessage& AMessage, bool ALeft) {
  const POINT p = TMouseMessage(AMessage).Pos;
  TCustomTreeView::WndProc(AMessage);
  TTreeNode* node = GetNodeAt(p.x, p.y);
  if (!node) return;
  if (Selected() != node) SetSelected(node);
  if (ALeft && FCheckboxes && GetHitTestInfoAt(p.x, p.y).Contains(htOnStateIcon)) ClickCheck(node);
}

void TTreeViewEx::KeyPress(char16_t& AKey) {
  TCustomTreeView::KeyPress(AKey);
  if (AKey == u' ' && FCheckboxes)
    if (TTreeNode* node = Selected()) ClickCheck(node);
}

void TTreeViewEx::HintShow(THintInfo& AInfo) {
  TTreeNode* node = GetNodeAt(AInfo.CursorPos.x, AInfo.CursorPos.y);
  if (!node) return;
  std::u16string tip = node->Text();
  DoInfoTip(node, tip);
  const RECT r = node->DisplayRect(!RowSelect());
  if (!PtInRect(&r, AInfo.CursorPos)) return;
  AInfo.HintStr = tip;
  AInfo.CursorRect = r;
  AInfo.HintPos = ClientToScreen(POINT{r.left + 12, r.top + GetSystemMetrics(SM_CYCURSOR)});
  AInfo.HintMaxWidth = GetSystemMetrics(SM_CXSCREEN) / 2;
}

void TTreeViewEx::WndProc(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_LBUTTONDOWN:
      return ButtonDown(AMessage, true);
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      return ButtonDown(AMessage, false);
    case WM_LBUTTONDBLCLK: {
      const POINT p = TMouseMessage(AMessage).Pos;
      if (!GetNodeAt(p.x, p.y)) return AMessage.Answer();
      break;
    }
    case CM_HINTSHOW:
      HintShow(*reinterpret_cast<THintInfo*>(AMessage.LParam));
      break;
    case CN_NOTIFY:
      if (FOnInfoTip && Application && TNotifyMessage(AMessage).Record.code == TVN_GETINFOTIPW) {
        POINT cursor;
        GetCursorPos(&cursor);
        Application->ActivateHint(cursor);
      }
      break;
    default:
      break;
  }
  TCustomTreeView::WndProc(AMessage);
}
