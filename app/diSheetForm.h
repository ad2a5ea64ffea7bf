// The sheet form: shows one sheet in a scrollable range box and turns window events into sheet calls (painting,
// sizing, scrolling, keys, mouse presses counted into double, triple and quadruple clicks, hints, the caret) and
// the sheet's notifications back into the box. It owns the edit actions with their shortcuts, the search loop of
// Find, Find Next and Replace, collapsing and expanding the whole sheet, jumping to elements by identifier, and the
// pop-up window of an element's drop-down list. Also the "SheetForm" settings node.
#pragma once

#include "document/model/diSheet.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuNode.h"
#include "foundation/cuProps.h"
#include "framework/fwControls.h"
#include "framework/fwForms.h"
#include "framework/fwListBox.h"
#include "framework/fwMessages.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TAction;
class TActionList;
class THintWindow;
class THooker;
class TImageList;
class TMenuItem;
class TPopupMenu;
class TRangeBox;
class TScheme;

// Private messages of the drop-down window, posted to itself: make the row under the cursor the current one
// (after a wheel turn), and show the current row's hint (after a key). No parameters.
constexpr UINT WM_DROPDOWN_HOTTRACK = WM_USER + 1;
constexpr UINT WM_DROPDOWN_ITEMHINT = WM_USER + 2;

// "SheetForm".
class TSheetFormSettings : public TProperty {
 public:
  TSheetFormSettings(TProperty* AParent, std::u16string AName);

  TBooleanProperty* ShowHints;
};

// Alive between InitializeSheetForm and FinalizeSheetForm.
extern std::unique_ptr<TSheetFormSettings, TNodeDeleter> SheetFormSettings;
void InitializeSheetForm();
void FinalizeSheetForm();

// The press count after a press: 2, 3, 4... for a left press within ADoubleClickTime milliseconds of the last
// one (AElapsed; a negative value means there was none) and within AThreshold pixels of it on both axes, counting
// up from 0 to 2; 0 for any other press.
int NextClickCount(int ACount, bool ALeft, POINT ALast, POINT APoint, int64_t AElapsed, unsigned ADoubleClickTime,
                   int AThreshold);

// The scroll position that shows ARect (range coordinates) in a view of AClient at APosition, with 30 pixels of
// margin when asked. Horizontally the left edge wins; vertically a rectangle taller than the view shows its top
// when scrolling down and its bottom when scrolling up.
POINT ScrollPositionFor(const TRect& ARect, bool AWithMargin, POINT APosition, SIZE AClient);

// Where the drop-down window goes for an element at AElement (screen coordinates): ARows visible rows of
// AItemHeight (at most 17, at least 1) plus ABorder; AWidth wide, moved left to stay inside AWorkArea; below the
// element, or above it when there is less room below than above, a row fewer at a time until it fits.
struct TDropDownPlacement {
  RECT Bounds;
  int Rows;
  bool Above;
};
constexpr int DropDownMaxRows = 17;
TDropDownPlacement PlaceDropDown(const RECT& AElement, int ACount, int AItemHeight, int ABorder, int AWidth,
                                 const RECT& AWorkArea);

class TSheetForm;

// The pop-up list of an open drop-down: owner-drawn rows painted by the list's items, a top-most tool window that
// never takes activation or the keyboard focus (the sheet keeps it) and draws as focused all the same.
class TDropDownControl : public TListBox {
 public:
  // AForm shows the list: its sheet paints the rows and hears of the choice.
  TDropDownControl(TComponent* AOwner, TSheetForm* AForm);
  ~TDropDownControl() override;

  TDropDownList* List() const { return FList; }
  void SetList(TDropDownList* AList) { FList = AList; }
  // The rows shown, in order: each visible row of the list.
  const std::vector<TDropDownItem*>& Rows() const { return FRows; }
  TDropDownItem* CurrentItem() const;

  // Refills from the list, keeping the top row; the chosen row is the list's selected one.
  void Fill();
  // Makes the row under the cursor the current one and shows its hint.
  void HotTrackAt(POINT AScreenPoint);
  // The current row's text beside the list, or no hint for none or an empty text.
  void ShowItemHint();
  THintWindow* HintWindow() const { return FHintWindow; }

 protected:
  void CreateParams(TCreateParams& AParams) override;
  void CreateWnd() override;
  void WndProc(TMessage& AMessage) override;
  void BeforeDestruction() override;

 private:
  void DrawRow(TObject* ASender, int AIndex, const RECT& ARect, TOwnerDrawState AState);
  void LeftButtonUp(POINT AClient);
  void ReleaseHint();

  TSheetForm* FForm;
  TDropDownList* FList = nullptr;
  std::vector<TDropDownItem*> FRows;
  THintWindow* FHintWindow = nullptr;
  // Screen coordinates.
  POINT FLastMousePos{-1, -1};
};

class TSheetForm : public TForm {
 public:
  explicit TSheetForm(TComponent* AOwner);
  ~TSheetForm() override;

  TScheme* Scheme() const { return FScheme; }
  TSheet* Sheet() const { return FSheet; }
  // Binds the pair; nil, nil unbinds. Nothing happens when neither differs.
  void SetSheet(TScheme* AScheme, TSheet* ASheet);
  // The size a bound sheet is shown at: the range box's client area.
  TVisualSize ViewSize() const;
  // Whether a repaint of ARect, in sheet coordinates, reaches the visible part of the sheet.
  bool MeetsView(const TRect& ARect) const;

  // One search from the focused element (mode 1 find next, 2 the first step of a replace); true on a match.
  bool FindNext(int AMode, TFindData* AData, bool ADown);
  // FindNext, telling the user when nothing was found.
  void FindAgain(int AMode, TFindData* AData, bool ADown);
  void Replace(TFindData* AData, const std::u16string& AReplaceText, bool AAll, bool ADown);
  // One undo step over every expand button of the sheet.
  void ExpandCollapseAll(bool AOnlyNonEmpty, bool AExpand);
  // Marks the elements of the identifiers and shows the first; the number found.
  int GoToElements(const std::vector<int32_t>& AIds);
  void ShowElement(TVisualElement* AElement);
  // ARect in sheet (range) coordinates; scrolls the range box.
  void ScrollRectIntoView(const TRect& ARect, bool AWithMargin);

  void UpdateEditActions();
  void UpdateUndoRedoActions();
  void UpdateWantTabs();
  void UpdateCaptions();
  void UpdateHintsAndCursor();

  // The press count of the last left press: 0, or 2, 3, 4... within a run of quick presses.
  int ClickCount() const { return FClickCount; }
  // The open pop-up list, nil when none.
  TDropDownControl* DropDown() const { return FDropDown; }
  bool Choosing() const { return FChoosing; }
  TVisualElement* HintElement() const { return FHintElement; }

  // Keys of the range box after the sheet and the edit shortcuts (the edit window's palette forwarders); the hooker
  // passes key downs, Alt key ups and Alt characters to them before the box sees them. A key set to 0 is taken.
  TKeyEvent OnKeyDownHook;
  TKeyPressEvent OnKeyPressHook;
  TKeyEvent OnKeyUpHook;

  TRangeBox* rb1;
  THooker* hk1;
  TPopupMenu* pmEdit;
  TMenuItem* miUndo;
  TActionList* al1;
  // The pictures of the menus and actions (TMenuImage), for the actions and the popup.
  TImageList* iml1;
  TAction* EditUndo;
  TAction* EditRedo;
  TAction* EditCut;
  TAction* EditCopy;
  TAction* EditCopyText;
  TAction* EditPaste;
  TAction* EditDelete;
  TAction* EditSelectAll;
  TAction* EditReadOnly;
  TAction* ViewNonPrintingCharacters;

 protected:
  void CreateWnd() override;
  void BeforeDestruction() override;

 private:
  friend class TDropDownControl;

  void LocalizationChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SettingsChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SheetSettingsChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void UndoRedoChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SheetNotification(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);

  void hk1BeforeMessage(TObject* ASender, TMessage& AMessage, bool& AHandled);
  void rb1KeyDown(TObject* ASender, uint16_t& AKey, TShiftState AShift);
  void rb1KeyPress(TObject* ASender, char16_t& AKey);
  void rb1KeyUp(TObject* ASender, uint16_t& AKey, TShiftState AShift);
  void rb1MouseDown(TObject* ASender, TMouseButton AButton, TShiftState AShift, int X, int Y);
  void rb1MouseMove(TObject* ASender, TShiftState AShift, int X, int Y);
  void rb1MouseUp(TObject* ASender, TMouseButton AButton, TShiftState AShift, int X, int Y);
  void rb1MouseLeave(TObject* ASender);
  void rb1CancelMode(TObject* ASender, TWinControl* ACausing);
  void rb1ContextPopup(TObject* ASender, POINT AMousePos, bool& AHandled);
  void rb1PaintDC(TObject* ASender, HDC ADC, const RECT& ARect);
  void rb1Resize(TObject* ASender);
  void rb1Scrolled(TObject* ASender);
  void rb1ShowHint(TObject* ASender, bool& ACanShow, THintInfo& AHintInfo);

  void miUndoClick(TObject* ASender);
  void EditUndoExecute(TObject* ASender);
  void EditRedoExecute(TObject* ASender);
  void EditCutExecute(TObject* ASender);
  void EditCopyExecute(TObject* ASender);
  void EditCopyTextExecute(TObject* ASender);
  void EditPasteExecute(TObject* ASender);
  void EditDeleteExecute(TObject* ASender);
  void EditSelectAllExecute(TObject* ASender);
  void EditReadOnlyExecute(TObject* ASender);
  void ViewNonPrintingCharactersExecute(TObject* ASender);

  void UpdateCaret();
  void OpenDropDown();
  void MoveDropDown();
  void CloseDropDown();
  void PlaceDropDownWindow(bool AUnion);
  void DropDownItemChosen(TObject* ASender);
  // The hooker's key handling before the box: false when the message is taken.
  bool HookKeyDown(TMessage& AMessage);
  // Replaces the focused element's selection (the current match) and leaves the caret where a search in the
  // direction goes on: after the new text going down, before it going up. False when it could not.
  bool ReplaceSelection(const std::u16string& AText, bool ADown);
  TVisualPoint ClientToScreenPos(TVisualPoint APoint) const;

  TScheme* FScheme = nullptr;
  TSheet* FSheet = nullptr;
  POINT FLastClickPos{};
  // GetTickCount64 of the last press; 0 for none.
  uint64_t FLastClickTime = 0;
  int FClickCount = 0;
  TVisualElement* FHintElement = nullptr;
  TDropDownControl* FDropDown = nullptr;
  bool FChoosing = false;
  bool FScrolling = false;
  // The last key down was an Enter that nobody took.
  bool FEnterBeeped = false;
};
