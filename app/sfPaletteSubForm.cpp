#include "app/sfPaletteSubForm.h"

#include "app/diPaletteForm.h"
#include "app/unSettings.h"
#include "controls/baPropAssoc.h"
#include "foundation/cuLocalization.h"

namespace {

constexpr int IdPaletteGroup = 4170;
constexpr int IdShowHeaders = 4171;
constexpr int IdShowCaptions = 4172;
constexpr int IdShowHints = 4173;

constexpr int Indent = 8;
constexpr int CheckBoxStep = 22;

}  // namespace

TPaletteSubForm::TPaletteSubForm(TComponent* AOwner) : TSettingsSubForm(AOwner) {
  SetName(u"PaletteSubForm");
  lbGroup = NewGroupCaption();
  chShowHeaders = NewCheckBox();
  chShowCaptions = NewCheckBox();
  chShowHints = NewCheckBox();
}

void TPaletteSubForm::Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) {
  lbGroup->SetCaption(Localization->GetLocStr(IdPaletteGroup));
  auto* node = FindSettingsNode<TPaletteFormSettings>(ASettings, u"PaletteForm");
  const struct {
    TCheckBox* Box;
    TBooleanProperty* Key;
    int CaptionId;
  } boxes[] = {{chShowHeaders, node ? node->ShowHeaders : nullptr, IdShowHeaders},
               {chShowCaptions, node ? node->ShowCaptions : nullptr, IdShowCaptions},
               {chShowHints, node ? node->ShowHints : nullptr, IdShowHints}};
  for (const auto& b : boxes) {
    // Without the palette form's node in the tree there is nothing to show.
    if (b.Key)
      AAssociator.AddBoolCheckBox(*b.Key, *b.Box, Localization->GetLocStr(b.CaptionId));
    else
      b.Box->SetVisible(false);
  }
}

void TPaletteSubForm::Arrange() {
  lbGroup->SetBounds(0, 0, lbGroup->Width(), lbGroup->Height());
  int y = lbGroup->Height() + 10;
  for (TCheckBox* box : {chShowHeaders, chShowCaptions, chShowHints}) {
    box->SetBounds(Indent, y, box->Width(), box->Height());
    y += CheckBoxStep;
  }
}
