#pragma once
// The visual-style library ("uxtheme.dll") bound at run time, so the program also starts where it is missing, and
// the theme nexus: a hidden window that follows theme changes and keeps the scroll-bar and global theme handles
// current. Theme services of the framework draw through the bound functions and hear about changes here.

#include <memory>

#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"

class TUtilityWindow;
struct TMessage;

using HTHEME = HANDLE;

// The bound functions; every pointer is nil while the library is not loaded, and the optional ones may stay nil.
struct TVisualStyleApi {
  HTHEME(WINAPI* OpenThemeData)(HWND, LPCWSTR);  // required
  HRESULT(WINAPI* CloseThemeData)(HTHEME);       // required
  HRESULT(WINAPI* DrawThemeBackground)(HTHEME, HDC, int, int, const RECT*, const RECT*);
  HRESULT(WINAPI* DrawThemeEdge)(HTHEME, HDC, int, int, const RECT*, UINT, UINT, RECT*);
  HRESULT(WINAPI* GetThemeColor)(HTHEME, int, int, int, COLORREF*);
  HRESULT(WINAPI* GetThemeMetric)(HTHEME, HDC, int, int, int, int*);
  HRESULT(WINAPI* GetThemeMargins)(HTHEME, HDC, int, int, int, const RECT*, void*);  // MARGINS out
  HRESULT(WINAPI* GetThemeBackgroundContentRect)(HTHEME, HDC, int, int, const RECT*, RECT*);
  BOOL(WINAPI* IsThemeBackgroundPartiallyTransparent)(HTHEME, int, int);
  HRESULT(WINAPI* DrawThemeParentBackground)(HWND, HDC, const RECT*);
  HRESULT(WINAPI* SetWindowTheme)(HWND, LPCWSTR, LPCWSTR);
  BOOL(WINAPI* IsThemeActive)();         // required
  BOOL(WINAPI* IsAppThemed)();           // required
  HRESULT(WINAPI* EnableTheming)(BOOL);  // required
};

// Loads and binds the library unless it is loaded; false when it is missing or lacks a required function.
bool LoadVisualStyleLibrary();
// Releases the library and clears every bound function.
void UnloadVisualStyleLibrary();
// The library is loaded and both the application and the system use visual styles.
bool VisualStylesActive();
const TVisualStyleApi& VisualStyleApi();

// State the nexus keeps: whether visual styles are in use and the two theme handles (nullptr when closed).
bool UseThemes();
HTHEME ScrollBarTheme();
HTHEME GlobalsTheme();

// Called after every theme change, once the nexus has reopened the handles.
using TThemeChangeEvent = TMethod<void()>;
void AddThemeChangeHandler(TThemeChangeEvent AHandler);
void RemoveThemeChangeHandler(TThemeChangeEvent AHandler);
// Called before the nexus closes the visual styles (on a theme change and at the end), while the library is still
// bound: handles opened elsewhere through the bound functions are closed here, before the library goes.
void AddThemeClosingHandler(TThemeChangeEvent AHandler);
void RemoveThemeClosingHandler(TThemeChangeEvent AHandler);

class TThemeNexus : public TObject {
 public:
  // Makes the hidden window, then opens the visual styles.
  TThemeNexus();
  // Closes the visual styles, then releases the window.
  ~TThemeNexus() override;
  HWND Handle() const;

 private:
  void WindowProc(TMessage& AMessage);

  std::unique_ptr<TUtilityWindow> FWindow;
};

// Start and end of the unit: the one nexus is made and freed.
void InitializeXPThemes();
void FinalizeXPThemes();
TThemeNexus* ThemeNexus();
