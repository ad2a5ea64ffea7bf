#include "app/sfEditorSubForm.h"

#include "app/cuWeb.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baPropAssoc.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "document/model/diCanvas.h"
#include "document/model/diThemesWin.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"

#include <algorithm>

namespace {

constexpr int IdAppearanceGroup = 4175;
constexpr int IdTheme = 4176;
constexpr int IdGetMoreThemes = 4177;
constexpr int IdFontSize = 4178;
constexpr int IdFontSizeItems = 4179;
constexpr int IdFocusNew = 4180;
constexpr int IdDropDownOnFocusNew = 4181;
constexpr int IdShowHints = 4182;
constexpr int IdIncreaseWorkspaceHeight = 4183;
constexpr int IdNonPrinting = 4184;

constexpr char16_t DefaultThemeName[] = u"Default";
constexpr int Indent = 8;
constexpr int ComboWidth = 200;
constexpr int CheckBoxStep = 22;

}  // namespace

std::vector<std::u16string> ThemeNames(const std::u16string& AFolder) {
  TStringList files;
  ListFiles(AFolder, u"*.txt", files, false, false);
  std::vector<std::u16string> names;
  for (int i = 0; i < files.Count(); ++i)
    // "Default" in any case is the built-in theme, whatever the folder holds.
    if (!SameTextAscii(files[i], DefaultThemeName)) names.push_back(files[i]);
  std::sort(names.begin(), names.end(),
            [](const std::u16string& A, const std::u16string& B) { return LowerCaseAscii(A) < LowerCaseAscii(B); });
  names.insert(names.begin(), DefaultThemeName);
  return names;
}

void OpenThemesPage(TSettings& ASettings) {
  TWebCommands web(nullptr);
  web.OpenWebResource(ASettings.General->Language->Value(), u"ThemesPage");
}

void TAppearanceGroup::Create(TSettingsSubForm& APage, TNotifyEvent AGetMore) {
  lbGroup = APage.NewGroupCaption();
  cbTheme = APage.NewComboBox(TComboBoxStyle::csDropDownList);
  lbTheme = APage.NewLabel(cbTheme);
  cbFontSize = APage.NewComboBox(TComboBoxStyle::csDropDownList);
  lbFontSize = APage.NewLabel(cbFontSize);
  btGetMore = new TUserWinButton(&APage);
  btGetMore->SetParent(&APage);
  btGetMore->SetBounds(0, 0, 75, 21);
  if (Global) btGetMore->SetPainter(Global->ptrHyperlink);
  btGetMore->SetOptions(boAutoWidth);
  btGetMore->OnClick = AGetMore;
}

void TAppearanceGroup::Bind(TPropertyAssociator& AAssociator, TStringProperty& ATheme, TEnumProperty& AFontSize) {
  lbGroup->SetCaption(Localization->GetLocStr(IdAppearanceGroup));
  cbTheme->Items().BeginUpdate();
  for (const std::u16string& name : ThemeNames(GetThemeFolder())) cbTheme->Items().Add(name);
  cbTheme->Items().EndUpdate();
  AAssociator.AddStrComboBox(ATheme, *cbTheme, lbTheme, Localization->GetLocStr(IdTheme));
  // A theme that is no longer there shows as the built-in one, which is what the sheet falls back to.
  if (cbTheme->ItemIndex() < 0) cbTheme->SetItemIndex(0);
  AAssociator.AddEnumComboBox(AFontSize, *cbFontSize, Localization->GetLocStr(IdFontSizeItems), lbFontSize,
                              Localization->GetLocStr(IdFontSize));
  btGetMore->SetCaption(Localization->GetLocStr(IdGetMoreThemes));
}

int TAppearanceGroup::Place(int Y) {
  btGetMore->Client().AdjustControlSize();
  lbGroup->SetBounds(0, Y, lbGroup->Width(), lbGroup->Height());
  int y = TSettingsSubForm::PlaceUnderLabel(*lbTheme, *cbTheme, Indent, Y + lbGroup->Height() + 8, ComboWidth);
  btGetMore->SetBounds(Indent + ComboWidth + 8, cbTheme->Top() + (cbTheme->Height() - btGetMore->Height()) / 2,
                       btGetMore->Width(), btGetMore->Height());
  y = TSettingsSubForm::PlaceUnderLabel(*lbFontSize, *cbFontSize, Indent, y + 8, ComboWidth);
  return y;
}

// ---------------------------------------------------------------------------------------------------------------

TEditorSubForm::TEditorSubForm(TComponent* AOwner) : TSettingsSubForm(AOwner) {
  SetName(u"EditorSubForm");
  Appearance.Create(*this, MakeMethod<&TEditorSubForm::GetMoreClick>(this));
  chFocusNew = NewCheckBox();
  chFocusNew->OnClick = MakeMethod<&TEditorSubForm::FocusNewClick>(this);
  chDropDownOnFocusNew = NewCheckBox();
  chDropDownOnFocusNew->SetVisible(false);
  chShowHints = NewCheckBox();
  chIncreaseWorkspaceHeight = NewCheckBox();
  chNonPrinting = NewCheckBox();
  chNonPrinting->SetVisible(false);
}

void TEditorSubForm::Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) {
  FSettings = &ASettings;
  TSheetSettings& sheet = *ASettings.Sheet;
  Appearance.Bind(AAssociator, *sheet.Theme, *sheet.FontSize);
  AAssociator.AddBoolCheckBox(*sheet.FocusNew, *chFocusNew, Localization->GetLocStr(IdFocusNew));
  AAssociator.AddBoolCheckBox(*sheet.DropDownOnFocusNew, *chDropDownOnFocusNew,
                              Localization->GetLocStr(IdDropDownOnFocusNew));
  // The sheet form's node joins the tree with the sheet form; without it the box has nothing to show.
  if (auto* showHints = FindSettingsNode<TBooleanProperty>(ASettings, u"SheetForm.ShowHints"))
    AAssociator.AddBoolCheckBox(*showHints, *chShowHints, Localization->GetLocStr(IdShowHints));
  else
    chShowHints->SetVisible(false);
  AAssociator.AddBoolCheckBox(*sheet.IncreaseWorkspaceHeight, *chIncreaseWorkspaceHeight,
                              Localization->GetLocStr(IdIncreaseWorkspaceHeight));
  chNonPrinting->SetCaption(Localization->GetLocStr(IdNonPrinting));
  UpdateDropDownOnFocusNew();
}

void TEditorSubForm::Arrange() {
  int y = Appearance.Place(0) + 16;
  chFocusNew->SetBounds(Indent, y, chFocusNew->Width(), chFocusNew->Height());
  y += CheckBoxStep;
  chDropDownOnFocusNew->SetBounds(Indent, y, chDropDownOnFocusNew->Width(), chDropDownOnFocusNew->Height());
  chShowHints->SetBounds(Indent, y, chShowHints->Width(), chShowHints->Height());
  y += CheckBoxStep;
  chIncreaseWorkspaceHeight->SetBounds(Indent, y, chIncreaseWorkspaceHeight->Width(),
                                       chIncreaseWorkspaceHeight->Height());
  y += CheckBoxStep;
  chNonPrinting->SetBounds(Indent, y, chNonPrinting->Width(), chNonPrinting->Height());
}

void TEditorSubForm::UpdateDropDownOnFocusNew() { chDropDownOnFocusNew->SetEnabled(chFocusNew->Checked()); }

void TEditorSubForm::FocusNewClick(TObject* ASender) { UpdateDropDownOnFocusNew(); }

void TEditorSubForm::GetMoreClick(TObject* ASender) {
  if (FSettings) OpenThemesPage(*FSettings);
}
