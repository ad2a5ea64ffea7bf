// The Print page of the settings dialog: the printed sheet's theme and font size, and the scale.
#pragma once

#include "app/sfEditorSubForm.h"
#include "app/sfSettingsForm.h"

class TIntegerEdit;

class TPrintSubForm : public TSettingsSubForm {
 public:
  explicit TPrintSubForm(TComponent* AOwner);

  TAppearanceGroup Appearance;
  TLabel* lbScale;
  TIntegerEdit* veScale;

  void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) override;
  void Arrange() override;

 private:
  void GetMoreClick(TObject* ASender);

  TSettings* FSettings = nullptr;
};
