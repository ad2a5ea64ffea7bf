// The application-wide data module: the settings tree with the settings and session files, the program's folders
// and file names, the interface language, and the shared painters of standard and hyperlink buttons.
#pragma once

#include "foundation/cuNode.h"
#include "framework/fwComponents.h"

#include <cstdint>
#include <memory>
#include <string>

class TPushStyler;
class TSessionFile;
class TSettings;
class TStyledPainter;

// What the data module needs to know of the system to place its files: the program file, the local application
// data and documents folders (empty when the query failed) and the names of the version block.
struct TGlobalPlaces {
  std::u16string ProgramFileName;
  std::u16string LocalAppDataFolder;
  std::u16string DocumentsFolder;
  std::u16string CompanyName;
  std::u16string ProductName;
};
// Of the running program; the folders are created when missing.
TGlobalPlaces GetSystemPlaces();

// Makes AFolder with every missing parent: 0 when it exists afterwards, else the system's error code.
uint32_t ForceFolder(const std::u16string& AFolder);

// Created once before the main window and freed after it. The settings live in the tree between saves: the
// settings file's knot is empty except while SaveSettings writes it.
class TGlobal : public TComponent {
 public:
  explicit TGlobal(TComponent* AOwner, TGlobalPlaces APlaces = GetSystemPlaces());
  ~TGlobal() override;

  // Owned components, in creation order.
  TSessionFile* SessionFile;
  TStyledPainter* ptrStdBtn;
  TPushStyler* stStdBtn;
  TStyledPainter* ptrHyperlink;
  TPushStyler* stHyperlink;
  TSessionFile* SettingsFile;

  TSettings* Settings() const { return FSettings.get(); }
  // The settings must be written at close.
  bool SettingsChanged = false;

  // With a trailing path delimiter.
  const std::u16string& ProgramFolder() const { return FProgramFolder; }
  // The program file's name without folder and extension.
  const std::u16string& ProgramTitle() const { return FProgramTitle; }
  const std::u16string& SettingsFolder() const { return FSettingsFolder; }
  const std::u16string& DataFolder() const { return FDataFolder; }
  const std::u16string& DefaultDataFileName() const { return FDefaultDataFileName; }

  // Writes the tree to the settings file. False when the file could not be written: SettingsChanged stays set
  // so that the close tries again.
  bool SaveSettings();
  // The close's part: SaveSettings when SettingsChanged.
  void SaveChangedSettings();

  // The start: language, painters, tree, file names, both files loaded, the Language key followed.
  void AfterConstruction() override;

 protected:
  void BeforeDestruction() override;

 private:
  void InitFileNames();
  // Both files loaded: the tree from the settings file (or the first-start defaults), the data file's name made
  // whole and its folder made.
  void LoadSettings();
  void HangInNodes();
  void TakeOutNodes();
  void LanguageChanged(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2);

  TGlobalPlaces FPlaces;
  std::unique_ptr<TSettings, TNodeDeleter> FSettings;
  std::u16string FProgramFolder;
  std::u16string FProgramTitle;
  std::u16string FSettingsFolder;
  std::u16string FDataFolder;
  std::u16string FDefaultDataFileName;
  bool FFollowingLanguage = false;
};

// The one data module, created through Application->CreateForm; nil before and after.
extern TGlobal* Global;
// The painter of standard buttons (the data module's ptrStdBtn while it lives): dialogs give it to their buttons.
extern TStyledPainter* StdBtnPainter;
