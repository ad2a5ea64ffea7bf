// The General page of the settings dialog: the interface language, the data file and the program's behaviour in
// the notification area.
#pragma once

#include "app/sfSettingsForm.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TEdit;
class TOpenSaveDialog;
class TPropertyAssoc;
class TUserWinButton;

// Why a data file name cannot be used.
enum class TDataFileNameProblem : uint8_t {
  dfOk,
  dfReservedCharacter,  // a character no file name may hold
  dfFolder,             // an existing folder
  dfDevice,             // a device name (CON, NUL, COM1...)
  dfNoFileName,         // no file at its end, a drive without a folder, a name ending in a dot or a space
};

struct TDataFileNameCheck {
  TDataFileNameProblem Problem = TDataFileNameProblem::dfOk;
  // The absolute name to store (dfOk), or the offending character (dfReservedCharacter).
  std::u16string Value;
};

// The trimmed AText as the data file's absolute name: empty gives ADefault, a relative name is taken in
// ADataFolder (with its trailing delimiter), a name rooted without a drive on ADataFolder's drive, and "." and
// ".." are resolved. A name that cannot be a file path is refused.
TDataFileNameCheck CheckDataFileName(std::u16string_view AText, const std::u16string& ADataFolder,
                                     const std::u16string& ADefault);
// The user's message for a refused name.
std::u16string DataFileNameProblemText(const std::u16string& AName, const TDataFileNameCheck& ACheck);

class TGeneralSubForm : public TSettingsSubForm {
 public:
  explicit TGeneralSubForm(TComponent* AOwner);

  TLabel* lbGroup;
  TLabel* lbLanguage;
  TComboBox* cbLanguage;
  TLabel* lbDataFile;
  TEdit* edDataFileName;
  TUserWinButton* btBrowse;
  TLabel* lbExplanation;
  TCheckBox* chAutoStart;
  TCheckBox* chShowInTray;
  TCheckBox* chShowByHotKey;
  TCheckBox* chHideByEsc;
  TCheckBox* chHideToTrayByMinimizeButton;
  TOpenSaveDialog* dlgDataFile;

  // The language codes of cbLanguage's items, in their order.
  const std::vector<std::u16string>& LanguageCodes() const { return FCodes; }
  // The item whose code is exactly ACode; -1 when none.
  int IndexOfLanguage(std::u16string_view ACode) const;

  void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) override;
  // The data file's name must be usable.
  TWinControl* CheckValues() override;
  void Arrange() override;

 private:
  void FillLanguages();
  void StoreLanguage(TPropertyAssoc* ASender, TProperty* AProperty);
  void StoreDataFileName(TPropertyAssoc* ASender, TProperty* AProperty);
  void BrowseClick(TObject* ASender);
  std::u16string DataFolder() const;

  std::vector<std::u16string> FCodes;
  TStringProperty* FDataFileName = nullptr;
};
