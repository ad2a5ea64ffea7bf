// Forms: top-level windows with border, caption and icons, placed by rule, shown modeless or modal, closed through
// a close query, keeping the active control and telling focus changes; forms embedded in other controls; the
// form placement stored in knots.
#pragma once

#include <cstdint>
#include <utility>

#include "foundation/cuKnot.h"
#include "framework/fwApplication.h"
#include "framework/fwWinControls.h"

enum class TPosition : uint8_t {
  poDesigned,        // the bounds as set
  poDefault,         // the system chooses the position
  poScreenCenter,    // centred in the work area
  poMainFormCenter,  // centred on the main form (the work area when it is not shown)
  poOwnerFormCenter  // centred on the owning form (else as poMainFormCenter)
};

enum class TFormStyle : uint8_t { fsNormal, fsStayOnTop };

// The buttons of a form's caption.
enum class TBorderIcon : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
constexpr bool IsFlagFamily(TBorderIcon) { return true; }
using enum TBorderIcon;
using TBorderIcons = TSet<TBorderIcon>;

enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY,
                       mrIgnore = IDIGNORE, mrYes = IDYES, mrNo = IDNO, mrClose = IDCLOSE;

using TCloseEvent = TMethod<void(TObject* ASender, TCloseAction& AAction)>;
using TCloseQueryEvent = TMethod<void(TObject* ASender, bool& ACanClose)>;

// A form. Create it with New, NewInto, Application->CreateForm or CreateEmbeddedForm: OnCreate runs after the
// construction and loading phase. Its window is made on first use of Handle or at the first show, with the
// form's class name as window class name. Without a parent it is a top-level window (owned by the main form's
// window when there is one); with a parent it is a child window (an embedded form).
class TCustomForm : public TCustomControl, public IApplicationForm {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  void AfterConstruction() override;

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle AValue);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons AValue);
  // A change of style makes the window again.
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle AValue);
  // Applied whenever a hidden form is shown.
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition AValue);
  TFormWindowState WindowState() const { return FWindowState; }
  void SetWindowState(TFormWindowState AValue);
  // The bounds of the form when neither minimised nor maximised (a minimised form also reports them as its
  // Left, Top, Width and Height).
  RECT RestoredBounds() const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  // The form's OnKeyDown, OnKeyPress and OnKeyUp see the keys of its controls before they do.
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool AValue) { FKeyPreview = AValue; }

  // Shows the form (applying Position, then OnShow) and brings it to the front.
  void Show();
  void SetVisible(bool AValue) override;
  // The close query (OnCloseQuery) decides; then OnClose chooses the action (hide by default). The main form
  // ends the application instead; a modal form takes mrCancel as its modal result.
  void Close();
  virtual bool CloseQuery();
  // Frees the form once the messages queued for it are handled.
  void Release();
  // Disables the other top-level windows of the thread, shows the form and handles messages until ModalResult
  // is set and the close query agrees; raises the application's modal level meanwhile. The form is hidden
  // afterwards, not freed.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult AValue) { FModalResult = AValue; }
  bool Modal() const { return FModal; }
  // The form's window is the active window.
  bool Active() const;

  // The control that has the focus while the form is active, or gets it when the form is activated.
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* AControl);
  // The first control in tab order takes the focus.
  void SelectFirst();
  void SetFocusedControl(TWinControl* AControl) override;
  void DefocusControl(TControl* AControl, bool ARemoving) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // What the application needs of a form.
  HWND FormHandle() override { return Handle(); }
  void FormShow() override { Show(); }
  bool FormCloseQuery() override { return CloseQuery(); }
  bool FormStaysOnTop() override { return FFormStyle == TFormStyle::fsStayOnTop; }

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void DestroyWnd() override;
  void WndProc(TMessage& AMessage) override;
  void Paint() override;
  bool PreviewsKeys() const override { return FKeyPreview; }
  void FocusChild(TWinControl* AControl) override;
  void ShowWindowState(bool AVisible) override;
  void BeforeDestruction() override;

  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& AAction);

 private:
  void ApplyPosition();
  void Activated(TActivateMessage& AMessage);
  bool DialogKey(TMessage& AMessage);
  void Sized(const TSizeMessage& AMessage);
  void LimitTracking(TMinMaxInfoMessage& AMessage);
  void CloseModal();
  bool IsMainForm() const;

  TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TFormStyle FFormStyle = TFormStyle::fsNormal;
  TPosition FPosition = TPosition::poDesigned;
  TFormWindowState FWindowState = TFormWindowState::wsNormal;
  bool FKeyPreview = false;
  bool FCreated = false;
  bool FDestroyed = false;
  bool FModal = false;
  TModalResult FModalResult = mrNone;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// The outermost form on AControl's parent chain (AControl itself included), or with ATopForm false the nearest
// one; nil when there is none.
TCustomForm* GetParentForm(const TControl* AControl, bool ATopForm = true);

// Makes a form live inside AParent: aligned as asked, its border removed, its client size kept, a child of
// AParent, shown or hidden. Its keys (KeyPreview, OnKeyDown) and the shortcuts of its actions stay live.
void EmbedForm(TCustomForm& AForm, TWinControl& AParent, TAlign AAlign, bool AVisible);

// Creates a form owned by AParent into AForm (set before the constructor runs, cleared when it raises; further
// arguments go to the constructor after the owner) and embeds it.
template <class T, class... TArgs>
T* CreateEmbeddedForm(T*& AForm, TWinControl& AParent, TAlign AAlign, bool AVisible, TArgs&&... AArgs) {
  NewInto(AForm, &AParent, std::forward<TArgs>(AArgs)...);
  EmbedForm(*AForm, AParent, AAlign, AVisible);
  return AForm;
}

// The form's place in a knot: its restored rectangle (never the minimised one) and whether it is maximised.
void WriteFormPlacement(TKnot& AKnot, TCustomForm& AForm);
void ReadFormPlacement(TKnot& AKnot, TCustomForm& AForm);
