// The Palette page of the settings dialog: what the palette's buttons and groups show.
#pragma once

#include "app/sfSettingsForm.h"

class TPaletteSubForm : public TSettingsSubForm {
 public:
  explicit TPaletteSubForm(TComponent* AOwner);

  TLabel* lbGroup;
  TCheckBox* chShowHeaders;
  TCheckBox* chShowCaptions;
  TCheckBox* chShowHints;

  void Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) override;
  void Arrange() override;
};
