// The sheet: hosts one element tree on a window without being a window. It owns the root element, the canvas, the
// focus, the hovered and capturing elements, the marks and the caret; the host feeds it keys, mouse events, the
// view size and paint requests and listens to its notifications. Changes inside an update bracket wait as pending
// bits and are delivered once, in a fixed order, at the outermost end.
#pragma once

#include "document/model/diDropDown.h"
#include "document/model/diPanelElements.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuClasses.h"
#include "foundation/cuSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TKnot;
class TSheetCanvas;
class TSheetSettings;

// Notification codes of a sheet (Notify(code, parameter, 0)).
enum : int {
  snWorkspaceSize = 1,
  snRepaint = 2,  // parameter: a const TRect* in sheet coordinates, or nil for everything
  snFocusChanged = 3,
  snEditState = 4,
  snCursor = 5,
  snCaret = 6,
  snHovered = 7,
  snDropDownOpened = 8,
  snDropDownChanged = 9,
  snDropDownClosed = 10,
  snCommandState = 20,
  snAvailability = 21,
  snScrollToCaret = 24,  // parameter 1 when sent by the focus timer
  snReadOnly = 25,
  snActive = 26,
  snScrollPos = 27,
  snScrollBand = 28,  // parameter: a const TSheetScroll*; delivered before the repaint of the same update
};

// The picture of the sheet from Top down (sheet coordinates, the whole width, Top as it was) moved Distance down
// (up when negative): the host moves what it shows of it instead of repainting it.
struct TSheetScroll {
  int32_t Top = 0;
  int32_t Distance = 0;
};

// Changes waiting for the end of an update.
enum class TSheetPending : uint16_t {
  spRepaintAll = 0x0001,
  spCaret = 0x0002,
  spWorkspaceSize = 0x0004,
  spScrollToCaret = 0x0008,
  spFocusedContent = 0x0010,
  spFocus = 0x0020,
  spFocusedEditState = 0x0040,
  spFocusedAvailability = 0x0080,
  spViewWidth = 0x0100,
  spViewHeight = 0x0200,
  spFocusTimer = 0x0400,
  spRepaintArea = 0x0800,
  spScrollBand = 0x1000,
};
constexpr bool IsFlagFamily(TSheetPending) { return true; }
using enum TSheetPending;
using TSheetPendings = TSet<TSheetPending>;

// A one-shot or repeating tick on the user-interface thread; the sheet makes one per wait.
class ISheetTimer {
 public:
  virtual ~ISheetTimer() = default;
};
using TSheetTimerFactory = std::function<std::unique_ptr<ISheetTimer>(unsigned AInterval, std::function<void()> ATick)>;
// Opens a web address for the elements' links; true when a browser was started.
using TSheetBrowser = std::function<bool(const std::u16string& AURL)>;

// The root element of every sheet: no scheme; sized to its visible children and its padding.
class TSheetElement : public TPanelElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  // Its children (the document's root, the descriptions and message signs beside the document's elements) are
  // painted and hit-tested by place.
  explicit TSheetElement(TScheme* AScheme);

  void GetPadding(TRect& ARect) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
};

class TSheet : public TItfObject, public IDropDownHost {
 public:
  // The view size until the host sets one.
  static constexpr int32_t UnsetViewSize = 1073741823;
  static constexpr unsigned FocusTimerInterval = 300;
  static constexpr unsigned DelayedFocusInterval = 300;

  explicit TSheet(TSheetSettings* ASettings);
  ~TSheet() override;

  TSheetSettings* Settings() const { return FSettings; }
  TSheetCanvas* Canvas() const { return FCanvas.get(); }
  TSheetElement* Root() const { return FRoot; }
  bool ReadOnly() const { return FReadOnly; }
  bool Active() const { return FActive; }
  uint8_t CaretKind() const { return FCaretKind; }
  const TRect& CaretRect() const { return FCaretRect; }
  int Cursor() const { return FCursor; }
  TVisualElement* Captured() const { return FCaptured; }
  TVisualElement* Focused() const { return FFocused; }
  TVisualElement* Hovered() const { return FHovered; }
  TVisualElement* DelayedFocusElement() const { return FDelayedFocus; }
  // The open list, owned while open; nil when none is.
  TDropDownList* DropDown() const { return FDropDown.get(); }
  const std::vector<TVisualElement*>& Marked() const { return FMarked; }
  int UpdateCount() const { return FUpdateCount; }
  // Inside the settings walk of a subtree that joins the sheet (TSheetJoin).
  bool Joining() const { return FJoining > 0; }
  TVisualPoint ScreenPos() const { return FScreenPos; }
  TVisualSize ViewSize() const { return FViewSize; }
  TSheetPendings Pending() const { return FPending; }

  // Seams: how timers are made (the framework's timer by default), whether the left mouse button is down (the
  // asynchronous key state by default) and who plays sounds (the resource player by default).
  void SetTimerFactory(TSheetTimerFactory AFactory) { FTimerFactory = std::move(AFactory); }
  void SetLeftButtonQuery(std::function<bool()> AQuery) { FLeftButtonDown = std::move(AQuery); }
  // Who opens the elements' web links (the default browser by default).
  void SetBrowser(TSheetBrowser ABrowser) { FBrowser = std::move(ABrowser); }
  // AURL must be one that IsBrowsableUrl accepts: nothing else of a document may reach the shell.
  bool OpenInBrowser(const std::u16string& AURL) const { return FBrowser(AURL); }
  // Whether a focus change clears the marks; on by default.
  bool ClearMarksOnFocus = true;
  // Whether a newly focused element is made visible (what hides it is expanded); on by default. A search turns it
  // off while it steps through elements, so that only where it stops is revealed.
  bool RevealOnFocus = true;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  // An update around a layout, which repaints each place it changes, the old and the new: while only such
  // updates are open, repaint requests are gathered into one rectangle instead of a repaint of everything.
  void BeginLayoutUpdate() {
    ++FLayoutUpdateCount;
    BeginUpdate();
  }
  void EndLayoutUpdate() {
    --FLayoutUpdateCount;
    EndUpdate();
  }
  // Whether a repaint request is worth its rectangle now: outside updates, or while only layout updates are open
  // and nothing has asked for a repaint of everything yet.
  bool RepaintsByArea() const {
    return FUpdateCount == FLayoutUpdateCount && !FPending.Contains(spRepaintAll);
  }

  void SetFocused(TVisualElement* AElement);
  void DelayFocus(TVisualElement* AElement);
  void CancelDelayedFocus();
  void FocusFirst();
  void MoveFocus(bool AHorizontal, bool AForward);

  void SetHovered(TVisualElement* AElement);
  void SetCaptured(TVisualElement* AElement);
  void SetMarked(TVisualElement* AElement, bool AValue);
  void ClearMarked();

  void KeyDown(uint16_t& AKey, TShiftKeys AShift);
  void KeyPress(char16_t& AChar);
  void KeyUp(uint16_t& AKey, TShiftKeys AShift);
  // A press that completes a double click carries skDouble; ATriple and AQuadruple tell the third and fourth.
  void MouseDown(TVisualPoint APoint, bool ALeft, TShiftKeys AShift, bool ATriple = false, bool AQuadruple = false);
  void MouseMove(TVisualPoint APoint, TShiftKeys AShift);
  void MouseUp(TVisualPoint APoint, bool ALeft, TShiftKeys AShift);

  // With selected elements allowed the last answer is kept until the sheet changes: the pointer's move and the
  // hint asked at the same place, or a hint asked again and again over a resting pointer, hit-test once.
  TVisualElement* ElementAt(TVisualPoint APoint, bool AAllowSelected, bool ASkipTransparent);

  // ADC is the window's device context (an HDC).
  void PaintTo(void* ADC, const TRect& ARect, TSheetPaintFlags AFlags);
  void PaintFocused(void* ADC);

  void SetViewSize(TVisualSize ASize);
  void SetScreenPos(TVisualPoint APoint);
  void SetReadOnly(bool AValue);
  void SetActive(bool AValue);
  // Closes an open list without applying, then shows AList (notification 8).
  void OpenDropDown(std::unique_ptr<TDropDownList> AList);
  // Closes and frees the open list (notification 10); applies its selected row when asked and one is selected.
  void CloseDropDown(bool AApply);
  // Closes the list without applying and ends the captured element's mouse interaction.
  void CancelMode();
  void CommitFocusedValue();

  void ScrollToCaret();
  int32_t GetWorkspaceWidth() const;
  int32_t GetWorkspaceHeight() const;

  // The view state: focused element, its focus data and the scroll position.
  void LoadState(TKnot* AKnot);
  void SaveState(TKnot* AKnot);

  // Plays the named sound when the "Sounds" setting allows it.
  void PlaySound(std::u16string_view AName);

  // Calls from elements.
  void InvalidateRect(const TRect* ARect);
  // Inside a layout update: everything of the sheet from ATop down moved ADistance, AElement's rows and children
  // there among it, and AElement grows or shrinks by as much. Moves of elements that this explains repaint
  // nothing, and the host moves the picture; a second band in the same update repaints everything instead.
  void ScrollBand(TVisualElement* AElement, int32_t ATop, int32_t ADistance);
  // Whether the band scrolled explains an element's bounds going from AOld to ANew (sheet coordinates): it moved
  // with the band, or it is the sheet's root or the element whose band it is, grown or shrunk with it.
  bool ScrollExplains(const TVisualElement* AElement, const TRect& AOld, const TRect& ANew) const;
  void WorkspaceSizeChanged();
  // A panel's layout waits for the outermost end of the update; a panel cancels when it goes first.
  void DelayLayout(TPanelElement* APanel);
  void CancelLayout(TPanelElement* APanel);
  void UpdateCaret();
  void FocusedEditStateChanged();
  void FocusedAvailabilityChanged();
  void FocusedCommandStateChanged();
  void UpdateCursor();
  // An element leaves the sheet: it stops being captured, hovered, focused, marked or waiting for the focus.
  void ElementLeaving(TVisualElement* AElement);

  // The list's host.
  TTextSize MeasureDropDownText(const std::u16string& AText) override;
  void DropDownChanged(TDropDownList* AList) override;

 private:
  void SettingsHandler(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  // Notifies now, or notes APending inside an update.
  void Signal(TSheetPending APending, int ACode);
  void FocusTick();
  void DelayedFocusTick();
  void RemoveMarked(TVisualElement* AElement);

  TSheetSettings* FSettings;
  bool FDestroying = false;
  std::unique_ptr<TSheetCanvas> FCanvas;
  TSheetElement* FRoot = nullptr;
  bool FReadOnly = false;
  bool FActive = false;
  uint8_t FCaretKind = ckNoCaret;
  TRect FCaretRect;
  int FCursor = 0;
  TVisualElement* FCaptured = nullptr;
  std::unique_ptr<TDropDownList> FDropDown;
  TVisualElement* FFocused = nullptr;
  TVisualElement* FHovered = nullptr;
  TVisualPoint FMousePos;
  // The last hit test; any repaint or an element leaving makes it stale, for nothing a hit test reads changes
  // without one.
  struct TLastHit {
    bool Valid = false;
    TVisualPoint Point;
    THitTestFlags Flags;
    TVisualElement* Element = nullptr;
  } FLastHit;
  std::vector<TVisualElement*> FMarked;
  int32_t FUpdateCount = 0;
  int32_t FLayoutUpdateCount = 0;
  TRect FRepaintArea;
  TSheetScroll FScroll;
  const TVisualElement* FScrollElement = nullptr;
  int FJoining = 0;
  friend class TSheetJoin;
  TVisualPoint FScreenPos;
  TVisualSize FViewSize{UnsetViewSize, UnsetViewSize};
  TSheetPendings FPending;
  std::vector<TPanelElement*> FDelayedLayouts;
  TVisualElement* FDelayedFocus = nullptr;
  std::unique_ptr<ISheetTimer> FDelayedFocusTimer;
  std::unique_ptr<ISheetTimer> FFocusTimer;
  TSheetTimerFactory FTimerFactory;
  std::function<bool()> FLeftButtonDown;
  TSheetBrowser FBrowser;
};

// For one scope, the sheet's joining state: raised for a subtree's settings walk (AJoining), or cleared for the walk
// that follows the sheet places once that walk ended; given back however the scope ends.
class TSheetJoin {
 public:
  TSheetJoin(TSheet* ASheet, bool AJoining) : FSheet(ASheet), FSaved(ASheet->FJoining) {
    FSheet->FJoining = AJoining ? FSaved + 1 : 0;
  }
  ~TSheetJoin() { FSheet->FJoining = FSaved; }
  TSheetJoin(const TSheetJoin&) = delete;
  TSheetJoin& operator=(const TSheetJoin&) = delete;

 private:
  TSheet* FSheet;
  int FSaved;
};

// The sheet's update bracket for one scope, when there is a sheet; closed however the scope ends.
class TSheetUpdate {
 public:
  explicit TSheetUpdate(TSheet* ASheet) : FSheet(ASheet) {
    if (FSheet) FSheet->BeginUpdate();
  }
  ~TSheetUpdate() {
    if (FSheet) FSheet->EndUpdate();
  }
  TSheetUpdate(const TSheetUpdate&) = delete;
  TSheetUpdate& operator=(const TSheetUpdate&) = delete;

 private:
  TSheet* FSheet;
};

// The sheet's layout update (BeginLayoutUpdate) for one scope, when there is a sheet.
class TSheetLayoutUpdate {
 public:
  explicit TSheetLayoutUpdate(TSheet* ASheet) : FSheet(ASheet) {
    if (FSheet) FSheet->BeginLayoutUpdate();
  }
  ~TSheetLayoutUpdate() {
    if (FSheet) FSheet->EndLayoutUpdate();
  }
  TSheetLayoutUpdate(const TSheetLayoutUpdate&) = delete;
  TSheetLayoutUpdate& operator=(const TSheetLayoutUpdate&) = delete;

 private:
  TSheet* FSheet;
};
