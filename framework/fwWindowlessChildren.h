// The windowless children of a windowed control: their painting order and painting, and the mouse routed to them
// (the topmost one under the pointer, or the one holding the capture), with enter and leave.
#pragma once

#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwMessages.h"

class TControl;
class TWinControl;

class TWindowlessChildren {
 public:
  explicit TWindowlessChildren(TWinControl& AOwner) : FOwner(AOwner) {}
  TWindowlessChildren(const TWindowlessChildren&) = delete;
  TWindowlessChildren& operator=(const TWindowlessChildren&) = delete;

  // In painting order (the last one is on top).
  const std::vector<TControl*>& List() const { return FList; }
  void Add(TControl* AControl) { FList.push_back(AControl); }
  // Takes AControl out, letting go of the capture and the hover it holds.
  void Remove(TControl* AControl);
  void BringToFront(TControl* AControl);
  void SendToBack(TControl* AControl);

  // The topmost visible child at a client point; disabled ones only when allowed.
  TControl* At(POINT APos, bool AAllowDisabled) const;

  // The owner's own painting (PaintWindow) with the opaque children clipped out (they cover their part
  // themselves), then the children over it.
  void PaintWithOwner(HDC ADC) const;
  // Paints every visible child that meets the clip box of ADC, in order, each in its own coordinates and
  // clipped to itself.
  void Paint(HDC ADC) const;

  // The child holding the mouse capture through the owner's window.
  bool HoldsCapture(const TControl* AControl) const;
  void SetCapture(TControl* AControl, bool AValue);
  // The owner's window lost its capture (WM_CAPTURECHANGED, ATaker the window that has it now) or a mode must
  // end (WM_CANCELMODE).
  void CaptureChanged(HWND ATaker);
  void CancelMode();

  // WM_MOUSEMOVE: enter and leave the owner and the child under the pointer.
  void TrackMouse(POINT APos);
  // WM_MOUSELEAVE: the pointer left the owner's window.
  void MouseLeft();
  // Hands a mouse message to the child holding the capture or under the pointer, in its own coordinates; false
  // when none takes it.
  bool Route(const TMouseMessage& AMessage);
  // WM_CONTEXTMENU at a client point: the child under it answers when it can.
  bool RouteContextMenu(TMessage& AMessage, POINT AClientPos);
  // The child that decides the cursor at a client point (the capture holder, else the one under it), or nil.
  TControl* CursorTarget(POINT APos) const;

  // The owner's window is gone: no capture, hover or tracking is left.
  void WindowGone();

 private:
  TControl* CaptureHolder() const;
  void SetHover(TControl* AControl);

  TWinControl& FOwner;
  std::vector<TControl*> FList;
  TControl* FCapture = nullptr;  // holds the mouse capture through the owner's window
  TControl* FHover = nullptr;    // under the mouse
  bool FMouseInside = false;
};
