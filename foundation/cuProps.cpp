#include "foundation/cuProps.h"

#include <algorithm>
#include <typeinfo>

namespace {

constexpr char16_t ValueParam[] = u"Value";

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TProperty

TProperty::TProperty(TProperty* AParent, std::u16string AName) : FName(std::move(AName)) {
  if (AParent) SetParent(AParent);
}

TProperty* TProperty::FindProperty(std::u16string_view AName) const {
  for (TProperty* child = FirstProperty(); child; child = child->NextProperty())
    if (child->Name() == AName) return child;
  return nullptr;
}

void TProperty::EndUpdate() {
  if (FUpdateCount <= 0) throw EProgrammingError(u"TProperty.EndUpdate without BeginUpdate");
  --FUpdateCount;
  Notify(1, 0, 0);
}

void TProperty::Changed() { PerformUp(1, reinterpret_cast<intptr_t>(this), 0); }

void TProperty::Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
  if (FUpdateCount > 0) return;
  TNode::Notify(ANotify, AParam1, AParam2);
}

bool TProperty::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  if (AMsg == 1) Notify(1, 0, 0);
  return false;
}

void TProperty::ChildAdding(TNode* AChild, TNode* ABefore) {
  if (!dynamic_cast<TProperty*>(AChild)) throw EProgrammingError(u"Only properties can join a property tree");
  TNode::ChildAdding(AChild, ABefore);
}

void TProperty::Load(TKnot& AParentKnot) {
  if (TKnot* knot = AParentKnot.FindKnot(FName)) LoadFromKnot(*knot);
}

void TProperty::Save(TKnot& AParentKnot) { SaveToKnot(*AParentKnot.FindOrAddKnot(FName)); }

void TProperty::LoadFromKnot(TKnot& AKnot) {
  InUpdate([&] {
    for (TProperty* child = FirstProperty(); child; child = child->NextProperty()) child->Load(AKnot);
  });
}

void TProperty::SaveToKnot(TKnot& AKnot) {
  for (TProperty* child = FirstProperty(); child; child = child->NextProperty()) child->Save(AKnot);
}

void TProperty::CheckSameShape(const TProperty& ATarget, const TProperty& ASource) {
  if (typeid(ATarget) != typeid(ASource))
    throw EProgrammingError(u"Cannot assign the property \"" + ASource.Name() + u"\" to \"" + ATarget.Name() +
                            u"\" of another class");
  const TProperty* target = ATarget.FirstProperty();
  const TProperty* source = ASource.FirstProperty();
  for (; target && source; target = target->NextProperty(), source = source->NextProperty())
    CheckSameShape(*target, *source);
  if (target || source)
    throw EProgrammingError(u"Cannot assign the property \"" + ASource.Name() + u"\" to \"" + ATarget.Name() +
                            u"\" of another shape");
}

void TProperty::Assign(const TProperty& ASource) {
  CheckSameShape(*this, ASource);
  AssignFrom(ASource);
}

void TProperty::AssignFrom(const TProperty& ASource) {
  InUpdate([&] {
    const TProperty* source = ASource.FirstProperty();
    for (TProperty* target = FirstProperty(); target; target = target->NextProperty(), source = source->NextProperty())
      target->AssignFrom(*source);
  });
}

// ---------------------------------------------------------------------------------------------------------------
// TOneValueProperty

void TOneValueProperty::Load(TKnot& AParentKnot) {
  if (Options() & poParentParam) {
    if (AParentKnot.ParamExists(Name())) ReadValue(AParentKnot, Name());
    return;
  }
  TKnot* knot = AParentKnot.FindKnot(Name());
  if (!knot) return;
  ReadValue(*knot, ValueParam);
  LoadFromKnot(*knot);
}

void TOneValueProperty::Save(TKnot& AParentKnot) {
  if (!(Options() & poSaveDefault) && IsDefault()) return;
  if (Options() & poParentParam) {
    WriteValue(AParentKnot, Name());
    return;
  }
  TKnot* knot = AParentKnot.FindOrAddKnot(Name());
  WriteValue(*knot, ValueParam);
  SaveToKnot(*knot);
}

// ---------------------------------------------------------------------------------------------------------------
// Value kinds. Each assigns its value through its setter and then, when it has any, its children.

TBooleanProperty::TBooleanProperty(TProperty* AParent, std::u16string AName, bool ADefault)
    : TOneValueProperty(AParent, std::move(AName)), FValue(ADefault), FDefault(ADefault) {}

void TBooleanProperty::SetValue(bool AValue) {
  if (AValue == FValue) return;
  FValue = AValue;
  Changed();
}

void TBooleanProperty::ReadValue(TKnot& AKnot, std::u16string_view AParamName) {
  FValue = AKnot.ReadBool(AParamName, FDefault);
}

void TBooleanProperty::WriteValue(TKnot& AKnot, std::u16string_view AParamName) { AKnot.WriteBool(AParamName, FValue); }

void TBooleanProperty::AssignFrom(const TProperty& ASource) {
  SetValue(static_cast<const TBooleanProperty&>(ASource).Value());
  if (FirstChild()) TProperty::AssignFrom(ASource);
}

TIntegerProperty::TIntegerProperty(TProperty* AParent, std::u16string AName, int32_t ADefault, int32_t AMin,
                                   int32_t AMax)
    : TOneValueProperty(AParent, std::move(AName)), FValue(ADefault), FDefault(ADefault), FMin(AMin), FMax(AMax) {}

void TIntegerProperty::SetValue(int32_t AValue) {
  if (FMin != FMax) AValue = std::clamp(AValue, std::min(FMin, FMax), std::max(FMin, FMax));
  if (AValue == FValue) return;
  FValue = AValue;
  Changed();
}

void TIntegerProperty::ReadValue(TKnot& AKnot, std::u16string_view AParamName) {
  FValue = AKnot.ReadInteger(AParamName, FDefault, FMin, FMax);
}

void TIntegerProperty::WriteValue(TKnot& AKnot, std::u16string_view AParamName) {
  AKnot.WriteInteger(AParamName, FValue);
}

void TIntegerProperty::AssignFrom(const TProperty& ASource) {
  SetValue(static_cast<const TIntegerProperty&>(ASource).Value());
  if (FirstChild()) TProperty::AssignFrom(ASource);
}

TStringProperty::TStringProperty(TProperty* AParent, std::u16string AName, std::u16string ADefault)
    : TOneValueProperty(AParent, std::move(AName)), FValue(ADefault), FDefault(std::move(ADefault)) {}

std::u16string TStringProperty::Normalize(std::u16string AValue) const {
  if (Options() & poTrimLeft) {
    size_t start = 0;
    while (start < AValue.size() && AValue[start] <= u' ') ++start;
    AValue.erase(0, start);
  }
  if (Options() & poTrimRight)
    while (!AValue.empty() && AValue.back() <= u' ') AValue.pop_back();
  if ((Options() & poPathDelimiter) && (AValue.empty() || (AValue.back() != u'\\' && AValue.back() != u'/')))
    AValue += u'\\';
  return AValue;
}

void TStringProperty::SetValue(std::u16string AValue) {
  AValue = Normalize(std::move(AValue));
  if (AValue == FValue) return;
  FValue = std::move(AValue);
  ++FStores;
  Changed();
}

void TStringProperty::ReadValue(TKnot& AKnot, std::u16string_view AParamName) {
  FValue = Normalize(AKnot.ReadString(AParamName, FDefault));
  ++FStores;
}

void TStringProperty::WriteValue(TKnot& AKnot, std::u16string_view AParamName) {
  AKnot.WriteString(AParamName, FValue);
}

void TStringProperty::AssignFrom(const TProperty& ASource) {
  SetValue(static_cast<const TStringProperty&>(ASource).Value());
  if (FirstChild()) TProperty::AssignFrom(ASource);
}

namespace {

int32_t FirstEmptyName(const std::vector<std::u16string>& ANames, std::u16string_view AProperty) {
  const auto found = std::find_if(ANames.begin(), ANames.end(), [](const std::u16string& s) { return s.empty(); });
  if (found == ANames.end())
    throw EProgrammingError(u"The enumeration \"" + std::u16string(AProperty) +
                            u"\" has no empty name for its default");
  return static_cast<int32_t>(found - ANames.begin());
}

}  // namespace

TEnumProperty::TEnumProperty(TProperty* AParent, std::u16string AName, std::vector<std::u16string> ANames)
    : TOneValueProperty(AParent, std::move(AName)),
      FNames(std::move(ANames)),
      FDefaultIndex(FirstEmptyName(FNames, Name())),
      FValue(FDefaultIndex) {}

void TEnumProperty::SetValue(int32_t AValue) {
  AValue = std::clamp<int32_t>(AValue, 0, static_cast<int32_t>(FNames.size()) - 1);
  if (AValue == FValue) return;
  FValue = AValue;
  Changed();
}

int32_t TEnumProperty::IndexOfName(std::u16string_view AName) const {
  for (size_t i = 0; i < FNames.size(); ++i)
    if (SameTextAscii(FNames[i], AName)) return static_cast<int32_t>(i);
  return -1;
}

void TEnumProperty::ReadValue(TKnot& AKnot, std::u16string_view AParamName) {
  const int32_t index = IndexOfName(AKnot.ReadString(AParamName, u""));
  FValue = index >= 0 ? index : FDefaultIndex;
}

void TEnumProperty::WriteValue(TKnot& AKnot, std::u16string_view AParamName) {
  AKnot.WriteString(AParamName, ValueName());
}

void TEnumProperty::AssignFrom(const TProperty& ASource) {
  SetValue(static_cast<const TEnumProperty&>(ASource).Value());
  if (FirstChild()) TProperty::AssignFrom(ASource);
}
