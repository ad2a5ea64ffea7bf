// Controls: the base of everything shown in a window (bounds, parent, alignment, anchors, visibility, text,
// colour, font, cursor, hint, mouse), the properties a control takes from its parent, the canvas a control
// paints on, and the windowless graphic control. Windowed controls are in fwWinControls, key and focus routing in
// fwKeyRouting, alignment in fwAlignment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "foundation/cuSet.h"
#include "framework/fwAlignment.h"
#include "framework/fwComponents.h"
#include "framework/fwGraphics.h"
#include "framework/fwMessages.h"
#include "framework/fwUtilityWindow.h"

class TControl;
class TWinControl;
class THintWindow;

// A misuse of a control the moment does not allow (focusing a hidden control, a visible form made modal).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// Which scroll bars a control shows (WS_HSCROLL, WS_VSCROLL).
enum class TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum class TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// What a control's class lets it do.
enum class TControlStyleFlag : uint32_t {
  csAcceptsControls = 0x0001,   // other controls may be placed on it
  csCaptureMouse = 0x0002,      // a left press captures the mouse until the release
  csClickEvents = 0x0004,       // a left press and release over the control is a Click
  csOpaque = 0x0008,            // paints its whole rectangle: invalidating it erases no background
  csDoubleClicks = 0x0010,      // a double click is a DblClick (else a second press)
  csNeedsBorderPaint = 0x0020,  // its client edge is painted by the theme services while styles are on
};
constexpr bool IsFlagFamily(TControlStyleFlag) { return true; }
using enum TControlStyleFlag;
using TControlStyle = TSet<TControlStyleFlag>;

// What a control is in the middle of.
enum class TControlStateFlag : uint16_t {
  csLButtonDown = 0x01,  // the left button went down on the control and is still down
  csClicked = 0x02,      // that press may still end in a Click
  csCreating = 0x04,     // its window is being made
  csRecreating = 0x08,   // its window is being made again
  csAligning = 0x10,     // it is placing its aligned children
};
constexpr bool IsFlagFamily(TControlStateFlag) { return true; }
using enum TControlStateFlag;
using TControlState = TSet<TControlStateFlag>;

// Whether AKey is the accelerator of ACaption: the character after a single "&", compared without case.
bool IsAccel(char16_t AKey, const std::u16string& ACaption);

using TMouseEvent = TMethod<void(TObject* ASender, TMouseButton AButton, TShiftState AShift, int X, int Y)>;
using TMouseMoveEvent = TMethod<void(TObject* ASender, TShiftState AShift, int X, int Y)>;
using TKeyEvent = TMethod<void(TObject* ASender, uint16_t& AKey, TShiftState AShift)>;
using TKeyPressEvent = TMethod<void(TObject* ASender, char16_t& AKey)>;
using TMouseWheelEvent =
    TMethod<void(TObject* ASender, TShiftState AShift, int AWheelDelta, POINT AMousePos, bool& AHandled)>;
using TMouseWheelUpDownEvent = TMethod<void(TObject* ASender, TShiftState AShift, POINT AMousePos, bool& AHandled)>;
using TContextPopupEvent = TMethod<void(TObject* ASender, POINT AMousePos, bool& AHandled)>;
using TCanResizeEvent = TMethod<void(TObject* ASender, int& ANewWidth, int& ANewHeight, bool& AResize)>;

// What a control's popup menu must offer; the menus implement it.
class IPopupMenu {
 public:
  // Shows the menu at a screen point for AControl.
  virtual void PopupFor(TControl* AControl, POINT AScreenPos) = 0;

 protected:
  ~IPopupMenu() = default;
};

// Makes a hint window of one class (fwHints: HintWindowClassOf<T>()).
using THintWindowClass = THintWindow* (*)(TComponent* AOwner);

// What the hint machinery asks of a control before a hint shows (CM_HINTSHOW); the control may change any field.
struct THintInfo {
  TControl* HintControl = nullptr;
  POINT HintPos{};       // screen position of the hint window
  int HintMaxWidth = 0;  // 0: no limit
  TColor HintColor = clInfoBk;
  RECT CursorRect{};      // control coordinates: the hint stays while the pointer stays inside
  POINT CursorPos{};      // control coordinates
  int ReshowTimeout = 0;  // ms; 0: no reshow
  int HideTimeout = 0;    // ms; 0: the default
  std::u16string HintStr;
  void* HintData = nullptr;
  THintWindowClass HintWindowClass = nullptr;  // nil: THintWindow
};

// Smallest and largest size of a control; 0 means no limit.
class TSizeConstraints : public TPersistent {
 public:
  void Assign(const TPersistent* ASource) override;
  int MinWidth() const { return FMinWidth; }
  int MinHeight() const { return FMinHeight; }
  int MaxWidth() const { return FMaxWidth; }
  int MaxHeight() const { return FMaxHeight; }
  void SetMinWidth(int AValue);
  void SetMinHeight(int AValue);
  void SetMaxWidth(int AValue);
  void SetMaxHeight(int AValue);
  // AWidth and AHeight brought inside the limits.
  void Apply(int& AWidth, int& AHeight) const;

  TNotifyEvent OnChange;

 private:
  void Changed();
  int FMinWidth = 0, FMinHeight = 0, FMaxWidth = 0, FMaxHeight = 0;
};

// ---------------------------------------------------------------------------------------------------------------
// The canvas of a control. While the control paints it is bound to the paint context; asked for at other times
// it makes a context of its own: the window's (for a windowless control its parent's, moved and clipped to the
// control), or a memory context for measuring while there is no window.

class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TControl* AControl) : FControl(AControl) {}
  ~TControlCanvas() override;

  // Binds a context given from outside (painting); a context the canvas made itself is released first.
  void BindDC(HDC ADC);
  void UnbindDC() { SetHandle(nullptr); }
  // Binds ADC with the control's font and colour for the length of one Paint, and unbinds it whatever Paint does.
  template <class F>
  void PaintOn(HDC ADC, F&& APaint) {
    struct TBinding {
      TControlCanvas* Canvas;
      ~TBinding() { Canvas->UnbindDC(); }
    } binding{this};
    BindDC(ADC);
    TakeControlLook();
    APaint();
  }
  // Releases a context the canvas made itself (before its window goes).
  void FreeHandle();

 protected:
  void CreateHandle() override;

 private:
  void TakeControlLook();

  TControl* FControl;
  HDC FOwnDC = nullptr;
  HWND FOwnWindow = nullptr;
};

// A property a control takes from its parent while its Parent flag is on (colour, show-hint, 3-D look): setting
// the value on the control turns the flag off; turning the flag on, or a change of the parent's value
// (CM_PARENT... notices), takes the parent's value.
template <class T>
class TInherited {
 public:
  TInherited(T AValue, bool AFromParent) : FValue(AValue), FFromParent(AFromParent) {}
  const T& Value() const { return FValue; }
  bool FromParent() const { return FFromParent; }
  // Set on the control itself; true when the value changed.
  bool Set(const T& AValue) {
    FFromParent = false;
    if (AValue == FValue) return false;
    FValue = AValue;
    return true;
  }
  // True when the flag was turned on: the caller then asks for the parent's value.
  bool SetFromParent(bool AValue) {
    if (AValue == FFromParent) return false;
    FFromParent = AValue;
    return AValue;
  }
  // The parent's value, taken while the flag is on; true when the value changed.
  bool Inherit(const T& AParentValue) {
    if (!FFromParent || AParentValue == FValue) return false;
    FValue = AParentValue;
    return true;
  }

 private:
  T FValue;
  bool FFromParent;
};

// ---------------------------------------------------------------------------------------------------------------
// The control base. Bounds are in the parent's client coordinates (screen coordinates for a form without a
// parent). Messages reach a control through Dispatch: its message filters first, then WndProc, then, for what
// stays unhandled, DefaultHandler (the window's default procedure for a windowed control; nothing for a
// windowless one).

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  // Moves the control under AParent (nil takes it out); a windowed control's window follows its parent.
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int AValue) { SetBounds(AValue, FTop, FWidth, FHeight); }
  void SetTop(int AValue) { SetBounds(FLeft, AValue, FWidth, FHeight); }
  void SetWidth(int AValue) { SetBounds(FLeft, FTop, AValue, FHeight); }
  void SetHeight(int AValue) { SetBounds(FLeft, FTop, FWidth, AValue); }
  // Constraints and OnCanResize apply to the size first.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
  void SetBoundsRect(const RECT& ARect) {
    SetBounds(ARect.left, ARect.top, ARect.right - ARect.left, ARect.bottom - ARect.top);
  }

  RECT ClientRect() const { return GetClientRect(); }
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int AValue) { SetClientSize(AValue, ClientHeight()); }
  void SetClientHeight(int AValue) { SetClientSize(ClientWidth(), AValue); }
  // Sets the size so that the client area becomes AWidth x AHeight; the position stays.
  void SetClientSize(int AWidth, int AHeight);
  // Screen position of the client area's top-left corner.
  virtual POINT ClientOrigin() const;
  POINT ClientToScreen(POINT APoint) const;
  POINT ScreenToClient(POINT APoint) const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign AValue);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors AValue);
  TSizeConstraints& Constraints() { return FConstraints; }

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool AValue);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible here and on every parent up to a shown window.
  virtual bool Showing() const;
  bool Enabled() const { return FEnabled; }
  // Sends CM_ENABLEDCHANGED.
  virtual void SetEnabled(bool AValue);

  std::u16string Text() const { return GetText(); }
  // Sends CM_TEXTCHANGED when the text changes.
  void SetText(const std::u16string& AValue);
  std::u16string Caption() const { return GetText(); }
  void SetCaption(const std::u16string& AValue) { SetText(AValue); }

  TColor Color() const { return FColor.Value(); }
  // Clears ParentColor; sends CM_COLORCHANGED.
  void SetColor(TColor AValue);
  bool ParentColor() const { return FColor.FromParent(); }
  void SetParentColor(bool AValue);
  // A change clears ParentFont and sends CM_FONTCHANGED.
  TFont& Font() { return FFont; }
  const TFont& Font() const { return FFont; }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool AValue);

  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue);

  const std::u16string& Hint() const { return FHint; }
  void SetHint(std::u16string AValue) { FHint = std::move(AValue); }
  // With ParentShowHint the parent's setting counts.
  bool ShowHint() const { return FShowHint.Value(); }
  void SetShowHint(bool AValue);
  bool ParentShowHint() const { return FShowHint.FromParent(); }
  void SetParentShowHint(bool AValue);

  // A component that implements IPopupMenu (anything else raises EComponentError), or nil.
  TComponent* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TComponent* AValue);

  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle AValue) { FControlStyle = AValue; }
  TControlState ControlState() const { return FControlState; }

  // Invalidation honours csOpaque: an opaque control's area is repainted without erasing the background.
  virtual void Invalidate();
  virtual void Update();
  void Repaint();
  // Last painted (on top of its siblings) or first painted.
  virtual void BringToFront();
  virtual void SendToBack();

  // Sends a message straight to the control (filters, WndProc, DefaultHandler); returns its result.
  LRESULT Perform(UINT AMsg, WPARAM AWParam = 0, LPARAM ALParam = 0);
  void Dispatch(TMessage& AMessage);
  // Filters see every message first, in the order added; a filter that sets Handled ends the message there.
  void AddMessageFilter(TMessageEvent AFilter);
  void RemoveMessageFilter(TMessageEvent AFilter);

  // The control holds the mouse capture (for a windowless control: through its parent's window).
  virtual bool MouseCapture() const;
  virtual void SetMouseCapture(bool AValue);

  virtual void Click();
  virtual void DblClick();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TContextPopupEvent OnContextPopup;
  TCanResizeEvent OnCanResize;

 protected:
  friend class TWinControl;
  friend class TAlignment;
  friend class TWindowlessChildren;

  virtual void WndProc(TMessage& AMessage);
  virtual void DefaultHandler(TMessage& AMessage);

  virtual RECT GetClientRect() const;
  virtual std::u16string GetText() const { return FText; }
  // Stores a new text (a windowed control also puts it into its window).
  virtual void SetTextValue(const std::u16string& AValue) { FText = AValue; }

  virtual void MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y);
  virtual void MouseMove(TShiftState AShift, int X, int Y);
  virtual void MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void DoContextPopup(POINT AMousePos, bool& AHandled);
  // The new size may be changed or refused (false).
  virtual bool CanResize(int& ANewWidth, int& ANewHeight);
  // After the size changed: OnResize.
  virtual void Resize();
  // Releases device contexts its canvas made itself (before the window that gave them goes).
  virtual void FreeContexts() {}
  // Whether the framework captures the mouse and makes clicks for this control (csCaptureMouse, csClickEvents);
  // a window of a system class does that itself.
  virtual bool MakesOwnClicks() const { return true; }

  // Stores bounds without placing anything (the windowed control's window reports its own).
  void StoreBounds(int ALeft, int ATop, int AWidth, int AHeight);
  // The placement the anchors keep, taken from the present bounds and the parent's client size.
  void UpdateAnchorRules();
  void RequestParentAlign();

  // Sends the CM_PARENT... notice of every property that follows the parent, as a new parent does.
  virtual void TakeParentValues();
  // Runs the default processing and counts the message handled with its result.
  void AnswerByDefault(TMessage& AMessage);

  void BeforeDestruction() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

  TControlState FControlState;
  std::u16string FText;

 private:
  void MouseButtonDown(const TMouseMessage& AMessage, TMouseButton AButton, bool ADouble);
  void MouseButtonUp(const TMouseMessage& AMessage, TMouseButton AButton);
  void ContextMenu(TContextMenuMessage& AMessage);
  void FontChanged(TObject* ASender);
  void ConstraintsChanged(TObject* ASender);
  void RefreshCursor();

  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = TAlign::alNone;
  TAnchors FAnchors = akLeft | akTop;
  RECT FAnchorBounds{};  // bounds when the anchor rules were taken
  SIZE FAnchorParentSize{};
  TSizeConstraints FConstraints;
  bool FVisible = true;
  bool FEnabled = true;
  TInherited<TColor> FColor{clBtnFace, false};
  TFont FFont;
  bool FParentFont = true;
  bool FFontFromParent = false;
  TCursor FCursor = crDefault;
  std::u16string FHint;
  TInherited<bool> FShowHint{false, true};
  TComponent* FPopupMenu = nullptr;
  TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;
  std::vector<TMessageEvent> FFilters;
};

// ---------------------------------------------------------------------------------------------------------------
// A windowless control with a canvas: its parent paints it, in the order of its parent's windowless children,
// after the parent's own painting; Paint draws in the control's own coordinates, clipped to it.

class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;

  TCanvas& Canvas() { return *FCanvas; }

 protected:
  virtual void Paint() {}
  void WndProc(TMessage& AMessage) override;
  void FreeContexts() override { FCanvas->FreeHandle(); }

 private:
  std::unique_ptr<TControlCanvas> FCanvas;
};

// The control whose window holds AWindow (nil for a window that is not one of this process's controls).
TWinControl* FindControl(HWND AWindow);
// The control under a screen point: a windowless child where one is, else the windowed control.
TControl* FindDragTarget(POINT AScreenPos, bool AAllowDisabled);
