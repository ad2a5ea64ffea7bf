#include "app/sfSoundsSubForm.h"

#include "app/unSettings.h"
#include "controls/baPropAssoc.h"
#include "document/model/diSounds.h"
#include "foundation/cuLocalization.h"

namespace {

constexpr int IdSoundsGroup = 4200;
constexpr int IdEnabled = 4201;

constexpr int Indent = 8;

}  // namespace

TSoundsSubForm::TSoundsSubForm(TComponent* AOwner) : TSettingsSubForm(AOwner) {
  SetName(u"SoundsSubForm");
  lbGroup = NewGroupCaption();
  chEnabled = NewCheckBox();
}

void TSoundsSubForm::Bind(TPropertyAssociator& AAssociator, TSettings& ASettings) {
  lbGroup->SetCaption(Localization->GetLocStr(IdSoundsGroup));
  // The node the program plays by, wherever it hangs.
  auto* node = FindSettingsNode<TSoundsSettings>(ASettings, u"Sounds");
  if (!node) node = SoundsSettings.get();
  if (node)
    AAssociator.AddBoolCheckBox(*node->Enabled, *chEnabled, Localization->GetLocStr(IdEnabled));
  else
    chEnabled->SetVisible(false);
}

void TSoundsSubForm::Arrange() {
  lbGroup->SetBounds(0, 0, lbGroup->Width(), lbGroup->Height());
  chEnabled->SetBounds(Indent, lbGroup->Height() + 10, chEnabled->Width(), chEnabled->Height());
}
