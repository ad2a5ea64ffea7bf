#include "controls/baPropAssoc.h"

#include "controls/baEdits.h"
#include "framework/fwForms.h"
#include "framework/fwStdCtrls.h"

namespace {

bool ContainsEditor(const TControl* AControl, const TControl* AEditor) {
  if (!AControl || !AEditor) return false;
  if (AControl == AEditor) return true;
  const auto* windowed = dynamic_cast<const TWinControl*>(AControl);
  return windowed && windowed->ContainsControl(AEditor);
}

}  // namespace

bool TPropertyAssocSingleEditor::HasEditor(const TControl* AControl) const { return ContainsEditor(AControl, FEditor); }

TPropertyAssocBoolInCheckBox::TPropertyAssocBoolInCheckBox(TBooleanProperty& AProperty, TCheckBox& ACheckBox)
    : TPropertyAssocSingleEditor(AProperty, &ACheckBox) {}

void TPropertyAssocBoolInCheckBox::Store() {
  static_cast<TBooleanProperty&>(Property()).SetValue(static_cast<TCheckBox*>(Editor())->Checked());
}

TPropertyAssocEnumInComboBox::TPropertyAssocEnumInComboBox(TEnumProperty& AProperty, TComboBox& ACombo)
    : TPropertyAssocSingleEditor(AProperty, &ACombo) {}

void TPropertyAssocEnumInComboBox::Store() {
  // With nothing chosen there is no name to store.
  const int index = static_cast<TComboBox*>(Editor())->ItemIndex();
  if (index >= 0) static_cast<TEnumProperty&>(Property()).SetValue(index);
}

TPropertyAssocIntInIntegerEdit::TPropertyAssocIntInIntegerEdit(TIntegerProperty& AProperty, TIntegerEdit& AEdit)
    : TPropertyAssocSingleEditor(AProperty, &AEdit) {}

void TPropertyAssocIntInIntegerEdit::Store() {
  static_cast<TIntegerProperty&>(Property()).SetValue(static_cast<TIntegerEdit*>(Editor())->GetIntValue());
}

TPropertyAssocStrInComboBox::TPropertyAssocStrInComboBox(TStringProperty& AProperty, TComboBox& ACombo)
    : TPropertyAssocSingleEditor(AProperty, &ACombo) {}

void TPropertyAssocStrInComboBox::Store() {
  static_cast<TStringProperty&>(Property()).SetValue(static_cast<TComboBox*>(Editor())->Text());
}

TPropertyAssocEvents::TPropertyAssocEvents(TProperty& AProperty, TControl* AControl, TPropertyAssocEvent AOnStore)
    : TPropertyAssoc(AProperty), FControl(AControl), FOnStore(AOnStore) {}

void TPropertyAssocEvents::Store() {
  if (FOnStore) FOnStore(this, &Property());
}

bool TPropertyAssocEvents::HasEditor(const TControl* AControl) const { return ContainsEditor(AControl, FControl); }

// ---------------------------------------------------------------------------------------------------------------

void AutoWidthCheckBox(TCheckBox& ACheckBox) {
  TCustomForm* form = GetParentForm(&ACheckBox);
  if (!form) return;
  ACheckBox.SetWidth(form->Canvas().TextWidth(ACheckBox.Caption()) + ACheckBox.Height() + 8);
}

void SetLabelCaption(TLabel* ALabel, const std::u16string& ACaption) {
  if (ALabel) ALabel->SetCaption(ACaption);
}

void TPropertyAssociator::AddBoolCheckBox(TBooleanProperty& AProperty, TCheckBox& ACheckBox,
                                          const std::u16string& ACaption) {
  ACheckBox.SetCaption(ACaption);
  AutoWidthCheckBox(ACheckBox);
  ACheckBox.SetChecked(AProperty.Value());
  FItems.push_back(std::make_unique<TPropertyAssocBoolInCheckBox>(AProperty, ACheckBox));
}

void TPropertyAssociator::AddEnumComboBox(TEnumProperty& AProperty, TComboBox& ACombo,
                                          const std::u16string& AItemsText, TLabel* ALabel,
                                          const std::u16string& ALabelCaption) {
  SetLabelCaption(ALabel, ALabelCaption);
  ACombo.Items().SetText(AItemsText);
  ACombo.SetItemIndex(AProperty.Value());
  FItems.push_back(std::make_unique<TPropertyAssocEnumInComboBox>(AProperty, ACombo));
}

void TPropertyAssociator::AddIntegerEdit(TIntegerProperty& AProperty, TIntegerEdit& AEdit, TLabel* ALabel,
                                         const std::u16string& ALabelCaption) {
  SetLabelCaption(ALabel, ALabelCaption);
  AEdit.SetMinValue(AProperty.Min());
  AEdit.SetMaxValue(AProperty.Max());
  AEdit.SetValue(AProperty.Value());
  FItems.push_back(std::make_unique<TPropertyAssocIntInIntegerEdit>(AProperty, AEdit));
}

void TPropertyAssociator::AddStrComboBox(TStringProperty& AProperty, TComboBox& ACombo, TLabel* ALabel,
                                         const std::u16string& ALabelCaption) {
  SetLabelCaption(ALabel, ALabelCaption);
  if (ACombo.IsListStyle())
    ACombo.SetItemIndex(ACombo.Items().IndexOf(AProperty.Value()));
  else
    ACombo.SetText(AProperty.Value());
  FItems.push_back(std::make_unique<TPropertyAssocStrInComboBox>(AProperty, ACombo));
}

void TPropertyAssociator::AddEvents(TProperty& AProperty, TControl* AControl, TPropertyAssocEvent AOnStore) {
  FItems.push_back(std::make_unique<TPropertyAssocEvents>(AProperty, AControl, AOnStore));
}

void TPropertyAssociator::Apply() {
  for (const auto& item : FItems) item->Store();
}
