#include "app/unUtils.h"

#include "app/cuAboutForm.h"
#include "app/diPaletteForm.h"
#include "app/diSheetForm.h"
#include "app/unSettings.h"
#include "controls/baAppCmpns.h"
#include "controls/baPainterStyles.h"
#include "controls/baStyledPainter.h"
#include "document/elements/diDataElementUtils.h"
#include "document/elements/diLog.h"
#include "document/model/diCanvas.h"
#include "document/model/diNaming.h"
#include "document/model/diSounds.h"
#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwScreen.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

TGlobal* Global = nullptr;
TStyledPainter* StdBtnPainter = nullptr;

namespace {

std::u16string WithDelimiter(std::u16string AFolder) {
  if (!HasTrailingPathDelimiter(AFolder)) AFolder += u'\\';
  return AFolder;
}

std::u16string SystemFolder(int ACsidl) {
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, ACsidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return FromWide(path);
}

// Neither rooted ("\x", "\\server\x") nor on a drive ("C:...").
bool IsRelativePath(std::u16string_view APath) {
  if (!APath.empty() && (APath[0] == u'\\' || APath[0] == u'/')) return false;
  return !(APath.size() >= 2 && APath[1] == u':');
}

// The nodes other units own, in the order they join the tree, each with its parent: a unit that is not started
// is left out. The data element's node goes before Naming; after it come the sheet form's and the palette
// form's nodes and Sounds under the root, then Log under Sheet.
std::vector<std::pair<TProperty*, TProperty*>> NodesToHangIn(TSettings& ASettings) {
  std::vector<std::pair<TProperty*, TProperty*>> nodes;
  if (DataElementSettings) nodes.emplace_back(DataElementSettings.get(), ASettings.Sheet);
  if (NamingSettings) nodes.emplace_back(NamingSettings.get(), ASettings.Sheet);
  if (SheetFormSettings) nodes.emplace_back(SheetFormSettings.get(), &ASettings);
  if (PaletteFormSettings) nodes.emplace_back(PaletteFormSettings.get(), &ASettings);
  // In the tree, so that the settings dialog edits it and the file keeps the choice.
  if (SoundsSettings) nodes.emplace_back(SoundsSettings.get(), &ASettings);
  if (LogSettings) nodes.emplace_back(LogSettings.get(), ASettings.Sheet);
  return nodes;
}

void SetUpStandardButtonStyles(TPushStyler& AStyler) {
  AStyler.SetMode(smThemeStdBtn);
  AStyler.SetOptions(soAllowFrameDefault | soLargeSigns);
  // The classic look, used while visual styles are off.
  TPainterStyles& styles = AStyler.Styles();
  styles.Adapt().SetEdgeOuter(ekRaised);
  styles.Adapt().SetEdgeInner(ekRaised);
  styles.Pressed().SetEdgeOuter(ekLowered);
  styles.Pressed().SetEdgeInner(ekLowered);
  styles.Pressed().SetContentOffset(okInClassicMode);
  styles.Focused().SetOptions(psoFocusRect);
  // Etched grey text and greyed images, as the system draws a disabled button.
  styles.Disabled().SetFontColor(clGrayText);
  styles.Disabled().SetCaptionShade(okYes);
  styles.Disabled().SetShadeColor(clBtnHighlight);
  styles.Disabled().SetImageEffects(pieDisable);
}

}  // namespace

uint32_t ForceFolder(const std::u16string& AFolder) {
  std::u16string folder = AFolder;
  while (folder.size() > 3 && HasTrailingPathDelimiter(folder)) folder.pop_back();
  if (folder.empty()) return ERROR_PATH_NOT_FOUND;
  if (DirectoryExists(folder)) return 0;
  const int error = SHCreateDirectoryExW(nullptr, WStr(folder), nullptr);
  if (DirectoryExists(folder)) return 0;
  return error != ERROR_SUCCESS ? static_cast<uint32_t>(error) : ERROR_PATH_NOT_FOUND;
}

TGlobalPlaces GetSystemPlaces() {
  TGlobalPlaces places;
  places.ProgramFileName = GetProgramFileName();
  places.LocalAppDataFolder = SystemFolder(CSIDL_LOCAL_APPDATA);
  places.DocumentsFolder = SystemFolder(CSIDL_PERSONAL);
  std::u16string version;
  GetVersionInfoStrings(places.ProgramFileName, places.CompanyName, places.ProductName, version);
  return places;
}

TGlobal::TGlobal(TComponent* AOwner, TGlobalPlaces APlaces) : TComponent(AOwner), FPlaces(std::move(APlaces)) {
  SetName(u"Global");
  SessionFile = new TSessionFile(this);
  SessionFile->SetName(u"SessionFile");
  SessionFile->SetCommandLineSearchExt(u"session");

  ptrStdBtn = new TStyledPainter(this);
  ptrStdBtn->SetName(u"ptrStdBtn");
  stStdBtn = new TPushStyler(this);
  stStdBtn->SetName(u"stStdBtn");
  SetUpStandardButtonStyles(*stStdBtn);
  ptrStdBtn->Padding().SetLeft(8);
  ptrStdBtn->Padding().SetRight(8);
  ptrStdBtn->SetStyler(stStdBtn);

  ptrHyperlink = new TStyledPainter(this);
  ptrHyperlink->SetName(u"ptrHyperlink");
  stHyperlink = new TPushStyler(this);
  stHyperlink->SetName(u"stHyperlink");
  stHyperlink->SetCursor(crHandPoint);
  stHyperlink->Styles().Adapt().SetFillKind(fkClear);
  ptrHyperlink->SetStyler(stHyperlink);

  SettingsFile = new TSessionFile(this);
  SettingsFile->SetName(u"SettingsFile");
  SettingsFile->SetCommandLineSearchExt(u"settings");
}

TGlobal::~TGlobal() = default;

void TGlobal::AfterConstruction() {
  TComponent::AfterConstruction();
  Localization->SetDefaultLanguage(LangEnglishUS);
  Localization->SetLanguage(Localization->DefaultLanguage());

  if (Screen) {
    stStdBtn->SetFont(Screen->MessageFont());
    stHyperlink->SetFont(Screen->MessageFont());
  }
  stHyperlink->Font().SetColor(clBlue);
  stHyperlink->Font().SetStyle(stHyperlink->Font().Style() | fsUnderline);
  StdBtnPainter = ptrStdBtn;

  // The folders first: the data file's default name depends on them.
  InitFileNames();
  FSettings.reset(new TSettings(FDefaultDataFileName));
  HangInNodes();

  LoadSettings();
  FSettings->General->Language->AddNotifyEvent(MakeMethod<&TGlobal::LanguageChanged>(this));
  FFollowingLanguage = true;
  LanguageChanged(FSettings->General->Language, 1, 0, 0);
}

void TGlobal::BeforeDestruction() {
  if (FSettings) {
    if (FFollowingLanguage)
      FSettings->General->Language->RemoveNotifyEvent(MakeMethod<&TGlobal::LanguageChanged>(this));
    TakeOutNodes();
    FSettings.reset();
  }
  if (StdBtnPainter == ptrStdBtn) StdBtnPainter = nullptr;
  if (Global == this) Global = nullptr;
  TComponent::BeforeDestruction();
}

void TGlobal::LoadSettings() {
  SettingsFile->Load();
  SessionFile->Load();
  if (SettingsFile->State() != TSessionFile::TState::sfMissing) {
    // A file that could not be read counts as an empty one: the keys keep their values.
    FSettings->LoadFromKnot(SettingsFile->Knot());
  } else {
    FSettings->Broadcast(pmApplyFirstStartDefaults, 0, 0, true, true);
    SettingsChanged = true;
  }

  TStringProperty& dataFileName = *FSettings->General->DataFileName;
  if (dataFileName.Value().empty())
    dataFileName.SetValue(FDefaultDataFileName);
  else if (IsRelativePath(dataFileName.Value()))
    dataFileName.SetValue(FDataFolder + dataFileName.Value());
  // A failure shows when the data file is written.
  ForceFolder(ExtractFilePath(dataFileName.Value()));

  // The settings live in the tree until the next save.
  SettingsFile->Knot().Clear();
}

void TGlobal::HangInNodes() {
  for (auto [node, parent] : NodesToHangIn(*FSettings)) node->SetParent(parent);
}

void TGlobal::TakeOutNodes() {
  // Asked again rather than remembered: a unit that ended first has taken its node out already.
  auto nodes = NodesToHangIn(*FSettings);
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
    if (it->first->Parent() == it->second) it->first->SetParent(nullptr);
}

void TGlobal::InitFileNames() {
  FProgramFolder = ExtractFilePath(FPlaces.ProgramFileName);
  FProgramTitle = ExtractFileTitle(FPlaces.ProgramFileName);

  FSettingsFolder = FProgramFolder;
  if (!FPlaces.CompanyName.empty() && !FPlaces.ProductName.empty() && !FPlaces.LocalAppDataFolder.empty()) {
    const std::u16string folder =
        WithDelimiter(FPlaces.LocalAppDataFolder) + FPlaces.CompanyName + u"\\" + FPlaces.ProductName + u"\\";
    if (ForceFolder(folder) == 0) FSettingsFolder = folder;
  }
  SettingsFile->SetFileName(FSettingsFolder + FProgramTitle + u"." + SettingsFile->CommandLineSearchExt());
  SessionFile->SetFileName(FSettingsFolder + FProgramTitle + u"." + SessionFile->CommandLineSearchExt());

  FDataFolder = FProgramFolder;
  if (!FPlaces.ProductName.empty() && !FPlaces.DocumentsFolder.empty())
    FDataFolder = WithDelimiter(FPlaces.DocumentsFolder) + FPlaces.ProductName + u"\\";
  FDefaultDataFileName = FDataFolder + FProgramTitle + u".qbx";
}

bool TGlobal::SaveSettings() {
  TKnot& knot = SettingsFile->Knot();
  FSettings->SaveToKnot(knot);
  const bool written = SettingsFile->Save();
  knot.Clear();
  if (written) SettingsChanged = false;
  return written;
}

void TGlobal::SaveChangedSettings() {
  if (SettingsChanged) SaveSettings();
}

void TGlobal::LanguageChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (ANotify != 1) return;
  LANGID language;
  if (!FindLanguageLocale(FSettings->General->Language->Value(), language)) language = Localization->DefaultLanguage();
  Localization->SetLanguage(language);
}
