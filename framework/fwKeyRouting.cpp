#include "framework/fwKeyRouting.h"

#include <algorithm>

#include "framework/fwWinControls.h"

namespace {

bool IsDialogKeyCandidate(uint16_t AKey, TShiftState AShift) {
  switch (AKey) {
    case VK_TAB: return !AShift.ContainsAny(ssCtrl | ssAlt);
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return !AShift.Contains(ssAlt);
    default: return false;
  }
}

bool WantsDialogKey(uint16_t AKey, LRESULT ACode) {
  if (ACode & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return true;
  switch (AKey) {
    case VK_TAB: return ACode & DLGC_WANTTAB;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return ACode & DLGC_WANTARROWS;
    default: return false;
  }
}

}  // namespace

std::vector<TWinControl*> TKeyRouting::Previewers(const TWinControl& AControl) {
  std::vector<TWinControl*> previewers;
  for (TWinControl* p = AControl.Parent(); p; p = p->Parent())
    if (p->PreviewsKeys()) previewers.push_back(p);
  std::reverse(previewers.begin(), previewers.end());
  return previewers;
}

LRESULT TKeyRouting::DialogCode(TWinControl& AControl, const TMessage& AMessage) {
  HWND window = AControl.HandleIfAllocated();
  if (!window) return 0;
  MSG msg{AMessage.Wnd, AMessage.Msg, AMessage.WParam, AMessage.LParam, 0, {0, 0}};
  return SendMessageW(window, WM_GETDLGCODE, AMessage.WParam, reinterpret_cast<LPARAM>(&msg));
}

void TKeyRouting::PassOn(TWinControl& AControl, TMessage& AMessage, WPARAM AValue) {
  AMessage.WParam = AValue;
  AControl.AnswerByDefault(AMessage);
}

void TKeyRouting::KeyDown(TWinControl& AControl, TKeyMessage& AMessage) {
  TMessage& message = AMessage.Message;
  const HWND window = message.Wnd;
  for (TWinControl* previewer : Previewers(AControl)) {
    previewer->KeyDown(AMessage.Key, AMessage.Shift);
    if (AMessage.Key == 0) return message.Answer();
  }
  AControl.KeyDown(AMessage.Key, AMessage.Shift);
  if (AMessage.Key == 0) return message.Answer();
  if (IsDialogKeyCandidate(AMessage.Key, AMessage.Shift) &&
      !WantsDialogKey(AMessage.Key, DialogCode(AControl, message))) {
    // The translation of this key is already queued. It is taken out before the dialog key runs (a click may
    // run a nested loop that would deliver it) and put back only when the key was not consumed.
    const UINT charMsg = AMessage.System() ? WM_SYSCHAR : WM_CHAR;
    MSG pending;
    const bool hadChar = PeekMessageW(&pending, window, charMsg, charMsg, PM_REMOVE | PM_NOYIELD);
    if (AControl.TopParent()->Perform(CM_DIALOGKEY, AMessage.Key, AMessage.KeyData) != 0) return message.Answer();
    if (hadChar) PostMessageW(pending.hwnd, pending.message, pending.wParam, pending.lParam);
  }
  PassOn(AControl, message, AMessage.Key);
}

void TKeyRouting::KeyUp(TWinControl& AControl, TKeyMessage& AMessage) {
  TMessage& message = AMessage.Message;
  for (TWinControl* previewer : Previewers(AControl)) {
    previewer->KeyUp(AMessage.Key, AMessage.Shift);
    if (AMessage.Key == 0) return message.Answer();
  }
  AControl.KeyUp(AMessage.Key, AMessage.Shift);
  if (AMessage.Key == 0) return message.Answer();
  PassOn(AControl, message, AMessage.Key);
}

void TKeyRouting::Char(TWinControl& AControl, TCharMessage& AMessage) {
  TMessage& message = AMessage.Message;
  for (TWinControl* previewer : Previewers(AControl)) {
    previewer->KeyPress(AMessage.Char);
    if (AMessage.Char == 0) return message.Answer();
  }
  AControl.KeyPress(AMessage.Char);
  if (AMessage.Char == 0) return message.Answer();
  if (AMessage.System() || !(DialogCode(AControl, message) & DLGC_WANTCHARS)) {
    if (AControl.TopParent()->Perform(CM_DIALOGCHAR, AMessage.Char, AMessage.KeyData) != 0) return message.Answer();
  }
  PassOn(AControl, message, AMessage.Char);
}

void TKeyRouting::TabOrderList(const TWinControl& AContainer, std::vector<TWinControl*>& AList) {
  for (TWinControl* child : AContainer.FTabList) {
    AList.push_back(child);
    TabOrderList(*child, AList);
  }
}

TWinControl* TKeyRouting::FindNext(const TWinControl& AContainer, TWinControl* ACurrent, bool AForward,
                                   bool ACheckTabStop, bool ACheckParent) {
  std::vector<TWinControl*> list;
  TabOrderList(AContainer, list);
  const int count = static_cast<int>(list.size());
  if (count == 0) return nullptr;
  auto found = std::find(list.begin(), list.end(), ACurrent);
  const int start = found == list.end() ? (AForward ? -1 : count) : static_cast<int>(found - list.begin());
  for (int step = 1; step <= count; ++step) {
    const int i = ((AForward ? start + step : start - step) % count + count) % count;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == ACurrent) continue;
    if (c->CanFocus() && (!ACheckTabStop || c->TabStop()) && (!ACheckParent || c->Parent() == &AContainer))
      return c;
  }
  return nullptr;
}
