#include "framework/fwApplication.h"

#include <algorithm>

#include "framework/fwHints.h"
#include "framework/fwMessages.h"
#include "framework/fwScreen.h"
#include "framework/fwUtilityWindow.h"

TApplication* Application = nullptr;

namespace {

template <class T>
void RemoveFirst(std::vector<T>& AList, const T& AItem) {
  auto it = std::find(AList.begin(), AList.end(), AItem);
  if (it != AList.end()) AList.erase(it);
}

// Raises the modal level for one scope.
class TModalScope {
 public:
  explicit TModalScope(TApplication* AApplication) : FApplication(AApplication) {
    if (FApplication) FApplication->ModalStarted();
  }
  ~TModalScope() {
    if (FApplication) FApplication->ModalFinished();
  }
  TModalScope(const TModalScope&) = delete;
  TModalScope& operator=(const TModalScope&) = delete;

 private:
  TApplication* FApplication;
};

// The window that takes the keyboard when the program comes forward: the main form's, or while a box has disabled
// it, the uppermost shown and enabled window it owns. (Wine's GetLastActivePopup gives the main form's own window
// even while a box is open over it.)
HWND FrontWindow(HWND AMain) {
  if (IsWindowEnabled(AMain)) return AMain;
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == AMain || !IsWindowVisible(w) || !IsWindowEnabled(w)) continue;
    for (HWND owner = GetWindow(w, GW_OWNER); owner; owner = GetWindow(owner, GW_OWNER))
      if (owner == AMain) return w;
  }
  return nullptr;
}

}  // namespace

std::u16string CurrentExceptionMessage() {
  if (!std::current_exception()) return u"Unknown exception";
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return Utf8ToUtf16(e.what());
  } catch (...) {
    return u"Unknown exception";
  }
}

void HandleCallbackException() noexcept {
  if (Application) {
    Application->HandleException(nullptr);
    return;
  }
  try {
    std::u16string text = CurrentExceptionMessage();
    MessageBoxW(GetActiveWindow(), WStr(text), nullptr, MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  } catch (...) {
    // Nothing is left that could report it.
  }
}

// ---------------------------------------------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = std::make_unique<TUtilityWindow>(MakeMethod<&TApplication::WindowMessage>(this));
  // First of the message hooks: a key that a shortcut consumes still takes the hint away.
  FHints.reset(new TApplicationHints(*this));
}

TApplication::~TApplication() {
  // Forms and data modules go while the application can still serve them.
  DestroyComponents();
  FHints.reset();
  FWindow.reset();
}

void TApplication::ActivateHint(POINT AScreenPos) { FHints->ActivateHint(AScreenPos); }

void TApplication::CancelHint() { FHints->CancelHint(); }

void TApplication::HideHint() { FHints->HideHint(); }

THintWindow* TApplication::HintWindow() const { return FHints->HintWindow(); }

void TApplication::SetTitle(std::u16string AValue) {
  FTitle = std::move(AValue);
  SetWindowTextW(FWindow->Handle(), WStr(FTitle));
}

HWND TApplication::Handle() const { return FWindow->Handle(); }

void TApplication::FormCreated(TComponent* AComponent) {
  if (!FMainForm && dynamic_cast<IApplicationForm*>(AComponent)) FMainForm = AComponent;
}

IApplicationForm* TApplication::MainFormInterface() const { return dynamic_cast<IApplicationForm*>(FMainForm); }

void TApplication::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FMainForm) {
    FMainForm = nullptr;
    // A freed main form ends the program as its closing would.
    if (!IsDestroying() && !FTerminated) Terminate();
  }
}

void TApplication::Run() {
  if (IApplicationForm* form = MainFormInterface(); form && FShowMainForm) form->FormShow();
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg)) Idle();
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

bool TApplication::ProcessMessage(MSG& AMessage) {
  if (!PeekMessageW(&AMessage, nullptr, 0, 0, PM_REMOVE)) return false;
  if (AMessage.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  try {
    if (!PreDispatch(AMessage)) {
      TranslateMessage(&AMessage);
      DispatchMessageW(&AMessage);
    }
  } catch (...) {
    HandleException(this);
  }
  return true;
}

bool TApplication::PreDispatch(MSG& AMessage) {
  bool handled = false;
  FMessageHooks.FireForward([&](const TMessageHook& AHook) {
    if (!handled) handled = AHook(AMessage);
  });
  if (handled) return true;
  for (HWND dialog : std::vector<HWND>(FDialogWindows)) {
    if (!IsWindow(dialog)) continue;
    if ((AMessage.hwnd == dialog || IsChild(dialog, AMessage.hwnd)) && IsDialogMessageW(dialog, &AMessage)) return true;
  }
  return false;
}

void TApplication::Idle() {
  bool done = true;
  try {
    FIdleHandlers.FireForward([&](const TIdleEvent& AHandler) { AHandler(this, done); });
  } catch (...) {
    HandleException(this);
  }
  if (done) WaitMessage();
}

void TApplication::AddIdleHandler(TIdleEvent AHandler) { FIdleHandlers.Add(AHandler); }

void TApplication::RemoveIdleHandler(TIdleEvent AHandler) { FIdleHandlers.Remove(AHandler); }

void TApplication::AddMessageHook(TMessageHook AHook) { FMessageHooks.Add(AHook); }

void TApplication::RemoveMessageHook(TMessageHook AHook) { FMessageHooks.Remove(AHook); }

void TApplication::AddDialogWindow(HWND AWindow) {
  if (std::find(FDialogWindows.begin(), FDialogWindows.end(), AWindow) == FDialogWindows.end())
    FDialogWindows.push_back(AWindow);
}

void TApplication::RemoveDialogWindow(HWND AWindow) { RemoveFirst(FDialogWindows, AWindow); }

void TApplication::Restore() {
  if (IApplicationForm* form = MainFormInterface()) {
    HWND wnd = form->FormHandle();
    if (IsIconic(wnd)) ShowWindow(wnd, SW_RESTORE);
  }
}

void TApplication::BringToFront() {
  if (IApplicationForm* form = MainFormInterface()) {
    HWND wnd = FrontWindow(form->FormHandle());
    if (!wnd || !IsWindowVisible(wnd)) return;
    // Raised as well: activation alone leaves a box under its window when that window was raised after it.
    SetWindowPos(wnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(wnd);
  }
}

int TApplication::MessageBox(const std::u16string& AText, const std::u16string& ACaption, UINT AFlags) {
  HWND owner = GetActiveWindow();
  if (!owner) {
    if (IApplicationForm* form = MainFormInterface()) {
      HWND wnd = form->FormHandle();
      if (IsWindowVisible(wnd)) owner = wnd;
    }
  }
  const std::u16string& caption = ACaption.empty() ? FTitle : ACaption;
  TModalScope modal(this);
  return MessageBoxW(owner, WStr(AText), WStr(caption), AFlags);
}

void TApplication::HandleException(TObject* ASender) noexcept {
  try {
    std::u16string text = CurrentExceptionMessage();
    if (OnException)
      OnException(ASender, text);
    else
      ShowException(text);
  } catch (...) {
    // A report that fails itself is dropped: the loop must go on.
  }
}

void TApplication::ShowException(const std::u16string& AMessage) { MessageBox(AMessage, FTitle, MB_OK | MB_ICONSTOP); }

bool TApplication::QueryEndSession() {
  AllowEndSession();
  IApplicationForm* form = MainFormInterface();
  if (!form) return true;
  FInSessionQuery = true;
  struct TAsking {
    bool& Flag;
    ~TAsking() { Flag = false; }
  } asking{FInSessionQuery};
  return form->FormCloseQuery();
}

void TApplication::BlockEndSession(const std::u16string& AReason) {
  FEndSessionBlockReason = AReason;
  ShutdownBlockReasonCreate(Handle(), WStr(AReason));
}

void TApplication::AllowEndSession() {
  if (!FEndSessionBlockReason) return;
  FEndSessionBlockReason.reset();
  ShutdownBlockReasonDestroy(Handle());
}

void TApplication::EndSession() {
  FTerminated = true;
  DestroyComponents();
  if (OnEndSession) OnEndSession(this);
}

void TApplication::WindowMessage(TMessage& AMessage) {
  switch (AMessage.Msg) {
    case WM_QUERYENDSESSION:
      AMessage.Answer(QueryEndSession() ? TRUE : FALSE);
      break;
    case WM_ENDSESSION:
      AllowEndSession();
      if (AMessage.WParam) EndSession();
      AMessage.Answer();
      break;
    case WM_ACTIVATEAPP:
      if (!AMessage.WParam) CancelHint();
      break;
    case WM_SETTINGCHANGE:
      if (Screen && AMessage.WParam == SPI_SETNONCLIENTMETRICS) Screen->UpdateFonts();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------------------------

void StartApplication() {
  HRESULT hr = OleInitialize(nullptr);
  if (FAILED(hr)) throw EOSError(u"Cannot initialise COM on the user-interface thread", static_cast<uint32_t>(hr));
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&icc);
  try {
    Application = New<TApplication>(nullptr);
  } catch (...) {
    OleUninitialize();
    throw;
  }
}

void EndApplication() {
  // Forms and data modules go first, while the global still names the application they may ask for; the
  // application counts as destroying, so a main form going now ends no loop.
  if (Application) {
    Application->Destroying();
    Application->DestroyComponents();
  }
  FreeAndNil(Application);
  OleUninitialize();
}
