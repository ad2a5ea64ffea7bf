#include "app/diPaletteForm.h"

#include "app/diPaletteHintWindow.h"
#include "controls/baPainterStyles.h"
#include "controls/baSaper.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUndoRedo.h"
#include "framework/fwApplication.h"
#include "framework/fwBitmaps.h"
#include "framework/fwMenus.h"
#include "framework/fwScreen.h"
#include "framework/fwTimer.h"

#include <algorithm>
#include <array>

std::unique_ptr<TPaletteFormSettings, TNodeDeleter> PaletteFormSettings;

namespace {

constexpr int IdShortcutHint = 2970;
constexpr int IdSpaceKey = 2971;
constexpr TColor kDisabledFontColor = 12237498;  // 0xBABABA

constexpr std::array<const char16_t*, 4> kBitmapNames = {u"PaletteBackground", u"PaletteGroup", u"PaletteButtonHot",
                                                         u"PaletteButtonPressed"};
std::array<std::unique_ptr<TBitmap>, 4> PaletteBitmaps;

void SetZones(TBackground& AStyle, const TBitmap& ABitmap, int ALeft, int ATop, int ARight, int ABottom) {
  TMargins zones;
  zones.SetBounds(ALeft, ATop, ARight, ABottom);
  SetZoneBitmap(AStyle, ABitmap, zones);
}

void SetPadding(TStyledPainter* APainter, int ALeft, int ATop, int ARight, int ABottom) {
  APainter->Padding().SetBounds(ALeft, ATop, ARight, ABottom);
}

template <class T>
T* Make(TComponent* AOwner) {
  return New<T>(AOwner);
}

std::u16string Upper(std::u16string AText) {
  for (char16_t& c : AText)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return AText;
}

bool StartsWith(const std::u16string& AText, const std::u16string& APrefix) {
  return AText.size() >= APrefix.size() && AText.compare(0, APrefix.size(), APrefix) == 0;
}

}  // namespace

TPaletteFormSettings::TPaletteFormSettings(TProperty* AParent, std::u16string AName)
    : TProperty(AParent, std::move(AName)),
      ShowHeaders(new TBooleanProperty(this, u"ShowHeaders", true)),
      ShowCaptions(new TBooleanProperty(this, u"ShowCaptions", true)),
      ShowHints(new TBooleanProperty(this, u"ShowHints", true)) {}

void InitializePaletteForm() { PaletteFormSettings.reset(new TPaletteFormSettings(nullptr, u"PaletteForm")); }

void FinalizePaletteForm() {
  PaletteFormSettings.reset();
  for (auto& bitmap : PaletteBitmaps) bitmap.reset();
}

void LoadPaletteBitmaps() {
  for (size_t i = 0; i < kBitmapNames.size(); ++i) {
    if (PaletteBitmaps[i]) continue;
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromResourceName(GetModuleHandleW(nullptr), kBitmapNames[i]);
    PaletteBitmaps[i] = std::move(bitmap);
  }
}

TBitmap* PaletteBitmap(const char16_t* AName) {
  for (size_t i = 0; i < kBitmapNames.size(); ++i)
    if (std::u16string_view(kBitmapNames[i]) == AName) return PaletteBitmaps[i].get();
  return nullptr;
}

TPaletteItemTune GetItemTune(TPaletteItem* AItem) {
  TPaletteItemTune tune;
  tune.Item = AItem;
  tune.Caption = AItem->GetCaption();
  tune.SmallImage = AItem->SmallImage();
  tune.LargeImage = AItem->LargeImage();
  tune.Flags = TPaletteTuneFlags::FromBits(AItem->ItemFlags().Bits() & 0x7F00);
  tune.Shortcut = AItem->KeyText();
  return tune;
}

std::u16string ShortcutKeyText(const std::u16string& AShortcut) {
  return AShortcut == u" " ? FormatLocStrOr(IdSpaceKey, u"Space", {}) : AShortcut;
}

std::u16string GetItemHint(const TPaletteItemTune& ATune) {
  std::u16string hint = ATune.Caption;
  if (!ATune.Shortcut.empty()) hint += FormatLocStrOr(IdShortcutHint, u" (Ctrl+%1)", {ShortcutKeyText(ATune.Shortcut)});
  return hint + u"\r\n" + ATune.Item->GetHint();
}

// ---------------------------------------------------------------------------------------------------------------

TPaletteForm::TPaletteForm(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TFormBorderStyle::bsNone);
  Font().Assign(&Screen->MessageFont());
  LoadPaletteBitmaps();

  stPaletteButton = Make<TPushStyler>(this);
  stPaletteButton->Font().Assign(&Screen->MessageFont());
  stPaletteButton->SetOptions(soChevronArrows | soLargeSigns);
  TPainterStyles& styles = stPaletteButton->Styles();
  styles.Adapt().SetFillKind(fkClear);
  SetZones(styles.Checked(), *PaletteBitmaps[3], 4, 3, 4, 3);
  SetZones(styles.Pressed(), *PaletteBitmaps[3], 4, 3, 4, 3);
  SetZones(styles.Hot(), *PaletteBitmaps[2], 3, 3, 3, 3);
  styles.Disabled().SetImageEffects(pieDisable);
  styles.Disabled().SetFontColor(kDisabledFontColor);
  styles.Focused().SetOptions(psoFocusRect);

  stPaletteGroupCaption = Make<TStaticStyler>(this);
  stPaletteGroupCaption->Font().SetName(u"Tahoma");
  stPaletteGroupCaption->Font().SetHeight(-11);
  stPaletteGroupCaption->Font().SetColor(kDisabledFontColor);
  stPaletteGroupCaption->Style().SetFillKind(fkClear);

  const int smallW = SchemeSmallImages->Width(), smallH = SchemeSmallImages->Height();
  const int largeW = SchemeLargeImages->Width(), largeH = SchemeLargeImages->Height();
  FSmallDisabled = SchemeSmallImages->CreateGreyed();
  FLargeDisabled = SchemeLargeImages->CreateGreyed();
  auto makePainter = [&](bool ALarge) {
    TStyledPainter* painter = Make<TStyledPainter>(this);
    painter->SetStyler(stPaletteButton);
    painter->SetImages(ALarge ? &SchemeLargeImages->List() : &SchemeSmallImages->List());
    painter->SetDisabledImages(ALarge ? &FLargeDisabled->List() : &FSmallDisabled->List());
    painter->SetImagesWidth(ALarge ? largeW : smallW);
    painter->SetImagesHeight(ALarge ? largeH : smallH);
    return painter;
  };
  ptrSmallPaletteButton = makePainter(false);
  ptrSmallPaletteButton->SetAlignKind(akBegin);
  SetPadding(ptrSmallPaletteButton, 3, 2, 6, 2);
  ptrSmallPaletteButton->SetSignsSpacing(10);

  ptrPaletteGroupCaption = Make<TStyledPainter>(this);
  ptrPaletteGroupCaption->SetStyler(stPaletteGroupCaption);
  ptrPaletteGroupCaption->SetOptions(poEndEllipsis);

  ptrLargePaletteButton = makePainter(true);
  ptrLargePaletteButton->SetAlignKind(akOpposite);
  ptrLargePaletteButton->SetLayout(ilTop);
  ptrLargePaletteButton->SetOptions(poWordWrap);
  SetPadding(ptrLargePaletteButton, 4, 4, 4, 4);

  ptrFirstPartPaletteButton = makePainter(true);
  ptrFirstPartPaletteButton->SetLayout(ilTop);
  SetPadding(ptrFirstPartPaletteButton, 10, 4, 10, 4);

  ptrSecondPartPaletteButton = makePainter(false);
  ptrSecondPartPaletteButton->SetOptions(poWordWrap);
  SetPadding(ptrSecondPartPaletteButton, 4, 0, 4, 0);
  ptrSecondPartPaletteButton->SetSignsSpacing(10);
  ptrSecondPartPaletteButton->SetSpacing(1);

  tmCtrl = Make<TTimer>(this);
  tmCtrl->SetEnabled(false);
  tmCtrl->SetInterval(10);
  tmCtrl->SetOnTimer(MakeMethod<&TPaletteForm::CtrlTick>(this));
  CtrlHeld = [] { return GetKeyState(VK_CONTROL) < 0; };
  tmCtrlHints = Make<TTimer>(this);
  tmCtrlHints->SetEnabled(false);
  tmCtrlHints->SetInterval(550);
  tmCtrlHints->SetOnTimer(MakeMethod<&TPaletteForm::CtrlHintsTick>(this));

  if (PaletteFormSettings) PaletteFormSettings->AddNotifyEvent(MakeMethod<&TPaletteForm::SettingsChanged>(this));
  if (Localization) Localization->AddNotifyEvent(MakeMethod<&TPaletteForm::LocalizationChanged>(this));
}

TPaletteForm::~TPaletteForm() = default;

void TPaletteForm::BeforeDestruction() {
  SetSheet(nullptr);
  // Their parameters point at buttons and menu entries that go now.
  DropPendingRuns();
  StopCtrlMode();
  ClearButtons();
  FreeSparePanels();
  if (PaletteFormSettings) PaletteFormSettings->RemoveNotifyEvent(MakeMethod<&TPaletteForm::SettingsChanged>(this));
  if (Localization) Localization->RemoveNotifyEvent(MakeMethod<&TPaletteForm::LocalizationChanged>(this));
  TForm::BeforeDestruction();
}

void TPaletteForm::SetSheet(TSheet* ASheet) {
  if (FSheet == ASheet) return;
  if (FSheet) FSheet->RemoveNotifyEvent(MakeMethod<&TPaletteForm::SheetNotification>(this));
  FSheet = ASheet;
  if (FSheet) FSheet->AddNotifyEvent(MakeMethod<&TPaletteForm::SheetNotification>(this));
  if (!IsDestroying()) Rebuild(CurrentElement());
}

TVisualElement* TPaletteForm::CurrentElement() const {
  return FSheet && FSheet->Active() ? FSheet->Focused() : nullptr;
}

void TPaletteForm::SettingsChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify != 1) return;
  CalcSizes();
  Rebuild(nullptr);
  Rebuild(CurrentElement());
}

void TPaletteForm::LocalizationChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1) Rebuild(CurrentElement());
}

void TPaletteForm::SheetNotification(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  switch (ANotify) {
    case snFocusChanged:
    case snCommandState:
    case snActive:
      Rebuild(CurrentElement());
      break;
    case snAvailability:
    case snReadOnly:
      UpdateButtons();
      break;
    default:
      break;
  }
}

int TPaletteForm::FormHeight() const {
  const bool headers = !PaletteFormSettings || PaletteFormSettings->ShowHeaders->Value();
  return FGroupHeight + 4 + (headers ? FCaptionHeight + 5 : 2);
}

void TPaletteForm::CalcSizes() {
  TBitmap probe;
  probe.SetSize(1, 1);
  probe.Canvas().Font().Assign(&Font());
  FFontHeight = probe.Canvas().TextHeight(u"0");
  const TMargins& small = ptrSmallPaletteButton->Padding();
  FRowHeight = std::max(ptrSmallPaletteButton->ImagesHeight(), FFontHeight) + small.Top() + small.Bottom();
  const TMargins& large = ptrLargePaletteButton->Padding();
  const int largeHeight = FFontHeight + large.Top() + ptrLargePaletteButton->ImagesHeight() +
                          ptrLargePaletteButton->Spacing() + large.Bottom();
  FGroupHeight = std::max(largeHeight, 3 * FRowHeight);
  const TMargins& caption = ptrPaletteGroupCaption->Padding();
  FCaptionHeight = FFontHeight + caption.Top() + caption.Bottom();
  SetHeight(FormHeight());
}

void TPaletteForm::DropPendingRuns() {
  if (!HandleAllocated()) return;
  MSG message;
  while (PeekMessageW(&message, Handle(), WM_PALETTE_RUN, WM_PALETTE_RUN_SUB, PM_REMOVE)) {
  }
}

void TPaletteForm::ClearButtons() {
  HideShortcutHints();
  FShortcuts.clear();
  // A panel owns its buttons and their menus; the panel itself, a window, waits for the next build.
  for (TGroupPanel& group : FGroups) {
    group.Panel->DestroyComponents();
    FSparePanels.push_back(group.Panel);
  }
  FMenuEntries.clear();
  FButtons.clear();
  FGroups.clear();
  FParameters.clear();
}

void TPaletteForm::FreeSparePanels() {
  for (TPanelEx* panel : FSparePanels) panel->Free();
  FSparePanels.clear();
}

void TPaletteForm::Rebuild(TVisualElement* AElement) {
  if (FRebuilding || IsDestroying()) return;
  FRebuilding = true;
  try {
    DropPendingRuns();
    ClearButtons();
    if (FGroupHeight == 0) CalcSizes();
    if (AElement) {
      TPaletteList offered;
      FChildSelectionMode = CollectPaletteItems(AElement, offered);
      std::vector<TPaletteItem*> items;
      for (TPaletteNode* node : offered)
        if (auto* item = dynamic_cast<TPaletteItem*>(node)) items.push_back(item);
      std::stable_sort(items.begin(), items.end(),
                       [](TPaletteItem* A, TPaletteItem* B) { return A->Weight() > B->Weight(); });
      std::vector<TPaletteItemTune> tunes;
      for (TPaletteItem* item : items) {
        TPaletteItemTune tune = GetItemTune(item);
        AElement->TunePaletteItem(item, &tune);
        tunes.push_back(std::move(tune));
      }
      std::vector<TPaletteGroup*> groups;
      for (TNode* node = Palette ? Palette->FirstChild() : nullptr; node; node = node->NextSibling())
        if (auto* group = dynamic_cast<TPaletteGroup*>(node))
          for (const TPaletteItemTune& tune : tunes)
            if (tune.Item->Parent() == group) {
              groups.push_back(group);
              break;
            }
      std::stable_sort(groups.begin(), groups.end(),
                       [](TPaletteGroup* A, TPaletteGroup* B) { return A->Weight() > B->Weight(); });
      for (TPaletteGroup* group : groups) {
        TGroupPanel& panel = AddGroupPanel(group);
        for (const TPaletteItemTune& tune : tunes)
          if (tune.Item->Parent() == group) AddItemButton(panel, tune, AElement);
        LayoutPanel(panel);
      }
      PlacePanels();
    }
    FreeSparePanels();
    FRebuilding = false;
    UpdateButtons();
    FCompacted = Excess() > 0;
    if (FCompacted) CompactGroups();
  } catch (...) {
    FRebuilding = false;
    throw;
  }
  // Freed buttons leave their pictures behind, and a reused panel keeps its old pixels where its width changed:
  // the whole strip is painted again, panels included.
  if (HandleAllocated()) RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

TPaletteForm::TGroupPanel& TPaletteForm::AddGroupPanel(TPaletteGroup* AGroup) {
  TGroupPanel group;
  // Making and destroying the panels' windows was most of a rebuild's cost: panels of an earlier build are taken
  // again, in order, and only what is left over is freed at the end.
  if (!FSparePanels.empty()) {
    group.Panel = FSparePanels.front();
    FSparePanels.erase(FSparePanels.begin());
  } else {
    group.Panel = Make<TPanelEx>(this);
    if (PaletteBitmaps[1]) SetZones(group.Panel->Background(), *PaletteBitmaps[1], 0, 0, 3, 0);
    group.Panel->SetParent(this);
  }
  if (PaletteFormSettings->ShowHeaders->Value()) {
    TUserButton* caption = Make<TUserButton>(group.Panel);
    caption->SetPainter(ptrPaletteGroupCaption);
    caption->SetCaption(AGroup->GetCaption());
    caption->SetOptions(boAutoWidth | boTransparent);
    caption->SetParent(group.Panel);
    group.CaptionWidth = caption->Width() + 10;
    caption->SetBounds(2, 1, caption->Width(), FCaptionHeight);
    group.CaptionButton = caption;
  }
  FGroups.push_back(std::move(group));
  return FGroups.back();
}

TUserButton* TPaletteForm::NewButton(TGroupPanel& APanel, const TPaletteItemTune& ATune, TStyledPainter* APainter,
                                     bool ACaption, bool AImage) {
  TUserButton* button = Make<TUserButton>(APanel.Panel);
  button->SetOptions(boAutoWidth | boTransparent);
  button->SetPainter(APainter);
  if (ACaption) button->SetCaption(ATune.Caption);
  if (AImage) button->SetImageIndex(ATune.Flags.Contains(ptLarge) ? ATune.LargeImage : ATune.SmallImage);
  if (ATune.Flags.Contains(ptRadio)) button->SetGroupIndex(ATune.GroupIndex);
  if (ATune.Flags.Contains(ptToggle)) {
    int controls = 0;
    for (const TColumn& column : APanel.Columns)
      for (const auto& row : column.Rows) controls += static_cast<int>(row.size());
    button->SetGroupIndex(-(controls + 1 + (APanel.CaptionButton ? 1 : 0)));
    button->SetOptions(button->Options() | boAllowAllUp);
  }
  if (PaletteFormSettings->ShowHints->Value()) {
    button->SetHint(GetItemHint(ATune));
    button->SetShowHint(true);
    button->OnShowHint = MakeMethod<&TPaletteForm::ButtonShowHint>(this);
  }
  button->OnClick = MakeMethod<&TPaletteForm::ButtonClick>(this);
  button->OnMouseDown = MakeMethod<&TPaletteForm::ButtonMouseDown>(this);
  button->SetParent(APanel.Panel);
  return button;
}

TPopupMenu* TPaletteForm::MakeMenu(TGroupPanel& APanel, const TPaletteItemTune& ATune, TVisualElement* AElement) {
  auto* sub = dynamic_cast<TSubExecutablePaletteItem*>(ATune.Item);
  if (!sub) return nullptr;
  std::vector<TPaletteSubCommand> commands;
  sub->GetSubCommands(AElement, commands);
  if (commands.empty()) return nullptr;
  TPopupMenu* menu = Make<TPopupMenu>(APanel.Panel);
  menu->SetImages(&SchemeSmallImages->List());
  menu->OnPopup = MakeMethod<&TPaletteForm::MenuPopup>(this);
  for (const TPaletteSubCommand& command : commands) {
    TMenuItem* entry = Make<TMenuItem>(menu);
    entry->SetCaption(command.Caption);
    entry->SetImageIndex(ATune.Flags.Contains(ptLarge) ? ATune.LargeImage : ATune.SmallImage);
    FParameters.push_back(std::make_unique<std::u16string>(command.Parameter));
    entry->SetHint(PaletteFormSettings->ShowHints->Value() ? command.Caption : std::u16string());
    entry->OnClick = MakeMethod<&TPaletteForm::SubCommandClick>(this);
    menu->Items()->Add(entry);
    FMenuEntries[entry] = {ATune.Item, FParameters.back().get()};
  }
  return menu;
}

void TPaletteForm::AddItemButton(TGroupPanel& APanel, const TPaletteItemTune& ATune, TVisualElement* AElement) {
  const bool large = ATune.Flags.Contains(ptLarge);
  const bool twoPart = ATune.Flags.Contains(ptTwoPart);
  const bool caption = PaletteFormSettings->ShowCaptions->Value() && !ATune.Flags.Contains(ptNoCaption);
  std::vector<TUserButton*> row;
  TUserButton* first;
  if (twoPart) {
    first = NewButton(APanel, ATune, ptrFirstPartPaletteButton, false, true);
    TUserButton* second = NewButton(APanel, ATune, ptrSecondPartPaletteButton, caption, false);
    first->SetPartnerButton(second);
    row = {first, second};
  } else {
    first = NewButton(APanel, ATune, large ? ptrLargePaletteButton : ptrSmallPaletteButton, caption, true);
    row = {first};
  }
  TPopupMenu* menu = MakeMenu(APanel, ATune, AElement);
  for (size_t i = 0; i < row.size(); ++i) {
    TUserButton* button = row[i];
    const bool firstPart = twoPart && i == 0;
    if (ATune.Flags.Contains(ptOpensMenu)) {
      const bool secondNoCaption = twoPart && i == 1 && button->Caption().empty();
      const bool largeBare = large && !twoPart && button->Caption().empty() && button->ImageIndex() < 0;
      TSignPlace place = spRight;
      if (secondNoCaption || largeBare)
        place = spCenter;
      else if (large && !twoPart && button->Caption().empty())
        place = spBottom;
      if (!firstPart) button->SetSignAt(place, saArrowDown);
      if (menu && !firstPart) button->SetDropdownMenu(menu);
    }
    if (menu && !firstPart) button->SetPopupMenu(menu);
    FButtons.push_back(TButtonEntry{button, ATune, firstPart, twoPart && i == 1, menu});
  }
  if (large || twoPart) {
    TColumn column;
    column.Large = large;
    column.Rows.push_back(row);
    APanel.Columns.push_back(std::move(column));
  } else if (APanel.Columns.empty() || APanel.Columns.back().Large || APanel.Columns.back().Rows.size() >= 3 ||
             ATune.Flags.Contains(ptNewColumn)) {
    TColumn column;
    column.Rows.push_back(row);
    APanel.Columns.push_back(std::move(column));
  } else {
    APanel.Columns.back().Rows.push_back(row);
  }
  if (!ATune.Shortcut.empty()) FShortcuts.emplace(Upper(ATune.Shortcut), first);
}

void TPaletteForm::LayoutPanel(TGroupPanel& APanel) {
  const int top = APanel.CaptionButton ? FCaptionHeight + 3 : 2;
  int x = 2;
  for (TColumn& column : APanel.Columns) {
    int width = 0;
    for (size_t r = 0; r < column.Rows.size(); ++r) {
      int left = x;
      for (TUserButton* button : column.Rows[r]) {
        if (!button->Visible()) continue;
        const int height = column.Large ? FGroupHeight : FRowHeight;
        button->SetBounds(left, top + static_cast<int>(r) * FRowHeight, button->Width(), height);
        left += button->Width();
      }
      width = std::max(width, left - x);
    }
    x += width;
  }
  int right = x;
  if (!APanel.Columns.empty()) right = std::max(3, x);
  const int width = std::max(right + 6, APanel.CaptionWidth);
  APanel.Panel->SetBounds(APanel.Panel->Left(), 0, width, FormHeight() - 1);
}

void TPaletteForm::PlacePanels() {
  int left = 0;
  for (TGroupPanel& group : FGroups) {
    group.Panel->SetBounds(left, 0, group.Panel->Width(), group.Panel->Height());
    left += group.Panel->Width();
  }
}

int TPaletteForm::Excess() const {
  if (FGroups.empty()) return 0;
  const TPanelEx* last = FGroups.back().Panel;
  return last->Left() + last->Width() - ClientWidth();
}

void TPaletteForm::CompactGroups() {
  auto relayout = [this](TGroupPanel& APanel) {
    LayoutPanel(APanel);
    PlacePanels();
    return Excess() <= 0;
  };
  // 1: panels shrink to their content.
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it) {
    it->CaptionWidth = 0;
    if (relayout(*it)) return;
  }
  // 2: columns of small buttons drop their captions, from the right.
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it)
    for (auto column = it->Columns.rbegin(); column != it->Columns.rend(); ++column) {
      if (column->Large) continue;
      for (auto& row : column->Rows)
        for (TUserButton* button : row) button->SetCaption(u"");
      if (relayout(*it)) return;
    }
  // 3: large buttons drop their captions where that makes them narrower.
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it)
    for (auto column = it->Columns.rbegin(); column != it->Columns.rend(); ++column) {
      if (!column->Large || column->Rows.front().size() > 1) continue;
      TUserButton* button = column->Rows.front().front();
      const std::u16string caption = button->Caption();
      const int before = button->Width();
      button->SetCaption(u"");
      if (button->Width() >= before) {
        button->SetCaption(caption);
        continue;
      }
      if (relayout(*it)) return;
    }
  // 4: buttons give up their second parts and their partner links.
  for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it)
    for (auto column = it->Columns.rbegin(); column != it->Columns.rend(); ++column)
      for (auto& row : column->Rows) {
        if (row.size() < 2 || !row[1]->Visible()) continue;
        row[0]->SetPartnerButton(nullptr);
        row[1]->Hide();
        if (relayout(*it)) return;
      }
}

void TPaletteForm::UpdateButtons() {
  TVisualElement* element = CurrentElement();
  if (!element || FRebuilding) return;
  TPaletteTargetList selected;
  if (FChildSelectionMode) element->GetSelectedPaletteTargets(selected);
  IPaletteTarget* target = FChildSelectionMode ? (selected.empty() ? nullptr : selected.front()) : element;
  for (TButtonEntry& entry : FButtons) {
    TPaletteItemState state;
    if (target) target->QueryPaletteItemState(entry.Tune.Item, state);
    bool enabled = state.Accepted && !entry.Tune.Item->HasFlag(pfAlwaysDisabled);
    if (entry.Tune.Item->HasFlag(pfNeedsWritable) && element->IsReadOnly()) enabled = false;
    if (entry.Menu) {
      bool any = false;
      for (int i = 0; i < entry.Menu->Items()->Count(); ++i) {
        TMenuItem* menuItem = entry.Menu->Items()->Items(i);
        menuItem->SetEnabled(enabled);
        any = any || (menuItem->Visible() && !menuItem->IsLine());
      }
      enabled = enabled && any;
    }
    entry.Button->SetEnabled(enabled);
    entry.Button->ForceChecked(state.Ticked);
  }
}

const TPaletteForm::TButtonEntry* TPaletteForm::EntryOf(const TUserButton* AButton) const {
  for (const TButtonEntry& entry : FButtons)
    if (entry.Button == AButton) return &entry;
  return nullptr;
}

TUserButton* TPaletteForm::ButtonOf(const TPaletteItem* AItem) const {
  for (const TButtonEntry& entry : FButtons)
    if (entry.Tune.Item == AItem) return entry.Button;
  return nullptr;
}

void TPaletteForm::ButtonClick(TObject* ASender) {
  auto* button = static_cast<TUserButton*>(ASender);
  if (button->DropdownMenu()) return;
  const TButtonEntry* entry = EntryOf(button);
  if (!entry) return;
  PostMessageW(Handle(), WM_PALETTE_RUN, reinterpret_cast<WPARAM>(entry->Tune.Item),
               static_cast<LPARAM>(button->Checked()) & 127);
}

void TPaletteForm::ButtonMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  if (FSheet) FSheet->CancelDelayedFocus();
}

void TPaletteForm::MenuPopup(TObject*) {
  if (FSheet) FSheet->CancelDelayedFocus();
}

void TPaletteForm::SubCommandClick(TObject* ASender) {
  auto found = FMenuEntries.find(static_cast<TMenuItem*>(ASender));
  if (found == FMenuEntries.end()) return;
  PostMessageW(Handle(), WM_PALETTE_RUN_SUB, reinterpret_cast<WPARAM>(found->second.first),
               reinterpret_cast<LPARAM>(found->second.second));
}

void TPaletteForm::ButtonShowHint(TObject*, bool&, THintInfo& AHintInfo) {
  AHintInfo.HintWindowClass = HintWindowClassOf<TPaletteHintWindow>();
  AHintInfo.HideTimeout = 16000;
}

void TPaletteForm::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == WM_PALETTE_RUN || AMessage.Msg == WM_PALETTE_RUN_SUB) {
    RunPosted(AMessage);
    AMessage.Answer();
    return;
  }
  TForm::WndProc(AMessage);
}

void TPaletteForm::RunPosted(TMessage& AMessage) {
  TVisualElement* element = CurrentElement();
  if (!element) return;
  // Inside a nested loop of an operation, a group or a sheet update the run waits until they have closed.
  TUndoRedo* history = element->Scheme() ? element->Scheme()->UndoRedo() : nullptr;
  if ((history && history->IsExecuting()) || FSheet->UpdateCount() > 0) {
    PostMessageW(Handle(), AMessage.Msg, AMessage.WParam, AMessage.LParam);
    return;
  }
  auto* item = reinterpret_cast<TPaletteItem*>(AMessage.WParam);
  FSheet->CommitFocusedValue();
  element = CurrentElement();
  if (!element) return;
  if (AMessage.Msg == WM_PALETTE_RUN_SUB) {
    const auto* parameter = reinterpret_cast<const std::u16string*>(AMessage.LParam);
    const std::u16string copy = parameter ? *parameter : std::u16string();
    if (FChildSelectionMode) {
      ExecuteItem(element, item, &copy, false);
    } else if (auto* sub = dynamic_cast<TSubExecutablePaletteItem*>(item)) {
      element->PlayPaletteSound(sub->GetSoundName());
      sub->ExecuteSub(element, copy);
    }
    return;
  }
  const bool checked = AMessage.LParam != 0;
  if (FChildSelectionMode)
    ExecuteItem(element, item, nullptr, checked);
  else if (auto* runnable = dynamic_cast<TSchemePaletteItem*>(item))
    runnable->Apply(element, checked);
}

void TPaletteForm::ExecuteItem(TVisualElement* AElement, TPaletteItem* AItem, const std::u16string* AParameter,
                               bool AChecked) {
  TPaletteTargetList list;
  AElement->GetSelectedPaletteTargets(list);
  const bool update = !AItem->HasFlag(pfNoUpdate);
  if (update) FSheet->BeginUpdate();
  TScheme* scheme = AElement->Scheme();
  if (scheme) scheme->BeginGroup(false, AItem->GetCaption());
  try {
    auto* sub = dynamic_cast<TSubExecutablePaletteItem*>(AItem);
    if (sub && AParameter) {
      if (!list.empty()) list.front()->PlayPaletteSound(sub->GetSoundName());
      sub->ExecuteSubFor(list, *AParameter);
    } else if (auto* runnable = dynamic_cast<TSchemePaletteItem*>(AItem)) {
      runnable->ApplyToList(list, AChecked);
    }
  } catch (...) {
    if (scheme) scheme->EndGroup();
    if (update) FSheet->EndUpdate();
    throw;
  }
  if (scheme) scheme->EndGroup();
  if (update) FSheet->EndUpdate();
}

// ---------------------------------------------------------------------------------------------------------------
// Ctrl-typing

bool TPaletteForm::InCtrlMode() const { return tmCtrl->Enabled(); }

void TPaletteForm::StopCtrlMode() {
  tmCtrl->SetEnabled(false);
  tmCtrlHints->SetEnabled(false);
  HideShortcutHints();
}

void TPaletteForm::KeyDown(uint16_t& AKey, TShiftState) {
  if (AKey == VK_CONTROL) {
    if (!InCtrlMode()) {
      tmCtrl->SetEnabled(true);
      tmCtrlHints->SetEnabled(true);
    }
    return;
  }
  if (!InCtrlMode()) return;
  if (AKey == VK_LEFT || AKey == VK_RIGHT) {
    StopCtrlMode();
    FTypedPrefix.clear();
    return;
  }
  if (!ExtendsTypedPrefix(AKey)) return;
  const std::u16string prefix = FTypedPrefix + static_cast<char16_t>(AKey);
  int matches = 0;
  for (const auto& [shortcut, button] : FShortcuts)
    if (StartsWith(shortcut, prefix)) ++matches;
  if (matches == 0) return;  // the key goes on, the prefix stays as it was
  FTypedPrefix = prefix;
  AKey = 0;
  if (matches == 1) {
    HideShortcutHints();
    ExecuteTypedShortcut();
    return;
  }
  if (!FShortcutHints.empty()) ShowShortcutHints();
}

void TPaletteForm::KeyPress(char16_t& AChar) {
  if (InCtrlMode() && ExtendsTypedPrefix(static_cast<uint16_t>(AChar))) AChar = 0;
}

void TPaletteForm::KeyUp(uint16_t& AKey, TShiftState) {
  if (AKey != VK_CONTROL || !InCtrlMode()) return;
  StopCtrlMode();
  if (!FTypedPrefix.empty()) ExecuteTypedShortcut();
}

void TPaletteForm::CtrlTick(TObject*) {
  if (CtrlHeld()) return;
  StopCtrlMode();
  if (!FTypedPrefix.empty()) ExecuteTypedShortcut();
}

void TPaletteForm::CtrlHintsTick(TObject*) {
  tmCtrlHints->SetEnabled(false);
  ShowShortcutHints();
}

void TPaletteForm::ShowShortcutHints() {
  HideShortcutHints();
  if (!Showing()) return;
  for (const auto& [shortcut, button] : FShortcuts) {
    if (!StartsWith(shortcut, FTypedPrefix) || !button->Showing()) continue;
    THintWindow* label = New<THintWindow>(this);
    label->SetColor(Application->HintColor());
    const std::u16string text = ShortcutKeyText(shortcut);
    RECT r = label->CalcHintRect(0, text, nullptr);
    const POINT at = button->ClientToScreen(POINT{2, 2});
    OffsetRect(&r, at.x, at.y);
    label->ActivateHint(r, text);
    FShortcutHints[shortcut] = label;
  }
}

void TPaletteForm::HideShortcutHints() {
  for (auto& [shortcut, label] : FShortcutHints) label->Free();
  FShortcutHints.clear();
}

std::vector<std::u16string> TPaletteForm::ShownShortcutLabels() const {
  std::vector<std::u16string> shown;
  for (const auto& [shortcut, label] : FShortcutHints) shown.push_back(shortcut);
  return shown;
}

void TPaletteForm::ExecuteTypedShortcut() {
  const auto found = FShortcuts.find(Upper(FTypedPrefix));
  FTypedPrefix.clear();
  if (found == FShortcuts.end() || !found->second->Enabled()) {
    MessageBeep(0);
    return;
  }
  found->second->Click();
}

// ---------------------------------------------------------------------------------------------------------------

void TPaletteForm::Paint() {
  if (FRebuilding || !PaletteBitmaps[0]) return;
  const RECT r = ClientRect();
  StretchBlt(Canvas().Handle(), 0, 0, r.right, r.bottom, PaletteBitmaps[0]->Canvas().Handle(), 0, 0,
             PaletteBitmaps[0]->Width(), PaletteBitmaps[0]->Height(), SRCCOPY);
}

void TPaletteForm::Resize() {
  TForm::Resize();
  if (FShown) Rebuild(CurrentElement());
}

void TPaletteForm::DoShow() {
  TForm::DoShow();
  CalcSizes();
  FShown = true;
  Rebuild(CurrentElement());
}
