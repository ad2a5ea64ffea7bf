#include "framework/fwKeyRouting.h"

#include <algorithm>

#include "framework/fwApplication.h"
#include "framework/fwForms.h"
#include "framework/fwWinControls.h"

namespace {

// The control of the window a key went to, or of its nearest ancestor that has one (a system window inside a
// control, such as a combo box's edit).
TWinControl* ControlOfWindow(HWND AWindow) {
  for (HWND window = AWindow; window; window = GetParent(window))
    if (TWinControl* control = FindControl(window)) return control;
  return nullptr;
}

bool Listed(const std::vector<TCustomForm*>& AForms, const TCustomForm* AForm) {
  return std::find(AForms.begin(), AForms.end(), AForm) != AForms.end();
}

// The shown forms embedded anywhere inside AContainer, in the order of its children, depth first.
void AddEmbeddedForms(const TWinControl& AContainer, std::vector<TCustomForm*>& AForms) {
  for (int i = 0; i < AContainer.ControlCount(); ++i) {
    auto* child = dynamic_cast<TWinControl*>(AContainer.Controls(i));
    if (!child) continue;
    if (auto* form = dynamic_cast<TCustomForm*>(child); form && form->Showing() && !Listed(AForms, form))
      AForms.push_back(form);
    AddEmbeddedForms(*child, AForms);
  }
}

// Asks each form's handlers in creation order; a handler that takes the key may free anything, so the walk ends
// there at once.
bool AskForms(const std::vector<TCustomForm*>& AForms, uint16_t AKey, TShiftState AShift, TShortCutPass APass) {
  for (TCustomForm* form : AForms)
    for (int i = 0; i < form->ComponentCount(); ++i)
      if (auto* handler = dynamic_cast<IShortCutHandler*>(form->Components(i)))
        if (handler->HandleShortCut(AKey, AShift, APass)) return true;
  return false;
}

bool ShortCutHook(TApplication*, MSG& AMessage) { return TKeyRouting::ShortCut(AMessage); }

bool IsDialogKeyCandidate(uint16_t AKey, TShiftState AShift) {
  switch (AKey) {
    case VK_TAB:
      return !AShift.ContainsAny(ssCtrl | ssAlt);
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      return !AShift.Contains(ssAlt);
    default:
      return false;
  }
}

bool WantsDialogKey(uint16_t AKey, LRESULT ACode) {
  if (ACode & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return true;
  switch (AKey) {
    case VK_TAB:
      return ACode & DLGC_WANTTAB;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      return ACode & DLGC_WANTARROWS;
    default:
      return false;
  }
}

}  // namespace

void TKeyRouting::InstallShortCuts() {
  if (!Application) return;
  // Taken out first, so a second call leaves one hook.
  const TMessageHook hook = MakeMethod<&ShortCutHook>(Application);
  Application->RemoveMessageHook(hook);
  Application->AddMessageHook(hook);
}

bool TKeyRouting::ShortCut(const MSG& AMessage) {
  if (AMessage.message != WM_KEYDOWN && AMessage.message != WM_SYSKEYDOWN) return false;
  const auto key = static_cast<uint16_t>(AMessage.wParam);
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) return false;
  TWinControl* control = ControlOfWindow(AMessage.hwnd);
  TCustomForm* nearest = control ? GetParentForm(control, false) : nullptr;
  if (!nearest) return false;
  TCustomForm* top = GetParentForm(control);
  // A modal form's loop lets only its own forms answer.
  if (Application && Application->ModalLevel() > 0 && !top->Modal()) return false;
  std::vector<TCustomForm*> forms;
  for (TControl* c = nearest; c; c = c->Parent())
    if (auto* form = dynamic_cast<TCustomForm*>(c)) forms.push_back(form);
  AddEmbeddedForms(*top, forms);
  const TShiftState shift = KeyDataToShiftState(AMessage.lParam) & (ssShift | ssCtrl | ssAlt);
  return AskForms(forms, key, shift, TShortCutPass::spActions) ||
         AskForms(forms, key, shift, TShortCutPass::spMenuItems);
}

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
  // An Alt character is never typed: it belongs to the accelerators and the menu's mnemonics. (AltGr characters
  // come as WM_CHAR.)
  if (!AMessage.System()) {
    for (TWinControl* previewer : Previewers(AControl)) {
      previewer->KeyPress(AMessage.Char);
      if (AMessage.Char == 0) return message.Answer();
    }
    AControl.KeyPress(AMessage.Char);
    if (AMessage.Char == 0) return message.Answer();
  }
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
    if (c->CanFocus() && (!ACheckTabStop || c->TabStop()) && (!ACheckParent || c->Parent() == &AContainer)) return c;
  }
  return nullptr;
}
