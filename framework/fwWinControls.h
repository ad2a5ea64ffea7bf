// Windowed controls: window classes and creation parameters, the window procedure that decodes every message and
// dispatches it to the handlers, re-creation of windows with their children, reflected notifications, the wheel
// accumulator, and the custom control that paints itself on its own canvas. The control owns the window and the
// dispatch; its windowless children (fwWindowlessChildren), key and focus routing (fwKeyRouting) and alignment
// (fwAlignment) live in units of their own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwControls.h"
#include "framework/fwGraphics.h"
#include "framework/fwWindowlessChildren.h"

// What CreateWnd makes a window from. CreateParams fills it; overrides change what they need.
struct TCreateParams {
  std::u16string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  // The window class: its name (by default the control's class name), its class style and icon (used when the
  // class is registered, i.e. by the first window of that name), and the system class it is made from ("EDIT",
  // "BUTTON"...; empty: none).
  std::u16string WinClassName;
  UINT WindowClassStyle = 0;
  HICON ClassIcon = nullptr;
  std::u16string SysClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window, made on first use (after the parent's: a parent's window makes its children's windows too).
  HWND Handle();
  HWND HandleIfAllocated() const { return FHandle; }
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded();
  // Destroys the window with its children's and makes them again with the same text, bounds, visibility,
  // enabled state and focus.
  void RecreateWnd();
  // The window a parentless control lives in (not used by forms).
  HWND ParentWindow() const { return FParentWindow; }
  void SetParentWindow(HWND AValue);

  // The 3-D look (default on), which bordered controls turn into a client edge while visual styles are on. With
  // ParentCtl3D (default on) the parent's setting counts; setting it on the control clears ParentCtl3D. A change
  // sends CM_CTL3DCHANGED.
  bool Ctl3D() const { return FCtl3D.Value(); }
  void SetCtl3D(bool AValue);
  bool ParentCtl3D() const { return FCtl3D.FromParent(); }
  void SetParentCtl3D(bool AValue);

  // Children: windowless ones first (in painting order), then windowed ones (bottom to top).
  int ControlCount() const { return static_cast<int>(FWindowless.List().size() + FWinControls.size()); }
  TControl* Controls(int AIndex) const;
  bool ContainsControl(const TControl* AControl) const;
  // The windowless child at a client point, the topmost first (with AAllowWinControls windowed children too,
  // which lie above all windowless ones); invisible children are skipped, disabled ones unless allowed.
  TControl* ControlAtPos(POINT APos, bool AAllowDisabled, bool AAllowWinControls = false) const;
  // The message goes to every child in turn until one answers with a non-zero result.
  void Broadcast(TMessage& AMessage);
  // Tells every child that a property it may follow changed here (CM_PARENT... notices).
  void NotifyChildren(UINT ANotice);

  // Alignment: aligned children fill the client area less the padding; top ones first (by their top), then
  // bottom (lowest first), left (by their left), right (rightmost first), then the client one.
  TMargins& Padding() { return FPadding; }
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();
  void Realign();

  // Focus.
  void SetFocus();
  bool Focused() const;
  // Visible and enabled, and so is every parent.
  virtual bool CanFocus() const;
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool AValue);
  // Position among the parent's windowed children in tab order.
  int TabOrder() const;
  void SetTabOrder(int AValue);
  // The windowed descendants in tab order, each followed by its own.
  void GetTabOrderList(std::vector<TWinControl*>& AList) const;
  // The next focusable descendant after ACurrent in tab order (wrapping), or nil.
  TWinControl* FindNextControl(TWinControl* ACurrent, bool AForward, bool ACheckTabStop, bool ACheckParent) const;
  void SelectNext(TWinControl* ACurrent, bool AForward, bool ACheckTabStop);
  // The focus arrived at AControl (a descendant, or this control). The top of a parent chain is told; forms keep
  // their active control and send the enter and exit notifications.
  virtual void SetFocusedControl(TWinControl* AControl);
  // AControl (a descendant) is being hidden, disabled or taken out (ARemoving): a focus inside it is given up.
  virtual void DefocusControl(TControl* AControl, bool ARemoving);

  // Painting.
  void Invalidate() override;
  void InvalidateRect(const RECT& ARect, bool AErase);
  void Update() override;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetParent(TWinControl* AParent) override;
  void SetVisible(bool AValue) override;
  bool Showing() const override { return FShowing; }
  POINT ClientOrigin() const override;
  // A windowed control holds the system's capture itself.
  bool MouseCapture() const override;
  void SetMouseCapture(bool AValue) override;
  void BringToFront() override;
  void SendToBack() override;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;

 protected:
  friend class TControl;
  friend class TKeyRouting;
  friend class TWindowlessChildren;

  virtual void CreateParams(TCreateParams& AParams);
  // Makes the window (CreateParams, class registration, CreateWindowExW). Overrides call the inherited one
  // first; the children's windows are made after it returns.
  virtual void CreateWnd();
  // Destroys the window; the text is kept. Overrides call the inherited one last.
  virtual void DestroyWnd();
  // CreateWnd, then the children's windows, then alignment.
  void CreateHandle();
  // The children's windows, then DestroyWnd.
  void DestroyHandle();

  void WndProc(TMessage& AMessage) override;
  void DefaultHandler(TMessage& AMessage) override;

  RECT GetClientRect() const override;
  std::u16string GetText() const override;
  void SetTextValue(const std::u16string& AValue) override;

  // The control's own painting, before its windowless children are painted over it.
  virtual void PaintWindow(HDC ADC) {}
  void PaintHandler(HDC ADC);
  void PaintControls(HDC ADC);
  // Places the aligned and anchored children in ARect.
  virtual void AlignControls(RECT& ARect);

  // The key routing stages of this control (see the framework's README): each fires its event; a key set to 0
  // is consumed.
  virtual void KeyDown(uint16_t& AKey, TShiftState AShift);
  virtual void KeyUp(uint16_t& AKey, TShiftState AShift);
  virtual void KeyPress(char16_t& AKey);
  // Whether this control previews the keys of its descendants (forms with KeyPreview).
  virtual bool PreviewsKeys() const { return false; }
  // Gives the focus to AControl, a descendant; the top of a parent chain is asked.
  virtual void FocusChild(TWinControl* AControl);

  virtual void DoEnter();
  virtual void DoExit();
  // OnMouseWheel, then per full wheel step (WHEEL_DELTA, accumulated over partial deltas) DoMouseWheelDown or
  // DoMouseWheelUp. True when handled; an unhandled wheel goes on to the parent.
  virtual bool DoMouseWheel(TShiftState AShift, int AWheelDelta, POINT AMousePos);
  virtual bool DoMouseWheelDown(TShiftState AShift, POINT AMousePos);
  virtual bool DoMouseWheelUp(TShiftState AShift, POINT AMousePos);

  void BeforeDestruction() override;
  void FreeContexts() override;
  bool MakesOwnClicks() const override { return FOwnClass; }
  void TakeParentValues() override;

  // The outermost windowed control of this one's parent chain (itself when it has no parent).
  TWinControl* TopParent();
  // Updates the showing state from the visibility of this control and its parents and tells the change
  // (CM_SHOWINGCHANGED), then does the same for the windowed children.
  void UpdateShowing();
  // Shows or hides the window after a change of Visible; forms show themselves their own way.
  virtual void ShowWindowState(bool AVisible);
  // Reads the bounds from the window after it moved or changed size (not while a top-level window is minimised).
  void UpdateBounds();
  void RemoveFocus(bool ARemoving);

 private:
  static LRESULT CALLBACK WindowProc(HWND AWindow, UINT AMsg, WPARAM AWParam, LPARAM ALParam);
  static WNDPROC RegisterWindowClass(const TCreateParams& AParams);

  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // Frees every child, windowed ones first, each taken out of the lists even when its freeing raises.
  void FreeChildren();
  void AttachHandle(HWND AWindow);
  void DetachHandle();
  void PlaceInZOrder();
  // A notification about a child window (WM_COMMAND, WM_NOTIFY, owner-draw, colours, scroll bars...) goes to the
  // child's control as CN_...; true when that control answered it.
  bool ReflectNotification(TMessage& AMessage);
  void PaintMessage(TPaintMessage& AMessage);
  void EraseBackground(TPaintMessage& AMessage);
  void CaptureChanged(TWindowParamMessage& AMessage);
  void CursorRequested(TSetCursorMessage& AMessage);
  void RouteContextMenu(TContextMenuMessage& AMessage);
  void MouseWheel(TWheelMessage& AMessage);
  void ControlColor(TWindowParamMessage& AMessage);
  void PaddingChanged(TObject* ASender);

  HWND FHandle = nullptr;
  HWND FParentWindow = nullptr;
  WNDPROC FDefWndProc = nullptr;
  bool FOwnClass = true;  // a class of our own (not made from a system class)
  UINT FControlId = 0;
  UINT FNextChildId = 1;
  TWindowlessChildren FWindowless{*this};
  std::vector<TWinControl*> FWinControls;  // windowed children, bottom to top
  std::vector<TWinControl*> FTabList;
  TMargins FPadding;
  int FAlignLevel = 0;
  bool FAlignPending = false;
  bool FShowing = false;
  bool FTabStop = false;
  TInherited<bool> FCtl3D{true, true};
  TBrush FBrush;
  int FWheelAccumulator = 0;
};

// A windowed control that paints itself: Paint draws on Canvas, bound to the paint context.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;

  TCanvas& Canvas() { return *FCanvas; }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC ADC) override;
  void FreeContexts() override;

 private:
  std::unique_ptr<TControlCanvas> FCanvas;
};
