// The property associator on a shown form: controls filled from their keys at once, Apply storing them back in
// order (clamped by the key, nothing reported when nothing changed), string and enumeration combos, and a key's
// range reaching an integer edit before its value.
#include <gtest/gtest.h>

#include <vector>

#include "controls/baEdits.h"
#include "controls/baPropAssoc.h"
#include "foundation/cuProps.h"
#include "framework/fwStdCtrls.h"
#include "tests/framework/FormTestSupport.h"

namespace {

class TPageForm : public TForm {
 public:
  TPageForm(TComponent* AOwner, TJournal*) : TForm(AOwner) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetBounds(200, 150, 300, 200);
  }
  void Rebuild(TJournal*) {
    while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
    NewInto(Check, this);
    Check->SetParent(this);
    NewInto(Edit, this);
    Edit->SetTop(30);
    Edit->SetParent(this);
    NewInto(Sizes, this);
    Sizes->SetStyle(TComboBoxStyle::csDropDownList);
    Sizes->SetTop(60);
    Sizes->SetParent(this);
    NewInto(Names, this);
    Names->SetStyle(TComboBoxStyle::csDropDownList);
    Names->SetTop(90);
    Names->SetParent(this);
    NewInto(Label, this);
    Label->SetTop(120);
    Label->SetParent(this);
    NewInto(Associator, this);
  }
  TCheckBox* Check = nullptr;
  TIntegerEdit* Edit = nullptr;
  TComboBox* Sizes = nullptr;
  TComboBox* Names = nullptr;
  TLabel* Label = nullptr;
  TPropertyAssociator* Associator = nullptr;
};

using PropAssocTest = SharedFormTest<TPageForm>;

struct TSettings {
  TNodePtr<TProperty> Root{new TProperty(nullptr, u"Settings")};
  TBooleanProperty* Flag = new TBooleanProperty(Root.get(), u"Flag", false);
  TIntegerProperty* Count = new TIntegerProperty(Root.get(), u"Count", 5, 1, 20);
  TIntegerProperty* Offset = new TIntegerProperty(Root.get(), u"Offset", 0, -10, 10);
  TEnumProperty* FontSize = new TEnumProperty(Root.get(), u"FontSize", {u"", u"Large", u"Great"});
  TStringProperty* Name = new TStringProperty(Root.get(), u"Name", u"");
  int Changes = 0;
  void Changed(TObject*, intptr_t, intptr_t, intptr_t) { ++Changes; }
  TSettings() { Root->AddNotifyEvent(MakeMethod<&TSettings::Changed>(this)); }
};

int CaptionWidth(TWinControl& AControl, const std::u16string& AText) {
  HDC dc = GetDC(AControl.Handle());
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(AControl.Handle(), WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(AText.c_str()), static_cast<int>(AText.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(AControl.Handle(), dc);
  return size.cx;
}

}  // namespace

TEST_F(PropAssocTest, BindingFillsTheControlsAtOnceAndApplyStoresThemBackClamped) {
  TSettings s;
  s.Flag->SetValue(true);
  s.FontSize->SetValue(1);
  s.Name->SetValue(u"beta");
  s.Changes = 0;
  form->Names->Items().SetText(u"alpha\r\nbeta");
  TPropertyAssociator& a = *form->Associator;
  a.AddBoolCheckBox(*s.Flag, *form->Check, u"Keep notes on top");
  a.AddIntegerEdit(*s.Count, *form->Edit, form->Label, u"Count:");
  a.AddEnumComboBox(*s.FontSize, *form->Sizes, u"Normal\r\nLarge\r\nExtra large", nullptr, u"");
  a.AddStrComboBox(*s.Name, *form->Names, nullptr, u"");

  EXPECT_TRUE(form->Check->Checked());
  EXPECT_EQ(form->Check->Caption(), u"Keep notes on top");
  EXPECT_EQ(form->Check->Width(),
            CaptionWidth(*form->Check, u"Keep notes on top") + form->Check->Height() + 8);
  EXPECT_EQ(form->Label->Caption(), u"Count:");
  EXPECT_EQ(form->Edit->Value(), 5);
  EXPECT_EQ(form->Edit->MinValue(), 1);
  EXPECT_EQ(form->Edit->MaxValue(), 20);
  EXPECT_EQ(form->Sizes->ItemIndex(), 1);
  EXPECT_EQ(form->Sizes->Text(), u"Large");
  EXPECT_EQ(form->Names->ItemIndex(), 1);

  a.Apply();
  EXPECT_EQ(s.Changes, 0);

  form->Check->SetChecked(false);
  form->Edit->SetText(u"0");
  form->Sizes->SetItemIndex(2);
  form->Names->SetItemIndex(0);
  a.Apply();
  EXPECT_FALSE(s.Flag->Value());
  EXPECT_EQ(s.Count->Value(), 1);
  EXPECT_EQ(s.FontSize->ValueName(), u"Great");
  EXPECT_EQ(s.Name->Value(), u"alpha");
  EXPECT_EQ(s.Changes, 4);
  TKnot saved(u"Root");
  s.Root->Save(saved);
  EXPECT_EQ(saved.FindKnotByPath(u"Settings.FontSize", false)->ReadString(u"Value", u"?"), u"Great");
}

TEST_F(PropAssocTest, AValueTheListLacksSelectsNothingAndStoresEmptyText) {
  TSettings s;
  s.Name->SetValue(u"BETA");  // the list matches exactly
  form->Names->Items().SetText(u"alpha\r\nbeta");
  form->Associator->AddStrComboBox(*s.Name, *form->Names, nullptr, u"");
  EXPECT_EQ(form->Names->ItemIndex(), -1);
  form->Associator->Apply();
  EXPECT_EQ(s.Name->Value(), u"");
}

TEST_F(PropAssocTest, ANegativeStoredValueShowsAsItselfAndEventBindingsStoreThroughTheirHandler) {
  TSettings s;
  s.Offset->SetValue(-7);
  form->Associator->AddIntegerEdit(*s.Offset, *form->Edit, nullptr, u"");
  EXPECT_EQ(form->Edit->Text(), u"-7");

  struct TStore {
    std::vector<TProperty*> Stored;
    void Store(TPropertyAssoc*, TProperty* AProperty) { Stored.push_back(AProperty); }
  } store;
  form->Associator->AddEvents(*s.Count, form->Edit, MakeMethod<&TStore::Store>(&store));
  const TPropertyAssoc& events = form->Associator->Items(1);
  EXPECT_TRUE(events.HasEditor(form));
  EXPECT_TRUE(events.HasEditor(form->Edit));
  EXPECT_FALSE(events.HasEditor(form->Check));
  form->Associator->Apply();
  EXPECT_EQ(store.Stored, (std::vector<TProperty*>{s.Count}));
  EXPECT_EQ(s.Offset->Value(), -7);
}
