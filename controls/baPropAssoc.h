// Binds the controls of a settings page to keys of the settings tree: binding fills the control from its key at
// once, Apply writes every bound control back, in the order of binding.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/cuProps.h"
#include "framework/fwComponents.h"

class TCheckBox;
class TComboBox;
class TControl;
class TIntegerEdit;
class TLabel;

class TPropertyAssoc {
 public:
  explicit TPropertyAssoc(TProperty& AProperty) : FProperty(AProperty) {}
  virtual ~TPropertyAssoc() = default;

  TProperty& Property() const { return FProperty; }
  // Control to property: the property's setter reports a change only when the value changed.
  virtual void Store() = 0;
  // Whether AControl is this binding's editor or contains it.
  virtual bool HasEditor(const TControl* AControl) const = 0;

 private:
  TProperty& FProperty;
};

class TPropertyAssocSingleEditor : public TPropertyAssoc {
 public:
  TPropertyAssocSingleEditor(TProperty& AProperty, TControl* AEditor) : TPropertyAssoc(AProperty), FEditor(AEditor) {}
  TControl* Editor() const { return FEditor; }
  bool HasEditor(const TControl* AControl) const override;

 private:
  TControl* FEditor;
};

class TPropertyAssocBoolInCheckBox : public TPropertyAssocSingleEditor {
 public:
  TPropertyAssocBoolInCheckBox(TBooleanProperty& AProperty, TCheckBox& ACheckBox);
  void Store() override;
};

class TPropertyAssocEnumInComboBox : public TPropertyAssocSingleEditor {
 public:
  TPropertyAssocEnumInComboBox(TEnumProperty& AProperty, TComboBox& ACombo);
  void Store() override;
};

class TPropertyAssocIntInIntegerEdit : public TPropertyAssocSingleEditor {
 public:
  TPropertyAssocIntInIntegerEdit(TIntegerProperty& AProperty, TIntegerEdit& AEdit);
  void Store() override;
};

class TPropertyAssocStrInComboBox : public TPropertyAssocSingleEditor {
 public:
  TPropertyAssocStrInComboBox(TStringProperty& AProperty, TComboBox& ACombo);
  void Store() override;
};

// Sender is the binding.
using TPropertyAssocEvent = TMethod<void(TPropertyAssoc* ASender, TProperty* AProperty)>;

// For controls that need more than one value: the page's own handler stores.
class TPropertyAssocEvents : public TPropertyAssoc {
 public:
  TPropertyAssocEvents(TProperty& AProperty, TControl* AControl, TPropertyAssocEvent AOnStore);
  void Store() override;
  // False without a control.
  bool HasEditor(const TControl* AControl) const override;

 private:
  TControl* FControl;
  TPropertyAssocEvent FOnStore;
};

class TPropertyAssociator : public TComponent {
 public:
  using TComponent::TComponent;

  int Count() const { return static_cast<int>(FItems.size()); }
  TPropertyAssoc& Items(int AIndex) const { return *FItems.at(static_cast<size_t>(AIndex)); }

  // The check box takes ACaption and is widened to it; checked as the key says.
  void AddBoolCheckBox(TBooleanProperty& AProperty, TCheckBox& ACheckBox, const std::u16string& ACaption);
  // The combo's items are the lines of AItemsText, in the order of the enumeration's names.
  void AddEnumComboBox(TEnumProperty& AProperty, TComboBox& ACombo, const std::u16string& AItemsText, TLabel* ALabel,
                       const std::u16string& ALabelCaption);
  // The edit takes the key's range before its value, so a value below the edit's own minimum shows as itself.
  void AddIntegerEdit(TIntegerProperty& AProperty, TIntegerEdit& AEdit, TLabel* ALabel,
                      const std::u16string& ALabelCaption);
  // A list-style combo selects the item equal to the value (none when absent); another style takes it as text.
  void AddStrComboBox(TStringProperty& AProperty, TComboBox& ACombo, TLabel* ALabel,
                      const std::u16string& ALabelCaption);
  void AddEvents(TProperty& AProperty, TControl* AControl, TPropertyAssocEvent AOnStore);

  // Stores every binding in the order of adding.
  void Apply();

 private:
  std::vector<std::unique_ptr<TPropertyAssoc>> FItems;
};

// The check box as wide as its caption on its form's canvas plus its own height plus 8 pixels.
void AutoWidthCheckBox(TCheckBox& ACheckBox);
// The label (may be nil) takes ACaption.
void SetLabelCaption(TLabel* ALabel, const std::u16string& ACaption);
