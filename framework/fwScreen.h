// The screen (size, work area, resolution, message font, the screen cursor and the numbered cursor table, the
// active form) and the mouse (drag threshold, capture, position).
#pragma once

#include <map>

#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwComponents.h"
#include "framework/fwGraphics.h"

// Cursor numbers are TCursor with the cr... numbers of cuUtilsWin.h: 0 the default cursor, negative numbers the
// system's cursors (crNone shows none), positive numbers the program's own cursors registered at start-up.

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  // The primary monitor's area without the task bar (SPI_GETWORKAREA).
  RECT WorkAreaRect() const;
  // All monitors together.
  RECT DesktopRect() const;
  int PixelsPerInch() const { return ScreenPixelsPerInch(); }

  // The font of message boxes; read at creation and again by UpdateFonts (on a setting change).
  TFont& MessageFont() { return FMessageFont; }
  void UpdateFonts();

  // The cursor for the whole program; crDefault lets each window show its own.
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor AValue);
  // For WM_SETCURSOR: shows the screen cursor and answers true unless it is crDefault.
  bool ApplyCursor() const;

  // The cursor of a number: one set here, a system cursor or one the foundation registered (each loaded when first
  // asked for), the default (arrow) for an unknown number, nullptr for crNone.
  HCURSOR Cursors(TCursor AId) const;
  // Registers (or replaces) a cursor under a number; an owned handle is destroyed when replaced or at the end.
  void SetCursors(TCursor AId, HCURSOR ACursor, bool AOwned = false);

  // The form that is active in the program (set by the forms; cleared when it is freed).
  TComponent* ActiveForm() const { return FActiveForm; }
  void SetActiveForm(TComponent* AForm);
  // Whether the active form keeps itself above other windows.
  bool ActiveFormStaysOnTop() const;

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  struct TCursorEntry {
    HCURSOR Handle;
    bool Owned;
    LPCWSTR System = nullptr;  // loaded on first use when there is no handle yet
  };
  HCURSOR Resolve(TCursor AId) const;
  mutable std::map<TCursor, TCursorEntry> FCursors;
  TCursor FCursor = crDefault;
  TFont FMessageFont;
  TComponent* FActiveForm = nullptr;
};

class TMouse : public TObject {
 public:
  // Pixels the pointer must move, in x or in y, before a press becomes a drag (default 5).
  int DragThreshold() const { return FDragThreshold; }
  void SetDragThreshold(int AValue) { FDragThreshold = AValue; }
  // Whether APoint has left AStart by more than the drag threshold on either axis.
  bool BeyondDragThreshold(POINT AStart, POINT APoint) const;

  POINT CursorPos() const;
  void SetCursorPos(POINT APoint);
  // The window of this thread that holds the mouse capture (nullptr when none); setting nullptr releases it.
  HWND Capture() const { return GetCapture(); }
  void SetCapture(HWND AWindow);
  int WheelScrollLines() const;

 private:
  int FDragThreshold = 5;
};

// Exist between StartScreen and EndScreen.
extern TScreen* Screen;
extern TMouse* Mouse;

// Start-up: the screen with the system cursors in its table, and the mouse. From here on the foundation's screen
// cursor, busy cursor, cursor registration and message box go through Screen and Application.
void StartScreen();
// Shut-down: hands those routines back to the foundation, frees both (and the cursors the table owns).
void EndScreen();
