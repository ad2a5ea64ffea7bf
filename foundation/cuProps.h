// Settings as trees of named properties: inner nodes group, leaves hold one typed value with a default. A tree
// saves itself into knots (values equal to their defaults are not written) and loads itself back.
#pragma once

#include "foundation/cuKnot.h"
#include "foundation/cuNode.h"
#include "foundation/cuSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Options bits.
enum : uint8_t {
  poSaveDefault = 1,    // save the value even when it equals the default
  poParentParam = 2,    // a parameter named Name on the parent's knot instead of a child knot of its own
  poPathDelimiter = 4,  // (string) the value always ends in a path delimiter
  poTrimLeft = 8,       // (string) leading blanks are trimmed
  poTrimRight = 16,     // (string) trailing blanks are trimmed
};

// Handlers hear code 1 (Sender = the node) when a value in the subtree changed, and once at the end of an
// update bracket or a load.
class TProperty : public TNode {
 public:
  // Attached as the last child of AParent (nil: a root, owned by its creator).
  TProperty(TProperty* AParent, std::u16string AName);

  const std::u16string& Name() const { return FName; }
  uint8_t Options() const { return FOptions; }
  void SetOptions(uint8_t AValue) { FOptions = AValue; }

  TProperty* ParentProperty() const { return static_cast<TProperty*>(Parent()); }
  TProperty* FirstProperty() const { return static_cast<TProperty*>(FirstChild()); }
  TProperty* NextProperty() const { return static_cast<TProperty*>(NextSibling()); }
  // The child named AName; nil when none.
  TProperty* FindProperty(std::u16string_view AName) const;

  // While the counter is above 0 this node's handlers are silent; EndUpdate then sends code 1 (also when nothing
  // changed).
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // Code 1 on this node and every ancestor.
  void Changed();

  virtual void Load(TKnot& AParentKnot);
  virtual void Save(TKnot& AParentKnot);
  virtual void LoadFromKnot(TKnot& AKnot);
  virtual void SaveToKnot(TKnot& AKnot);
  // Copies the values of a tree of the same shape, node by node through the setters. Raises EProgrammingError,
  // before anything changes, when a paired node is of another class or has another number of children.
  void Assign(const TProperty& ASource);

  void Notify(intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) override;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  // Only properties join a property tree.
  void ChildAdding(TNode* AChild, TNode* ABefore) override;

 protected:
  // The copy itself once the shapes are known to match.
  virtual void AssignFrom(const TProperty& ASource);
  // Runs AWork inside an update bracket; an exception leaves the bracket without the notification.
  template <class F>
  void InUpdate(F&& AWork) {
    BeginUpdate();
    try {
      AWork();
    } catch (...) {
      --FUpdateCount;
      throw;
    }
    EndUpdate();
  }

 private:
  static void CheckSameShape(const TProperty& ATarget, const TProperty& ASource);

  std::u16string FName;
  uint8_t FOptions = 0;
  int FUpdateCount = 0;
};

// The base of the value kinds: saved as the parameter "Value" of its own knot, or as a parameter of the parent's
// knot with poParentParam. A knot that exists but lacks the value, or holds an invalid one, gives the default;
// a missing knot keeps the current value.
class TOneValueProperty : public TProperty {
 public:
  using TProperty::TProperty;

  virtual bool IsDefault() const { return false; }
  // Stores straight from the knot, without Changed.
  virtual void ReadValue(TKnot& AKnot, std::u16string_view AParamName) {}
  virtual void WriteValue(TKnot& AKnot, std::u16string_view AParamName) {}

  void Load(TKnot& AParentKnot) override;
  void Save(TKnot& AParentKnot) override;
};

class TBooleanProperty : public TOneValueProperty {
 public:
  TBooleanProperty(TProperty* AParent, std::u16string AName, bool ADefault);

  bool Value() const { return FValue; }
  bool Default() const { return FDefault; }
  void SetValue(bool AValue);

  bool IsDefault() const override { return FValue == FDefault; }
  void ReadValue(TKnot& AKnot, std::u16string_view AParamName) override;
  void WriteValue(TKnot& AKnot, std::u16string_view AParamName) override;

 protected:
  void AssignFrom(const TProperty& ASource) override;

 private:
  bool FValue;
  bool FDefault;
};

// Min = Max means unbounded.
class TIntegerProperty : public TOneValueProperty {
 public:
  TIntegerProperty(TProperty* AParent, std::u16string AName, int32_t ADefault, int32_t AMin, int32_t AMax);

  int32_t Value() const { return FValue; }
  int32_t Default() const { return FDefault; }
  int32_t Min() const { return FMin; }
  int32_t Max() const { return FMax; }
  // Clamped to [Min, Max].
  void SetValue(int32_t AValue);

  bool IsDefault() const override { return FValue == FDefault; }
  void ReadValue(TKnot& AKnot, std::u16string_view AParamName) override;
  void WriteValue(TKnot& AKnot, std::u16string_view AParamName) override;

 protected:
  void AssignFrom(const TProperty& ASource) override;

 private:
  int32_t FValue;
  int32_t FDefault;
  int32_t FMin;
  int32_t FMax;
};

class TStringProperty : public TOneValueProperty {
 public:
  // The default is taken as it is, not normalised.
  TStringProperty(TProperty* AParent, std::u16string AName, std::u16string ADefault);

  const std::u16string& Value() const { return FValue; }
  const std::u16string& Default() const { return FDefault; }
  // How many times a value was stored, loads included: a reader that keeps what it made of the value tells a
  // change without comparing texts.
  uint32_t Stores() const { return FStores; }
  // Normalised first: leading blanks trimmed (poTrimLeft), trailing blanks trimmed (poTrimRight), then a path
  // delimiter appended when missing (poPathDelimiter).
  void SetValue(std::u16string AValue);
  std::u16string Normalize(std::u16string AValue) const;

  bool IsDefault() const override { return FValue == FDefault; }
  void ReadValue(TKnot& AKnot, std::u16string_view AParamName) override;
  void WriteValue(TKnot& AKnot, std::u16string_view AParamName) override;

 protected:
  void AssignFrom(const TProperty& ASource) override;

 private:
  std::u16string FValue;
  std::u16string FDefault;
  uint32_t FStores = 0;
};

// An index into a list of names; stored as the name, matched back ignoring case. The default is the index of
// the first empty name, which every list must have (EProgrammingError otherwise).
class TEnumProperty : public TOneValueProperty {
 public:
  TEnumProperty(TProperty* AParent, std::u16string AName, std::vector<std::u16string> ANames);

  int32_t Value() const { return FValue; }
  int32_t DefaultIndex() const { return FDefaultIndex; }
  const std::vector<std::u16string>& Names() const { return FNames; }
  const std::u16string& ValueName() const { return FNames[static_cast<size_t>(FValue)]; }
  // Clamped to 0 .. the last index.
  void SetValue(int32_t AValue);
  // The index of the first name equal to AName ignoring case; -1 when none.
  int32_t IndexOfName(std::u16string_view AName) const;

  bool IsDefault() const override { return ValueName().empty(); }
  void ReadValue(TKnot& AKnot, std::u16string_view AParamName) override;
  void WriteValue(TKnot& AKnot, std::u16string_view AParamName) override;

 protected:
  void AssignFrom(const TProperty& ASource) override;

 private:
  std::vector<std::u16string> FNames;
  int32_t FDefaultIndex;
  int32_t FValue;
};
