// The Sounds page of the settings dialog: whether element actions sound.
#pragma once

#include "app/sfSettingsForm.h"

class TSoundsSubForm : public TSettingsSubForm {
 public:
  explicit TSoundsSubForm(TComponent* AOwner);

  TLabel* lbGroup;
  TCheckBox* chEnabled;

  void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) override;
  void Arrange() override;
};
