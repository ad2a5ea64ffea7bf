// The settings dialog: a list of pages on the left, the selected page on the right, and OK, Cancel and Apply.
// Every page binds its controls to keys of the settings tree through one property associator; nothing reaches
// the settings before OK or Apply stores all bindings at once. A language applied with Apply builds the dialog
// anew in that language. The page that was open is remembered for the life of the process.
#pragma once

#include "foundation/cuProps.h"
#include "foundation/cuSystem.h"
#include "framework/fwForms.h"
#include "framework/fwStdCtrls.h"

#include <string>
#include <string_view>
#include <vector>

class TFormPlace;
class TPropertyAssociator;
class TSettings;
class TSettingsForm;
class TTreeNode;
class TTreeViewEx;
class TUserWinButton;

// Posted to the dialog by an Apply that changed the language (no parameters): the dialog ends its modal loop with
// a result of its own, and ShowSettings makes a new one in the new language.
constexpr UINT WM_SETTINGS_RECREATE = WM_USER + 1;

// Called after each Apply with the data given to ShowSettings and the dialog.
using TSettingsApplyHook = TMethod<void(void* AData, TSettingsForm* ADialog)>;

// Shows the settings dialog for ASettings, owned by AOwner, and frees it. With APageName (the name of a page form,
// e.g. "EditorSubForm") that page is shown and its first control focused; otherwise the page that was open when
// the dialog last closed. A language change applied with Apply closes the dialog and shows a new one on the first
// page; the call returns once, when the last dialog closes, with its modal result (mrOk or mrCancel).
TModalResult ShowSettings(TComponent* AOwner, TSettings* ASettings, const std::u16string& APageName = {},
                          TSettingsApplyHook AHook = nullptr, void* AHookData = nullptr);
// The dialog while ShowSettings runs one, else nil.
TSettingsForm* RunningSettingsForm();

// The page form that shows the settings path APath (dotted, by its first node): General; PaletteForm: Palette;
// Sheet and SheetForm: Editor; Sounds; Print; anything else: General.
std::u16string SettingsPageOfPath(std::u16string_view APath);

// The log's settings links open the dialog on the page of their path, owned by the main form.
void InitializeSettingsForm();
void FinalizeSettingsForm();

// The size of every page.
constexpr int SettingsPageWidth = 440;
constexpr int SettingsPageHeight = 330;

// A page: a form embedded in the dialog that binds its controls to the settings tree. It takes the system's
// message font.
class TSettingsSubForm : public TForm {
 public:
  explicit TSettingsSubForm(TComponent* AOwner);

  // Fills the controls from the settings and binds them.
  virtual void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) = 0;
  // Places the controls once the dialog has loaded: then the texts are known and the buttons can size themselves
  // (a control measures nothing while it loads).
  virtual void Arrange() = 0;
  // Asked before anything is stored: a control whose value cannot be stored (the user has been told why) refuses
  // the whole apply; nil lets it go on.
  virtual TWinControl* CheckValues() { return nullptr; }
  // The first control in tab order, nil when none can take the focus.
  TWinControl* FirstControl();

  // Controls made on the page, placed later.
  // A bold caption over a group of controls.
  TLabel* NewGroupCaption();
  TLabel* NewLabel(TWinControl* AFocusControl = nullptr);
  TCheckBox* NewCheckBox();
  TComboBox* NewComboBox(TComboBoxStyle AStyle);
  // Places ALabel at (X, Y) and AControl under it; returns the bottom of AControl.
  static int PlaceUnderLabel(TLabel& ALabel, TWinControl& AControl, int X, int Y, int AWidth);
};

// A node of the settings tree by its dotted path below ARoot, of kind T; nil when it is not there.
template <class T>
T* FindSettingsNode(TProperty& ARoot, std::u16string_view APath);

class TSettingsForm : public TForm {
 public:
  // APageIndex is the page shown first unless APageName names a page form.
  TSettingsForm(TComponent* AOwner, TSettings& ASettings, int APageIndex, std::u16string APageName,
                TSettingsApplyHook AHook, void* AHookData);

  TPropertyAssociator* pa1;
  TTreeViewEx* tv1;
  TUserWinButton* ubOK;
  TUserWinButton* ubCancel;
  TUserWinButton* ubApply;
  TFormPlace* fp1;

  TSettings& Settings() const { return FSettings; }
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TSettingsSubForm* Pages(int AIndex) const { return FPages.at(static_cast<size_t>(AIndex)); }
  // The page shown, and its index (the selected node's absolute index).
  TSettingsSubForm* CurrentPage() const { return FCurrentPage; }
  int SelectedPageIndex() const;

  // Stores every binding and calls the apply hook. With ARecreate a changed language rebuilds the dialog. False
  // when a page refused its values: nothing was stored.
  bool Apply(bool ARecreate);

 protected:
  void WndProc(TMessage& AMessage) override;
  void DoCreate() override;
  void DoShow() override;

 private:
  void AddPage(TSettingsSubForm* APage, int ACaptionId);
  void ShowPage(TSettingsSubForm* APage);
  void PlaceButtons();
  void TreeChange(TObject* ASender, TTreeNode* ANode);
  void TreeCollapsing(TObject* ASender, TTreeNode* ANode, bool& AAllowCollapse);
  void OKClick(TObject* ASender);
  void ApplyClick(TObject* ASender);

  TSettings& FSettings;
  std::u16string FPageName;
  TSettingsApplyHook FHook;
  void* FHookData;
  std::vector<TSettingsSubForm*> FPages;
  TSettingsSubForm* FCurrentPage = nullptr;
};

template <class T>
T* FindSettingsNode(TProperty& ARoot, std::u16string_view APath) {
  TProperty* node = &ARoot;
  while (node && !APath.empty()) {
    const size_t dot = APath.find(u'.');
    node = node->FindProperty(APath.substr(0, dot));
    APath = dot == std::u16string_view::npos ? std::u16string_view() : APath.substr(dot + 1);
  }
  return dynamic_cast<T*>(node);
}
