// Windowless helpers of a form's layout: the paint box, which paints through an event, and the splitter, which
// resizes the aligned control next to it while the mouse drags it.
#pragma once

#include "framework/fwControls.h"

// A windowless area that OnPaint draws on its canvas. Cursor, hint and OnClick are the control's.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);

  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
};

// A bar aligned to an edge of its parent (alLeft, alTop, alRight or alBottom) that resizes the visible control
// aligned the same way right behind it (the pane) while the left button drags it: live, at every move. Neither
// the pane nor the area on the other side of the bar (up to the nearest control aligned to the opposite edge)
// gets smaller than MinSize; when they cannot both keep it the bar does not move. A pane never snaps shut.
// OnMoved follows a drag that changed the pane's size. The bar fills itself with its colour (its parent's while
// ParentColor, the default) unless OnPaint paints it.
class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* AOwner);
  ~TSplitter() override;

  // Default 30 pixels.
  int MinSize() const { return FMinSize; }
  void SetMinSize(int AValue);

  // The control the bar resizes now (nil when none lies behind it).
  TControl* FindPane() const;

  TNotifyEvent OnMoved;
  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
  void WndProc(TMessage& AMessage) override;
  void MouseDown(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void MouseMove(TShiftState AShift, int X, int Y) override;
  void MouseUp(TMouseButton AButton, TShiftState AShift, int X, int Y) override;
  void MouseEnter() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  bool Vertical() const;  // top or bottom: the bar moves up and down
  // The pointer's place along the bar's axis, in the parent's client coordinates.
  int AxisPos(int X, int Y) const;
  // The pane's size the pointer asks for, kept inside the limits; the present size when the limits leave none.
  int LimitedSize(int ARequested) const;
  // Room on the far side of the bar: from the bar to the nearest control aligned to the opposite edge (or the
  // client area's edge less the padding).
  int FarRoom() const;
  int PaneSize() const;
  void SetPaneSize(int ASize);
  void EndDrag();

  int FMinSize = 30;
  TControl* FPane = nullptr;  // while dragging
  int FDownPos = 0;
  int FStartSize = 0;
};
