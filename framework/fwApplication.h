// The application object: the program's single message loop, idle processing, pre-dispatch hooks, modal level,
// session end, and the boundary where exceptions from handlers are caught and reported.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/cuHandlerList.h"
#include "foundation/cuWin32.h"
#include "framework/fwComponents.h"
#include "framework/fwGraphics.h"

class TApplicationHints;
class THintWindow;
class TUtilityWindow;
struct TMessage;

// What the application needs of a form. The forms of the framework implement it; CreateForm makes the first
// component that implements it the main form.
class IApplicationForm {
 public:
  // The form's window, made when it does not exist yet.
  virtual HWND FormHandle() = 0;
  virtual void FormShow() = 0;
  // Runs the form's close query; false when the form refuses to close.
  virtual bool FormCloseQuery() = 0;
  virtual bool FormStaysOnTop() = 0;

 protected:
  ~IApplicationForm() = default;
};

// Idle handlers clear ADone to be called again before the loop waits for the next message.
using TIdleEvent = TMethod<void(TObject* ASender, bool& ADone)>;
// Runs before a message is translated and dispatched; true keeps it from being dispatched.
using TMessageHook = TMethod<bool(MSG& AMessage)>;
// Replaces the default exception report (a message box).
using TExceptionEvent = TMethod<void(TObject* ASender, const std::u16string& AMessage)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner = nullptr);
  ~TApplication() override;

  const std::u16string& Title() const { return FTitle; }
  void SetTitle(std::u16string AValue);
  // Whether Run shows the main form first (default true).
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool AValue) { FShowMainForm = AValue; }
  TColor HintColor() const { return FHintColor; }
  void SetHintColor(TColor AValue) { FHintColor = AValue; }

  // Hints (fwHints). The pause of the pointer before a hint shows (500 ms), the shorter one after a hint was
  // showing (50 ms), and how long a hint stays when its control asks for no other time (2500 ms).
  int HintPause() const { return FHintPause; }
  void SetHintPause(int AValue) { FHintPause = AValue; }
  int HintShortPause() const { return FHintShortPause; }
  void SetHintShortPause(int AValue) { FHintShortPause = AValue; }
  int HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(int AValue) { FHintHidePause = AValue; }
  // Asks the control under a screen point for its hint now and shows it.
  void ActivateHint(POINT AScreenPos);
  // Hides the hint and forgets its control: the next pointer move starts the pause again.
  void CancelHint();
  // Hides the hint window only.
  void HideHint();
  // The window of the last hint shown (nil before the first).
  THintWindow* HintWindow() const;

  // Creates a form or data module owned by the application into ARef (set before its constructor runs; further
  // arguments go to the constructor after the owner). The first component created this way that is a form
  // becomes the main form.
  template <class T, class... TArgs>
  T* CreateForm(T*& ARef, TArgs&&... AArgs) {
    T* obj = NewInto(ARef, this, std::forward<TArgs>(AArgs)...);
    FormCreated(obj);
    return obj;
  }
  TComponent* MainForm() const { return FMainForm; }
  // The main form as a form (nil without one).
  IApplicationForm* MainFormInterface() const;

  // Shows the main form (unless ShowMainForm is off) and handles messages until Terminate.
  void Run();
  // Ends the loop: WM_QUIT is posted and seen by the running loop.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles one message, or runs the idle handlers and waits when the queue is empty.
  void HandleMessage();
  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();

  // Nested modal loops (modal forms, message boxes) raise and lower this.
  int ModalLevel() const { return FModalLevel; }
  void ModalStarted() { ++FModalLevel; }
  void ModalFinished() {
    if (FModalLevel > 0) --FModalLevel;
  }

  // Restores a minimised main form; brings the main form, or the box open over it, to the top and the foreground.
  void Restore();
  void BringToFront();

  // A modal message box owned by the active window; an empty caption takes the title. Raises the modal level
  // while it is shown. Returns the button pressed.
  int MessageBox(const std::u16string& AText, const std::u16string& ACaption, UINT AFlags);

  // Reports the exception being handled (call only inside a catch block): OnException when assigned, else
  // ShowException. Never raises.
  void HandleException(TObject* ASender) noexcept;
  // The default report: a message box with the title as caption and the message as text.
  void ShowException(const std::u16string& AMessage);
  TExceptionEvent OnException;

  // Runs while the loop is idle, in the order added.
  void AddIdleHandler(TIdleEvent AHandler);
  void RemoveIdleHandler(TIdleEvent AHandler);
  // Keyboard shortcuts and similar filters: each hook sees every message before dispatch, in the order added.
  void AddMessageHook(TMessageHook AHook);
  void RemoveMessageHook(TMessageHook AHook);
  // Modeless dialog windows: their messages go through IsDialogMessageW.
  void AddDialogWindow(HWND AWindow);
  void RemoveDialogWindow(HWND AWindow);

  // The application's hidden window (answers the session messages).
  HWND Handle() const;

  // WM_QUERYENDSESSION: the main form's close query decides, at once. The system waits on the answer and flags a
  // program that keeps it waiting: while the query runs InSessionQuery is true, and nothing it runs may wait on the
  // user (a message box); a form that refuses says why with BlockEndSession and reports more after the question.
  // Every question first withdraws the reason of the one before.
  bool QueryEndSession();
  bool InSessionQuery() const { return FInSessionQuery; }
  // Registers AReason for the system to show beside the program while it keeps the session from ending
  // (ShutdownBlockReasonCreate on the application's window), until AllowEndSession, the next question or the
  // session's end.
  void BlockEndSession(const std::u16string& AReason);
  void AllowEndSession();
  // The reason registered; none while the session may end.
  const std::optional<std::u16string>& EndSessionBlockReason() const { return FEndSessionBlockReason; }
  // WM_ENDSESSION (the session really ends): the loop is marked terminated, the application's forms and data
  // modules are freed last created first, then OnEndSession runs (where the program ends its units), all before
  // the message returns.
  void EndSession();
  TNotifyEvent OnEndSession;

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  void FormCreated(TComponent* AComponent);
  bool ProcessMessage(MSG& AMessage);
  bool PreDispatch(MSG& AMessage);
  void Idle();
  void WindowMessage(TMessage& AMessage);

  std::u16string FTitle;
  bool FShowMainForm = true;
  bool FTerminated = false;
  bool FInSessionQuery = false;
  std::optional<std::u16string> FEndSessionBlockReason;
  int FModalLevel = 0;
  TColor FHintColor = clInfoBk;
  int FHintPause = 500;
  int FHintShortPause = 50;
  int FHintHidePause = 2500;
  TComponent* FMainForm = nullptr;
  // Handlers may add or remove handlers while they run.
  THandlerList<TIdleEvent> FIdleHandlers;
  THandlerList<TMessageHook> FMessageHooks;
  std::vector<HWND> FDialogWindows;
  std::unique_ptr<TUtilityWindow> FWindow;
  std::unique_ptr<TApplicationHints, TComponentDeleter> FHints;
};

// The program's application object; exists between StartApplication and EndApplication.
extern TApplication* Application;

// Start-up: COM (OLE) on this thread, the common controls, the application object.
void StartApplication();
// Shut-down: frees the application object (its forms and data modules first), then COM.
void EndApplication();

// ---------------------------------------------------------------------------------------------------------------
// The exception boundary. Nothing may unwind through a Win32 callback: every window procedure, timer tick and
// hook of the framework runs its handler through CallGuarded.

// The message of the exception being handled ("Unknown exception" for one that carries none).
std::u16string CurrentExceptionMessage();
// Reports the exception being handled through the application object, or in a plain message box when there is
// none. Call only inside a catch block.
void HandleCallbackException() noexcept;

template <class F>
bool CallGuarded(F&& AFunc) noexcept {
  try {
    AFunc();
    return true;
  } catch (...) {
    HandleCallbackException();
    return false;
  }
}
