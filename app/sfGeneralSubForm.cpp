#include "app/sfGeneralSubForm.h"

#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppCmpns.h"
#include "controls/baPropAssoc.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"

#include <array>
#include <vector>

namespace {

constexpr int IdLanguageName = 2011;
constexpr int IdBrowse = 4160;
constexpr int IdGeneralGroup = 4161;
constexpr int IdLanguage = 4162;
constexpr int IdAutoStart = 4163;
constexpr int IdShowInTray = 4164;
constexpr int IdShowByHotKey = 4165;
constexpr int IdHideByEsc = 4166;
constexpr int IdHideToTray = 4167;
constexpr int IdDataFile = 4168;
constexpr int IdDataFileExplanation = 4169;
constexpr int IdReservedCharacter = 4185;
constexpr int IdNameOfFolder = 4186;
constexpr int IdNameOfDevice = 4187;
constexpr int IdNoFileName = 4188;
constexpr int IdCannotCreateFolder = 2044;

constexpr int Indent = 8;
constexpr int CheckBoxStep = 22;

bool IsDelimiter(char16_t C) { return C == u'\\' || C == u'/'; }
bool IsAsciiLetter(char16_t C) { return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z'); }

// "C:" when the name starts with a drive letter and a colon.
bool HasDrive(std::u16string_view AName) { return AName.size() >= 2 && AName[1] == u':' && IsAsciiLetter(AName[0]); }

// The system's device names, which a file or folder cannot take with any extension.
bool IsDeviceName(std::u16string_view AComponent) {
  std::u16string_view base = AComponent.substr(0, AComponent.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  static constexpr std::array<std::u16string_view, 6> Plain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (std::u16string_view device : Plain)
    if (SameTextAscii(base, device)) return true;
  if (base.size() == 4 && base[3] >= u'1' && base[3] <= u'9')
    return SameTextAscii(base.substr(0, 3), u"COM") || SameTextAscii(base.substr(0, 3), u"LPT");
  return false;
}

std::vector<std::u16string_view> Components(std::u16string_view AName) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= AName.size(); ++i)
    if (i == AName.size() || IsDelimiter(AName[i])) {
      if (i > start) parts.push_back(AName.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

// "." and ".." resolved and "/" made "\" in an absolute name, which does not depend on the working folder.
std::u16string FullPathName(const std::u16string& AName) {
  const DWORD size = GetFullPathNameW(WStr(AName), 0, nullptr, nullptr);
  if (size == 0) return AName;
  std::vector<wchar_t> buffer(size);
  const DWORD length = GetFullPathNameW(WStr(AName), size, buffer.data(), nullptr);
  return length == 0 || length >= size ? AName : FromWide(buffer.data(), length);
}

}  // namespace

TDataFileNameCheck CheckDataFileName(std::u16string_view AText, const std::u16string& ADataFolder,
                                     const std::u16string& ADefault) {
  using enum TDataFileNameProblem;
  const std::u16string name = Trim(AText);
  if (name.empty()) return {dfOk, ADefault};
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    const bool driveColon = i == 1 && HasDrive(name);
    if (c < 32 || (c == u':' && !driveColon) || std::u16string_view(u"<>\"|?*").find(c) != std::u16string_view::npos)
      return {dfReservedCharacter, std::u16string(1, c)};
  }
  // "C:notes.qbx" would be taken in the working folder of drive C, which the program does not choose.
  if (HasDrive(name) && (name.size() == 2 || !IsDelimiter(name[2]))) return {dfNoFileName, {}};
  if (IsDelimiter(name.back())) return {dfNoFileName, {}};
  const std::vector<std::u16string_view> parts = Components(name);
  for (std::u16string_view part : parts)
    if (IsDeviceName(part)) return {dfDevice, {}};
  // The system drops a trailing dot or space: the file would get another name than the one given.
  const char16_t last = name.back();
  if ((last == u'.' || last == u' ') && parts.back() != u"." && parts.back() != u"..") return {dfNoFileName, {}};

  std::u16string absolute;
  if (HasDrive(name) || (IsDelimiter(name[0]) && name.size() >= 2 && IsDelimiter(name[1])))
    absolute = name;
  else if (IsDelimiter(name[0]))
    absolute =
        (HasDrive(ADataFolder) ? ADataFolder.substr(0, 2) : ADataFolder.substr(0, ADataFolder.size() - 1)) + name;
  else
    absolute = ADataFolder + name;
  absolute = FullPathName(absolute);
  if (absolute.empty() || IsDelimiter(absolute.back())) return {dfNoFileName, {}};
  if (DirectoryExists(absolute)) return {dfFolder, {}};
  return {dfOk, absolute};
}

std::u16string DataFileNameProblemText(const std::u16string& AName, const TDataFileNameCheck& ACheck) {
  switch (ACheck.Problem) {
    case TDataFileNameProblem::dfReservedCharacter: {
      // A control character would not show: its code does.
      const char16_t c = ACheck.Value.empty() ? u'?' : ACheck.Value[0];
      const std::u16string shown = c < 32 ? u"#" + IntToStr(c) : ACheck.Value;
      return Localization->FormatLocStr(IdReservedCharacter, {AName, shown});
    }
    case TDataFileNameProblem::dfFolder:
      return Localization->FormatLocStr(IdNameOfFolder, {AName});
    case TDataFileNameProblem::dfDevice:
      return Localization->FormatLocStr(IdNameOfDevice, {AName});
    case TDataFileNameProblem::dfNoFileName:
      return Localization->FormatLocStr(IdNoFileName, {AName});
    case TDataFileNameProblem::dfOk:
      break;
  }
  return {};
}

// ---------------------------------------------------------------------------------------------------------------

TGeneralSubForm::TGeneralSubForm(TComponent* AOwner) : TSettingsSubForm(AOwner) {
  SetName(u"GeneralSubForm");
  lbGroup = NewGroupCaption();
  cbLanguage = NewComboBox(TComboBoxStyle::csDropDownList);
  cbLanguage->SetDropDownCount(12);
  lbLanguage = NewLabel(cbLanguage);
  edDataFileName = new TEdit(this);
  edDataFileName->SetParent(this);
  edDataFileName->SetTabStop(true);
  lbDataFile = NewLabel(edDataFileName);
  btBrowse = new TUserWinButton(this);
  btBrowse->SetParent(this);
  btBrowse->Constraints().SetMinWidth(75);
  btBrowse->SetBounds(0, 0, 75, 23);
  btBrowse->SetPainter(StdBtnPainter);
  btBrowse->SetOptions(boAutoWidth);
  btBrowse->OnClick = MakeMethod<&TGeneralSubForm::BrowseClick>(this);
  lbExplanation = NewLabel();
  lbExplanation->SetWordWrap(true);
  lbExplanation->SetBounds(Indent, 0, SettingsPageWidth - 2 * Indent, lbExplanation->Height());
  lbExplanation->Font().SetColor(cl3DDkShadow);
  chAutoStart = NewCheckBox();
  chShowInTray = NewCheckBox();
  chShowByHotKey = NewCheckBox();
  chHideByEsc = NewCheckBox();
  chHideToTrayByMinimizeButton = NewCheckBox();

  dlgDataFile = new TOpenSaveDialog(this);
  dlgDataFile->FileFilters().AddFilter(u"qbx", u"");
}

int TGeneralSubForm::IndexOfLanguage(std::u16string_view ACode) const {
  for (size_t i = 0; i < FCodes.size(); ++i)
    if (FCodes[i] == ACode) return static_cast<int>(i);
  return -1;
}

void TGeneralSubForm::FillLanguages() {
  FCodes.clear();
  cbLanguage->Items().Clear();
  for (const std::u16string& code : GetAvailableLanguages()) {
    LANGID language;
    if (!FindLanguageLocale(code, language)) continue;
    cbLanguage->Items().Add(TLocalization::LoadStringForLanguage(IdLanguageName, language));
    FCodes.push_back(code);
  }
}

void TGeneralSubForm::Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) {
  TGeneralSettings& general = *ASettings.General;
  FDataFileName = general.DataFileName;

  lbGroup->SetCaption(Localization->GetLocStr(IdGeneralGroup));
  lbLanguage->SetCaption(Localization->GetLocStr(IdLanguage));
  FillLanguages();
  cbLanguage->SetItemIndex(IndexOfLanguage(general.Language->Value()));
  AAssociator.AddEvents(*general.Language, cbLanguage, MakeMethod<&TGeneralSubForm::StoreLanguage>(this));

  lbDataFile->SetCaption(Localization->GetLocStr(IdDataFile));
  btBrowse->SetCaption(Localization->GetLocStr(IdBrowse));
  edDataFileName->SetText(general.DataFileName->Value());
  AAssociator.AddEvents(*general.DataFileName, edDataFileName, MakeMethod<&TGeneralSubForm::StoreDataFileName>(this));
  lbExplanation->SetCaption(Localization->GetLocStr(IdDataFileExplanation));

  AAssociator.AddBoolCheckBox(*general.AutoStart, *chAutoStart, Localization->GetLocStr(IdAutoStart));
  AAssociator.AddBoolCheckBox(*general.ShowInTray, *chShowInTray, Localization->GetLocStr(IdShowInTray));
  AAssociator.AddBoolCheckBox(*general.ShowByHotKey, *chShowByHotKey, Localization->GetLocStr(IdShowByHotKey));
  AAssociator.AddBoolCheckBox(*general.HideByEsc, *chHideByEsc, Localization->GetLocStr(IdHideByEsc));
  AAssociator.AddBoolCheckBox(*general.HideToTrayByMinimizeButton, *chHideToTrayByMinimizeButton,
                              Localization->GetLocStr(IdHideToTray));
}

void TGeneralSubForm::Arrange() {
  btBrowse->Client().AdjustControlSize();
  // The explanation's height depends on the language.
  lbGroup->SetBounds(0, 0, lbGroup->Width(), lbGroup->Height());
  int y = PlaceUnderLabel(*lbLanguage, *cbLanguage, Indent, lbGroup->Height() + 8, 220) + 10;
  const int browseLeft = SettingsPageWidth - Indent - btBrowse->Width();
  y = PlaceUnderLabel(*lbDataFile, *edDataFileName, Indent, y, browseLeft - 6 - Indent);
  btBrowse->SetBounds(browseLeft, edDataFileName->Top() + (edDataFileName->Height() - btBrowse->Height()) / 2,
                      btBrowse->Width(), btBrowse->Height());
  lbExplanation->SetBounds(Indent, y + 4, lbExplanation->Width(), lbExplanation->Height());
  y = lbExplanation->Top() + lbExplanation->Height() + 12;
  for (TCheckBox* box : {chAutoStart, chShowInTray, chShowByHotKey, chHideByEsc, chHideToTrayByMinimizeButton}) {
    box->SetBounds(Indent, y, box->Width(), box->Height());
    y += CheckBoxStep;
  }
}

std::u16string TGeneralSubForm::DataFolder() const { return Global ? Global->DataFolder() : GetApplicationFolder(); }

TWinControl* TGeneralSubForm::CheckValues() {
  const std::u16string text = edDataFileName->Text();
  const TDataFileNameCheck check = CheckDataFileName(text, DataFolder(), FDataFileName->Default());
  if (check.Problem != TDataFileNameProblem::dfOk) {
    ShowMessageBox(DataFileNameProblemText(Trim(text), check), {}, MB_OK | MB_ICONERROR);
    return edDataFileName;
  }
  if (check.Value == FDataFileName->Value()) return nullptr;
  // A new name's folder is made here, as the start makes it: whether it can be made shows only by making it, and
  // a name the document could not move to is refused before any setting changes.
  std::u16string folder = ExtractFilePath(check.Value);
  const uint32_t error = ForceFolder(folder);
  if (error == 0) return nullptr;
  if (folder.size() > 3 && HasTrailingPathDelimiter(folder)) folder.pop_back();
  ShowMessageBox(Localization->FormatLocStr(IdCannotCreateFolder, {folder, SysErrorMessage(error)}), {},
                 MB_OK | MB_ICONERROR);
  return edDataFileName;
}

void TGeneralSubForm::StoreLanguage(TPropertyAssoc* ASender, TProperty* AProperty) {
  const int index = cbLanguage->ItemIndex();
  static_cast<TStringProperty*>(AProperty)->SetValue(index >= 0 ? FCodes[static_cast<size_t>(index)] : u"");
}

void TGeneralSubForm::StoreDataFileName(TPropertyAssoc* ASender, TProperty* AProperty) {
  // The dialog checked the name before storing anything; a name that still fails is left alone.
  const TDataFileNameCheck check = CheckDataFileName(edDataFileName->Text(), DataFolder(), FDataFileName->Default());
  if (check.Problem == TDataFileNameProblem::dfOk) static_cast<TStringProperty*>(AProperty)->SetValue(check.Value);
}

void TGeneralSubForm::BrowseClick(TObject* ASender) {
  dlgDataFile->SetFileName(Trim(edDataFileName->Text()));
  if (dlgDataFile->ExecuteSave()) edDataFileName->SetText(dlgDataFile->FileName());
}
