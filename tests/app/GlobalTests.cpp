#include "app/diSheetForm.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppCmpns.h"
#include "controls/baPainterStyles.h"
#include "controls/baStyledPainter.h"
#include "document/model/diCanvas.h"
#include "document/elements/diDataElementUtils.h"
#include "document/model/diNaming.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "framework/fwComponents.h"
#include "tests/app/AppFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using TGlobalPtr = std::unique_ptr<TGlobal, TComponentDeleter>;

class GlobalTest : public TStartedUnitsTest {
 protected:
  TGlobalPlaces Places() const {
    return {Scratch() + u"program\\Quillbox.exe", Scratch() + u"local", Scratch() + u"documents", u"OrrenwickStudios",
            u"Quillbox"};
  }
  std::u16string SettingsFileName() const {
    return Scratch() + u"local\\OrrenwickStudios\\Quillbox\\Quillbox.settings";
  }
  static TGlobalPtr Start(const TGlobalPlaces& APlaces) { return TGlobalPtr(New<TGlobal>(nullptr, APlaces)); }

  // A settings file holding General.AKey = AValue.
  void SeedGeneral(const std::u16string& AKey, const std::u16string& AValue) {
    std::filesystem::create_directories(Path(ExtractFilePath(SettingsFileName())));
    std::unique_ptr<TSessionFile, TComponentDeleter> file(New<TSessionFile>(nullptr));
    file->SetFileName(SettingsFileName());
    file->Knot().FindOrAddKnot(u"General")->FindOrAddKnot(AKey)->WriteString(u"Value", AValue);
    ASSERT_TRUE(file->Save());
  }
};

TEST_F(GlobalTest, FilesGoToTheMakersFolderAndBesideTheProgramWithoutItsNames) {
  struct TCase {
    const char* Name;
    std::u16string Company, Product, LocalAppData, Documents;
    std::u16string Settings, Session, DataFile;
  };
  const std::u16string local = Scratch() + u"local", documents = Scratch() + u"documents";
  const std::u16string maker = local + u"\\OrrenwickStudios\\Quillbox\\Quillbox";
  const std::u16string program = Scratch() + u"program\\Quillbox";
  const std::u16string data = documents + u"\\Quillbox\\Quillbox.qbx";
  const TCase cases[] = {
      {"both names", u"OrrenwickStudios", u"Quillbox", local, documents, maker + u".settings", maker + u".session",
       data},
      {"no company", u"", u"Quillbox", local, documents, program + u".settings", program + u".session", data},
      {"no product", u"OrrenwickStudios", u"", local, documents, program + u".settings", program + u".session",
       program + u".qbx"},
      {"folder queries failed", u"OrrenwickStudios", u"Quillbox", u"", u"", program + u".settings",
       program + u".session", program + u".qbx"},
      // A file where the maker's folder should be: it cannot be made.
      {"folder not made", u"OrrenwickStudios", u"Quillbox", Scratch() + u"blocked", documents, program + u".settings",
       program + u".session", data},
  };
  std::filesystem::create_directories(Path(Scratch() + u"program"));
  { TFileStream(Scratch() + u"blocked", TFileMode::fmCreate); }
  for (const TCase& c : cases) {
    TGlobalPtr global =
        Start({Scratch() + u"program\\Quillbox.exe", c.LocalAppData, c.Documents, c.Company, c.Product});
    EXPECT_EQ(global->SettingsFile->FileName(), c.Settings) << c.Name;
    EXPECT_EQ(global->SessionFile->FileName(), c.Session) << c.Name;
    EXPECT_EQ(global->DefaultDataFileName(), c.DataFile) << c.Name;
    EXPECT_EQ(global->Settings()->General->DataFileName->Value(), c.DataFile) << c.Name;
    EXPECT_TRUE(DirectoryExists(ExtractFilePath(c.DataFile))) << c.Name;
    EXPECT_EQ(global->ProgramTitle(), u"Quillbox");
  }
}

TEST_F(GlobalTest, ALanguageThatIsNotInstalledGivesEnglish) {
  struct TCase {
    const char16_t* Stored;
    LANGID Expected;
    const char16_t* Name;
  };
  for (const TCase& c : {TCase{u"DEU", 0x0407, u"Deutsch"}, TCase{u"XYZ", 0x0409, u"English"},
                         TCase{u"", 0x0409, u"English"}, TCase{u"deu", 0x0409, u"English"}}) {
    SeedGeneral(u"Language", c.Stored);
    TGlobalPtr global = Start(Places());
    EXPECT_EQ(Localization->Language(), c.Expected) << std::u16string(c.Stored).size();
    EXPECT_EQ(Localization->GetLocStr(2011), c.Name);
    EXPECT_FALSE(global->SettingsChanged);
  }
  // The key is followed while the module lives, and no longer after it.
  {
    TGlobalPtr global = Start(Places());
    global->Settings()->General->Language->SetValue(u"DEU");
    EXPECT_EQ(Localization->Language(), 0x0407);
  }
  Localization->SetLanguage(0x0409);
}

TEST_F(GlobalTest, AFirstRunWritesAtCloseAndAnUnchangedLaterRunDoesNot) {
  {
    TGlobalPtr first = Start(Places());
    EXPECT_EQ(first->SettingsFile->State(), TSessionFile::TState::sfMissing);
    EXPECT_TRUE(first->SettingsChanged);
    EXPECT_EQ(first->Settings()->General->Language->Value(), GetDefaultLanguage());
    first->SaveChangedSettings();
    EXPECT_FALSE(first->SettingsChanged);
    // Between saves the settings live in the tree only.
    EXPECT_EQ(first->SettingsFile->Knot().FirstKnot(), nullptr);
  }
  ASSERT_TRUE(FileExists(SettingsFileName()));
  {
    // UTF-8 with its byte-order mark, whatever the code page.
    TFileStream bytes(SettingsFileName(), TFileMode::fmOpenRead);
    uint8_t mark[3] = {};
    ASSERT_EQ(bytes.Read(mark, 3), 3u);
    EXPECT_EQ((mark[0] << 16) | (mark[1] << 8) | mark[2], 0xEFBBBF);
  }
  {
    // The data file's default name is not written: a moved documents folder is followed.
    TKnot written;
    written.LoadFromFile(SettingsFileName());
    ASSERT_NE(written.FindKnot(u"General"), nullptr);
    EXPECT_NE(written.FindKnot(u"General")->FindKnot(u"Language"), nullptr);
    EXPECT_EQ(written.FindKnot(u"General")->FindKnot(u"DataFileName"), nullptr);
  }
  {
    TGlobalPtr later = Start(Places());
    EXPECT_EQ(later->SettingsFile->State(), TSessionFile::TState::sfLoaded);
    EXPECT_FALSE(later->SettingsChanged);
    EXPECT_EQ(later->Settings()->General->Language->Value(), GetDefaultLanguage());
    ASSERT_TRUE(RemoveFile(SettingsFileName()));
    later->SaveChangedSettings();
  }
  EXPECT_FALSE(FileExists(SettingsFileName()));
}

TEST_F(GlobalTest, ASettingsFileThatCannotBeReadIsNoFirstStart) {
  SeedGeneral(u"Language", u"DEU");
  HANDLE locked = CreateFileW(WStr(SettingsFileName()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  {
    TGlobalPtr global = Start(Places());
    EXPECT_EQ(global->SettingsFile->State(), TSessionFile::TState::sfUnreadable);
    // Read as an empty file: no first-start defaults, and nothing to write over it at close.
    EXPECT_EQ(global->Settings()->General->Language->Value(), u"");
    EXPECT_EQ(Localization->Language(), 0x0409);
    EXPECT_FALSE(global->SettingsChanged);
  }
  CloseHandle(locked);
  TGlobalPtr global = Start(Places());
  EXPECT_EQ(global->Settings()->General->Language->Value(), u"DEU");
  global.reset();
  Localization->SetLanguage(0x0409);
}

TEST_F(GlobalTest, AFailedWriteKeepsTheFlagAndTheCloseTriesAgain) {
  TGlobalPtr global = Start(Places());
  ASSERT_TRUE(global->SettingsChanged);
  const std::u16string folder = ExtractFilePath(SettingsFileName());
  // Nothing written there yet: the folder can go, and no file can be made in it.
  ASSERT_TRUE(RemoveDirectoryW(WStr(folder)));
  EXPECT_FALSE(global->SaveSettings());
  EXPECT_TRUE(global->SettingsChanged);
  EXPECT_EQ(global->SettingsFile->Knot().FirstKnot(), nullptr);

  std::filesystem::create_directories(Path(folder));
  global->SaveChangedSettings();
  EXPECT_FALSE(global->SettingsChanged);
  EXPECT_TRUE(FileExists(SettingsFileName()));
}

TEST_F(GlobalTest, ARelativeDataFileNameIsTakenFromTheDataFolder) {
  SeedGeneral(u"DataFileName", u"notes\\mine.qbx");
  TGlobalPtr global = Start(Places());
  const std::u16string expected = Scratch() + u"documents\\Quillbox\\notes\\mine.qbx";
  EXPECT_EQ(global->Settings()->General->DataFileName->Value(), expected);
  EXPECT_TRUE(DirectoryExists(ExtractFilePath(expected)));

  global.reset();
  SeedGeneral(u"DataFileName", Scratch() + u"elsewhere\\kept.qbx");
  global = Start(Places());
  EXPECT_EQ(global->Settings()->General->DataFileName->Value(), Scratch() + u"elsewhere\\kept.qbx");
}

TEST_F(GlobalTest, SavedSettingsComeBackInTheNextRunWithTheNodesOfOtherUnits) {
  ASSERT_NE(NamingSettings, nullptr);
  {
    TGlobalPtr global = Start(Places());
    EXPECT_EQ(NamingSettings->Parent(), global->Settings()->Sheet);
    EXPECT_EQ(SheetFormSettings->Parent(), global->Settings());
    global->Settings()->Sheet->FontSize->SetValue(fsGreat);
    NamingSettings->FillDigits->SetValue(7);
    SheetFormSettings->ShowHints->SetValue(false);
    ASSERT_TRUE(global->SaveSettings());
  }
  // Taken out before the tree went.
  EXPECT_EQ(NamingSettings->Parent(), nullptr);
  NamingSettings->FillDigits->SetValue(1);
  SheetFormSettings->ShowHints->SetValue(true);
  TGlobalPtr global = Start(Places());
  EXPECT_EQ(global->Settings()->Sheet->FontSize->Value(), fsGreat);
  EXPECT_EQ(NamingSettings->FillDigits->Value(), 7);
  EXPECT_FALSE(SheetFormSettings->ShowHints->Value());
  NamingSettings->FillDigits->SetValue(1);
  SheetFormSettings->ShowHints->SetValue(true);
}

TEST_F(GlobalTest, TheDataNodeHangsUnderSheetBeforeNamingAndAFirstRunNamesThePaintProgram) {
  ASSERT_NE(DataElementSettings, nullptr);
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  {
    TGlobalPtr global = Start(Places());
    EXPECT_EQ(DataElementSettings->Parent(), global->Settings()->Sheet);
    EXPECT_EQ(DataElementSettings->NextSibling(), NamingSettings.get());
    EXPECT_EQ(DataElementSettings->Bitmaps->CustomEditor->Value(), FromWide(system) + u"\\mspaint.exe");
    EXPECT_EQ(DataElementSettings->Other->CustomEditor->Value(), u"");
  }
  EXPECT_EQ(DataElementSettings->Parent(), nullptr);
  DataElementSettings->Bitmaps->CustomEditor->SetValue(u"");
}

TEST_F(GlobalTest, ThePaintersAreSetUpAndTheStandardOneIsShared) {
  {
    TGlobalPtr global = Start(Places());
    EXPECT_EQ(StdBtnPainter, global->ptrStdBtn);
    EXPECT_EQ(global->ptrStdBtn->Styler(), global->stStdBtn);
    EXPECT_EQ(global->ptrStdBtn->Padding().Left(), 8);
    EXPECT_EQ(global->ptrStdBtn->Padding().Right(), 8);
    EXPECT_EQ(global->stStdBtn->Mode(), smThemeStdBtn);
    EXPECT_EQ(global->stStdBtn->Options(), soAllowFrameDefault | soLargeSigns);
    EXPECT_EQ(global->ptrHyperlink->Styler(), global->stHyperlink);
    EXPECT_EQ(global->stHyperlink->Cursor(), crHandPoint);
    EXPECT_EQ(global->stHyperlink->Font().Color(), clBlue);
    EXPECT_TRUE(global->stHyperlink->Font().Style() & fsUnderline);
    EXPECT_EQ(global->stHyperlink->Styles().Adapt().FillKind(), fkClear);
  }
  EXPECT_EQ(StdBtnPainter, nullptr);
}

TEST_F(GlobalTest, TheStandardButtonsClassicLookByState) {
  struct TCase {
    const char* Name;
    TClientState State;
    TEdgeKind Edge;
    TOffsetKind Offset;
    bool FocusRect;
    TColor FontColor;
  };
  const TCase cases[] = {
      {"up", {}, ekRaised, okNone, false, clWindowText},
      {"hot", stHot, ekRaised, okNone, false, clWindowText},
      {"pressed", stPressed | stHot, ekLowered, okInClassicMode, false, clWindowText},
      {"focused", stFocused, ekRaised, okNone, true, clWindowText},
      {"pressed with the focus", stPressed | stHot | stFocused, ekLowered, okInClassicMode, true, clWindowText},
      {"disabled", stDisabled | stFocused, ekRaised, okNone, false, clGrayText},
  };
  TGlobalPtr global = Start(Places());
  global->stStdBtn->Font().SetColor(clWindowText);
  for (const TCase& c : cases) {
    TPainterStyle& style = global->stStdBtn->GetStyle(c.State);
    EXPECT_EQ(style.EdgeOuter(), c.Edge) << c.Name;
    EXPECT_EQ(style.EdgeInner(), c.Edge) << c.Name;
    EXPECT_EQ(style.Edges(), AllEdges) << c.Name;
    EXPECT_EQ(style.FillKind(), fkParentColor) << c.Name;
    EXPECT_EQ(style.ContentOffset(), c.Offset) << c.Name;
    EXPECT_EQ(style.Options().Contains(psoFocusRect), c.FocusRect) << c.Name;
    const auto* state = dynamic_cast<TPainterStyleEx*>(&style);
    EXPECT_EQ(state ? state->FontColor() : global->stStdBtn->Font().Color(), c.FontColor) << c.Name;
  }
  EXPECT_TRUE(global->stStdBtn->GetStyle(stDisabled).ImageEffects().Contains(pieDisable));
}

}  // namespace
