// The palette form: the strip above the document that offers the palette items of the focused element as styled
// buttons in captioned groups, runs an item once its click is over, squeezes its groups in a narrow window and
// lets the user pick items by holding Ctrl and typing their shortcuts. Also the "PaletteForm" settings node.
#pragma once

#include "document/model/diPalette.h"
#include "foundation/cuNode.h"
#include "foundation/cuProps.h"
#include "framework/fwControls.h"
#include "framework/fwForms.h"
#include "framework/fwMessages.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TBitmap;
class TMenuItem;
class TPanelEx;
class TPopupMenu;
class TPushStyler;
class TSchemeImages;
class TSheet;
class TStaticStyler;
class TStyledPainter;
class TTimer;
class TUserButton;
class TVisualElement;

// Private messages of the form's window: wParam the palette item; lParam the checked state (run) or a pointer to
// the sub-command's parameter text (sub-command run).
constexpr UINT WM_PALETTE_RUN = WM_USER + 1;
constexpr UINT WM_PALETTE_RUN_SUB = WM_USER + 2;

// "PaletteForm".
class TPaletteFormSettings : public TProperty {
 public:
  TPaletteFormSettings(TProperty* AParent, std::u16string AName);

  TBooleanProperty* ShowHeaders;
  TBooleanProperty* ShowCaptions;
  TBooleanProperty* ShowHints;
};

// The node and the four palette bitmaps, alive between InitializePaletteForm and FinalizePaletteForm.
extern std::unique_ptr<TPaletteFormSettings, TNodeDeleter> PaletteFormSettings;
void InitializePaletteForm();
void FinalizePaletteForm();
// Loads the palette bitmaps from the program's resources once.
void LoadPaletteBitmaps();
// Nil until loaded.
TBitmap* PaletteBitmap(const char16_t* AName);

// How the form shows one offered item; the focused element may change it (TVisualElement::TunePaletteItem).
enum class TPaletteTuneFlag : uint32_t {
  ptLarge = 0x100,
  ptToggle = 0x200,
  ptRadio = 0x400,
  ptNewColumn = 0x800,
  ptNoCaption = 0x1000,
  ptOpensMenu = 0x2000,
  ptTwoPart = 0x4000,
};
constexpr bool IsFlagFamily(TPaletteTuneFlag) { return true; }
using enum TPaletteTuneFlag;
using TPaletteTuneFlags = TSet<TPaletteTuneFlag>;

struct TPaletteItemTune {
  TPaletteItem* Item = nullptr;
  std::u16string Caption;
  int SmallImage = -1;
  int LargeImage = -1;
  TPaletteTuneFlags Flags;
  int GroupIndex = 0;
  std::u16string Shortcut;
};
// From the item alone: its caption, images, the display bits of its flags and its key text.
TPaletteItemTune GetItemTune(TPaletteItem* AItem);
// The caption, " (Ctrl+key)" when the item has a shortcut, CR LF and the description.
std::u16string GetItemHint(const TPaletteItemTune& ATune);
// "Space" for the blank, else the text itself.
std::u16string ShortcutKeyText(const std::u16string& AShortcut);
// Whether a virtual key code extends a typed prefix: the blank, digits and capital letters.
constexpr bool ExtendsTypedPrefix(uint16_t AKey) {
  return AKey == 32 || (AKey >= 48 && AKey <= 57) || (AKey >= 65 && AKey <= 90);
}

class TPaletteForm : public TForm {
 public:
  explicit TPaletteForm(TComponent* AOwner);
  ~TPaletteForm() override;

  // One button of an offered item; a two-part item has two, the second with SecondPart.
  struct TButtonEntry {
    TUserButton* Button;
    TPaletteItemTune Tune;
    bool FirstPart = false;
    bool SecondPart = false;
    TPopupMenu* Menu = nullptr;
  };
  // A column of small buttons (up to three rows) or one large item; a row holds a button and its second part.
  struct TColumn {
    bool Large = false;
    std::vector<std::vector<TUserButton*>> Rows;
  };
  struct TGroupPanel {
    TPanelEx* Panel;
    TUserButton* CaptionButton = nullptr;
    int CaptionWidth = 0;  // the least width the caption asks for; 0 once shrunk to the content
    std::vector<TColumn> Columns;
  };

  TSheet* Sheet() const { return FSheet; }
  void SetSheet(TSheet* ASheet);

  // Ctrl-typing, fed by the edit window's key hooks (and by the form's own keys, should it hold the focus); a key
  // set to 0 was consumed.
  void KeyDown(uint16_t& AKey, TShiftState AShift) override;
  void KeyPress(char16_t& AChar) override;
  void KeyUp(uint16_t& AKey, TShiftState AShift) override;

  // The focused element while the sheet has the keyboard, else nil.
  TVisualElement* CurrentElement() const;
  void CalcSizes();
  void Rebuild(TVisualElement* AElement);
  void UpdateButtons();

  int RowHeight() const { return FRowHeight; }
  int GroupHeight() const { return FGroupHeight; }
  int FontHeight() const { return FFontHeight; }
  int CaptionHeight() const { return FCaptionHeight; }
  int FormHeight() const;
  bool Compacted() const { return FCompacted; }
  bool InCtrlMode() const;
  const std::u16string& TypedPrefix() const { return FTypedPrefix; }
  const std::vector<TGroupPanel>& Groups() const { return FGroups; }
  const std::vector<TButtonEntry>& Buttons() const { return FButtons; }
  // The first button of AItem, nil when it has none.
  TUserButton* ButtonOf(const TPaletteItem* AItem) const;
  // The shortcut labels now shown, by shortcut.
  std::vector<std::u16string> ShownShortcutLabels() const;

  TPushStyler* stPaletteButton;
  TStaticStyler* stPaletteGroupCaption;
  TStyledPainter* ptrSmallPaletteButton;
  TStyledPainter* ptrPaletteGroupCaption;
  TStyledPainter* ptrLargePaletteButton;
  TStyledPainter* ptrFirstPartPaletteButton;
  TStyledPainter* ptrSecondPartPaletteButton;
  TTimer* tmCtrl;
  TTimer* tmCtrlHints;
  // Whether Ctrl is held now, as the 10 ms poll reads it; tests hold it without the system's keyboard, which Wine
  // may resynchronise from the X server at any moment.
  std::function<bool()> CtrlHeld;

 protected:
  void WndProc(TMessage& AMessage) override;
  void Paint() override;
  void Resize() override;
  void DoShow() override;
  void BeforeDestruction() override;

 private:
  void SettingsChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void LocalizationChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void SheetNotification(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);
  void DropPendingRuns();
  void ClearButtons();
  void FreeSparePanels();
  TGroupPanel& AddGroupPanel(TPaletteGroup* AGroup);
  void AddItemButton(TGroupPanel& APanel, const TPaletteItemTune& ATune, TVisualElement* AElement);
  TUserButton* NewButton(TGroupPanel& APanel, const TPaletteItemTune& ATune, TStyledPainter* APainter, bool ACaption,
                         bool AImage);
  TPopupMenu* MakeMenu(TGroupPanel& APanel, const TPaletteItemTune& ATune, TVisualElement* AElement);
  // Places the columns of a panel from 2 pixels in and sizes it; then every panel after the previous one.
  void LayoutPanel(TGroupPanel& APanel);
  void PlacePanels();
  int Excess() const;
  void CompactGroups();
  void ButtonClick(TObject* ASender);
  void ButtonMouseDown(TObject* ASender, TMouseButton AButton, TShiftState AShift, int X, int Y);
  void SubCommandClick(TObject* ASender);
  void MenuPopup(TObject* ASender);
  void ButtonShowHint(TObject* ASender, bool& ACanShow, THintInfo& AHintInfo);
  void RunPosted(TMessage& AMessage);
  void ExecuteItem(TVisualElement* AElement, TPaletteItem* AItem, const std::u16string* AParameter, bool AChecked);
  const TButtonEntry* EntryOf(const TUserButton* AButton) const;
  void StopCtrlMode();
  void CtrlTick(TObject* ASender);
  void CtrlHintsTick(TObject* ASender);
  void ShowShortcutHints();
  void HideShortcutHints();
  void ExecuteTypedShortcut();

  TSheet* FSheet = nullptr;
  bool FShown = false;
  std::unique_ptr<TSchemeImages> FSmallDisabled;
  std::unique_ptr<TSchemeImages> FLargeDisabled;
  std::vector<TGroupPanel> FGroups;
  // Panels of the last build, taken again by the next one.
  std::vector<TPanelEx*> FSparePanels;
  std::vector<TButtonEntry> FButtons;
  int FRowHeight = 0;
  int FGroupHeight = 0;
  int FFontHeight = 0;
  int FCaptionHeight = 0;
  bool FCompacted = false;
  // Upper-case shortcut text to its first button.
  std::map<std::u16string, TUserButton*> FShortcuts;
  std::map<std::u16string, TComponent*> FShortcutHints;
  std::u16string FTypedPrefix;
  bool FRebuilding = false;
  bool FChildSelectionMode = false;
  // Parameters of sub-command entries, kept while their menus live.
  std::vector<std::unique_ptr<std::u16string>> FParameters;
  std::map<TMenuItem*, std::pair<TPaletteItem*, const std::u16string*>> FMenuEntries;
};
