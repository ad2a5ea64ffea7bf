// The Editor page of the settings dialog: the sheet's appearance theme and font size, and how new elements and
// hints behave. Also the appearance group the Print page shares.
#pragma once

#include "app/sfSettingsForm.h"

#include <string>
#include <vector>

class TEnumProperty;
class TStringProperty;
class TUserWinButton;

// "Default", then the names without extension of the "*.txt" files in AFolder, in name order (case ignored).
std::vector<std::u16string> ThemeNames(const std::u16string& AFolder);

// The theme list, the font size and the link to more themes, bound to a node's Theme and FontSize.
struct TAppearanceGroup {
  TLabel* lbGroup = nullptr;
  TLabel* lbTheme = nullptr;
  TComboBox* cbTheme = nullptr;
  TLabel* lbFontSize = nullptr;
  TComboBox* cbFontSize = nullptr;
  TUserWinButton* btGetMore = nullptr;

  // Makes the controls on APage; AGetMore runs the link.
  void Create(TSettingsSubForm& APage, TNotifyEvent AGetMore);
  // The theme list from the program's themes folder, selecting "Default" when no item matches ATheme.
  void Bind(TPropertyAssociator& AAssociator, TStringProperty& ATheme, TEnumProperty& AFontSize);
  // Places the group at Y; returns its bottom.
  int Place(int Y);
};

// Opens the themes page of the web site in the interface language of ASettings.
void OpenThemesPage(TSettings& ASettings);

class TEditorSubForm : public TSettingsSubForm {
 public:
  explicit TEditorSubForm(TComponent* AOwner);

  TAppearanceGroup Appearance;
  TCheckBox* chFocusNew;
  // Bound but hidden: the hints box takes its place.
  TCheckBox* chDropDownOnFocusNew;
  TCheckBox* chShowHints;
  TCheckBox* chIncreaseWorkspaceHeight;
  // Hidden and bound to nothing.
  TCheckBox* chNonPrinting;

  void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) override;
  void Arrange() override;

 private:
  void FocusNewClick(TObject* ASender);
  void GetMoreClick(TObject* ASender);
  void UpdateDropDownOnFocusNew();

  TSettings* FSettings = nullptr;
};
