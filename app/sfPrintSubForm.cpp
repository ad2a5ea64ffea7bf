#include "app/sfPrintSubForm.h"

#include "controls/baEdits.h"
#include "app/unSettings.h"
#include "controls/baPropAssoc.h"
#include "document/model/diCanvas.h"
#include "foundation/cuLocalization.h"

namespace {

constexpr int IdScale = 4203;

constexpr int Indent = 8;
constexpr int ScaleWidth = 80;

}  // namespace

TPrintSubForm::TPrintSubForm(TComponent* AOwner) : TSettingsSubForm(AOwner) {
  SetName(u"PrintSubForm");
  Appearance.Create(*this, MakeMethod<&TPrintSubForm::GetMoreClick>(this));
  veScale = new TIntegerEdit(this);
  veScale->SetParent(this);
  veScale->SetTabStop(true);
  lbScale = NewLabel(veScale);
}

void TPrintSubForm::Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) {
  FSettings = &ASettings;
  TPrintSettings& print = *ASettings.Print;
  Appearance.Bind(AAssociator, *print.Theme, *print.FontSize);
  AAssociator.AddIntegerEdit(*print.Scale, *veScale, lbScale, Localization->GetLocStr(IdScale));
}

void TPrintSubForm::Arrange() {
  const int y = Appearance.Place(0) + 16;
  PlaceUnderLabel(*lbScale, *veScale, Indent, y, ScaleWidth);
}

void TPrintSubForm::GetMoreClick(TObject* ASender) {
  if (FSettings) OpenThemesPage(*FSettings);
}
