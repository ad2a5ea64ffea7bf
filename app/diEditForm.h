// The edit window: the palette strip at the top, the document sheet in the middle and, while the log holds
// messages, the log sheet at the bottom under a splitter that carries a round "clear and close log" button. It
// owns find and replace with the system's dialogs, collapse and expand over the document, refresh, clearing the
// log and the palette switch; it keeps the palette's visibility and the log's height in the main window's session
// knot, and hands the document sheet's keys to the palette for Ctrl-typing.
#pragma once

#include "framework/fwControls.h"
#include "framework/fwForms.h"
#include "framework/fwMessages.h"

#include <cstdint>
#include <string>
#include <vector>

class TAction;
class TCanvas;
class TActionList;
class TFindDialog;
class TImageList;
class TKnot;
class TLogRoot;
class TPaletteForm;
class TPlaceBox;
class TReplaceDialog;
class TScheme;
class TSheet;
class TSheetForm;
class TSplitter;

// Layout knots under the main window's session knot: "Palette" with "Visible", "Log" with "Height".
constexpr const char16_t* EditLayoutPaletteKnot = u"Palette";
constexpr const char16_t* EditLayoutLogKnot = u"Log";

class TEditForm : public TForm {
 public:
  // The log pane's height before a stored one is taken; the bounds a stored height must keep to.
  static constexpr int DefaultLogHeight = 130;
  static constexpr int MinLogHeight = 10;
  static constexpr int SplitterHeight = 8;

  explicit TEditForm(TComponent* AOwner);
  ~TEditForm() override;

  // Components, in creation order.
  TActionList* al1;
  TAction* EditFind;
  TAction* EditFindNext;
  TAction* EditReplace;
  TAction* EditCode;
  TAction* ToolsCollapseAll;
  TAction* ToolsExpandedNotEmpty;
  TAction* ToolsExpandAll;
  TAction* ToolsRefresh;
  TAction* ToolsCheck;
  TAction* ToolsClearLog;
  TAction* ViewPalette;
  TFindDialog* fd1;
  TReplaceDialog* rd1;
  TImageList* imlLogButtons;  // 58 x 18: the button's background
  TImageList* imlLogClear;    // 14 x 13: the clear sign of each severity, 0-3
  TPlaceBox* pbLogButton;
  TSplitter* splLog;

  // Owned, made at creation: the strip at the top, the document sheet over the whole client area, the log sheet
  // at the bottom (hidden while the log is empty).
  TPaletteForm* PaletteForm() const { return FPaletteForm; }
  TSheetForm* SheetForm() const { return FSheetForm; }
  TSheetForm* LogForm() const { return FLogForm; }

  TScheme* Scheme() const { return FScheme; }
  TScheme* LogScheme() const { return FLogScheme; }
  // Binds the document and its log (the log scheme's root is a TLogRoot); all nil unbinds. The sheets must stay
  // alive while bound: unbind before the document that owns them goes.
  void SetDocument(TScheme* AScheme, TSheet* ASheet, TScheme* ALogScheme, TSheet* ALogSheet);

  // The layout knots under ASessionKnot. A stored log height is checked against the window the log first shows
  // in (MinLogHeight .. half of this form's height); one outside keeps the present height.
  void LoadLayout(TKnot& ASessionKnot);
  void SaveLayout(TKnot& ASessionKnot);

  // Width of the painted frame and of the form's padding on all sides; 0 = no frame.
  int FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(int AValue);

  bool LogVisible() const { return FLogVisible; }
  // The log's highest severity (0-3) when the log button was last painted.
  uint8_t LogSeverity() const { return FLogSeverity; }

  // The log pane follows the number of messages of the document's list; the button's sign its worst kind.
  void UpdateLog();
  // Find, replace and the collapse and expand commands are enabled exactly while a document is bound.
  void UpdateActions();
  void UpdateCaptions();

 protected:
  void CreateWnd() override;
  void WndProc(TMessage& AMessage) override;
  void Paint() override;
  void Resize() override;
  void DoShow() override;
  void BeforeDestruction() override;

 private:
  void FocusChanged(TWinControl* AControl);
  void LocalizationChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SchemeChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void al1Execute(TAction* AAction, bool& AHandled);
  void EditFindExecute(TObject* ASender);
  void EditFindNextExecute(TObject* ASender);
  void EditReplaceExecute(TObject* ASender);
  void ToolsCollapseAllExecute(TObject* ASender);
  void ToolsExpandedNotEmptyExecute(TObject* ASender);
  void ToolsExpandAllExecute(TObject* ASender);
  void ToolsRefreshExecute(TObject* ASender);
  void ToolsCheckExecute(TObject* ASender);
  void ToolsClearLogExecute(TObject* ASender);
  void ViewPaletteExecute(TObject* ASender);
  void fd1Find(TObject* ASender);
  void rd1Find(TObject* ASender);
  void rd1Replace(TObject* ASender);
  void PaletteKeyDown(TObject* ASender, uint16_t& AKey, TShiftState AShift);
  void PaletteKeyPress(TObject* ASender, char16_t& AKey);
  void PaletteKeyUp(TObject* ASender, uint16_t& AKey, TShiftState AShift);
  void LogButtonPaint(TObject* ASender, TCanvas& ACanvas, const RECT& ARect);
  void LogButtonClick(TObject* ASender);
  void SplitterPaint(TObject* ASender);
  void SplitterMoved(TObject* ASender);
  void LogChanged(TLogRoot* ASender);
  void LogElementsLink(TLogRoot* ASender, const std::vector<int32_t>& AIdentifiers);
  void LogFileLink(TLogRoot* ASender, const std::u16string& AFileName);

  TLogRoot* BoundLogRoot() const;
  void BindLogRoot(TLogRoot* ARoot);
  void ClearLog();
  void SetLogVisible(bool AValue);
  void ApplyStoredLogHeight();
  void PlaceLogButton();
  void DrawFrame(HDC ADC, const RECT& ARect);

  TScheme* FScheme = nullptr;
  TScheme* FLogScheme = nullptr;
  TPaletteForm* FPaletteForm = nullptr;
  TSheetForm* FSheetForm = nullptr;
  TSheetForm* FLogForm = nullptr;
  int FFrameWidth = 0;
  bool FLogVisible = false;
  uint8_t FLogSeverity = 0;
  // A stored height waits for the log's first showing, when this form has its place in the main window.
  int FStoredLogHeight = 0;
  bool FStoredLogHeightPending = false;
};
