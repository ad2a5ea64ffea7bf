#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/cuProps.h"

namespace {

// Counts code-1 notifications per sender.
class TChanges {
 public:
  void Watch(TProperty& AProperty) { AProperty.AddNotifyEvent(MakeMethod<&TChanges::Handle>(this)); }
  std::vector<TObject*> Senders;

 private:
  void Handle(TObject* ASender, intptr_t ANotify, intptr_t AParam1, intptr_t AParam2) {
    EXPECT_EQ(ANotify, 1);
    EXPECT_EQ(AParam1, 0);
    EXPECT_EQ(AParam2, 0);
    Senders.push_back(ASender);
  }
};

const std::vector<std::u16string> SizeNames{u"Small", u"", u"Large"};

// Settings { General { Flag, Count, Title, Size } }
struct TSettings {
  TNodePtr<TProperty> Root{new TProperty(nullptr, u"Settings")};
  TProperty* General = new TProperty(Root.get(), u"General");
  TBooleanProperty* Flag = new TBooleanProperty(General, u"Flag", true);
  TIntegerProperty* Count = new TIntegerProperty(General, u"Count", 5, 1, 20);
  TStringProperty* Title = new TStringProperty(General, u"Title", u"Notes");
  TEnumProperty* Size = new TEnumProperty(General, u"Size", SizeNames);
};

TKnot* ValueKnot(TKnot& AParent, std::u16string_view APath) { return AParent.FindKnotByPath(APath, false); }

TEST(Props, DefaultsAreNotWrittenAndChangedValuesAre) {
  TSettings s;
  TKnot root(u"Root");
  s.Root->Save(root);
  ASSERT_NE(ValueKnot(root, u"Settings.General"), nullptr);
  EXPECT_EQ(ValueKnot(root, u"Settings.General")->FirstKnot(), nullptr);

  s.Flag->SetValue(false);
  s.Count->SetValue(7);
  s.Title->SetValue(u"Diary");
  s.Size->SetValue(2);
  TKnot saved(u"Root");
  s.Root->Save(saved);
  EXPECT_EQ(ValueKnot(saved, u"Settings.General.Flag")->ReadString(u"Value", u"?"), u"0");
  EXPECT_EQ(ValueKnot(saved, u"Settings.General.Count")->ReadString(u"Value", u"?"), u"7");
  EXPECT_EQ(ValueKnot(saved, u"Settings.General.Title")->ReadString(u"Value", u"?"), u"Diary");
  EXPECT_EQ(ValueKnot(saved, u"Settings.General.Size")->ReadString(u"Value", u"?"), u"Large");
}

TEST(Props, SaveDefaultWritesADefaultAndParentParamWritesOnTheParentsKnot) {
  TNodePtr<TProperty> root(new TProperty(nullptr, u"S"));
  auto* always = new TBooleanProperty(root.get(), u"Always", true);
  always->SetOptions(poSaveDefault);
  auto* inline_ = new TIntegerProperty(root.get(), u"Width", 10, 0, 0);
  inline_->SetOptions(poParentParam);
  TKnot knot(u"Root");
  root->Save(knot);
  EXPECT_EQ(ValueKnot(knot, u"S.Always")->ReadString(u"Value", u"?"), u"1");
  EXPECT_FALSE(ValueKnot(knot, u"S")->ParamExists(u"Width"));
  inline_->SetValue(-3);
  root->Save(knot);
  EXPECT_EQ(ValueKnot(knot, u"S")->ReadString(u"Width", u"?"), u"-3");
  EXPECT_EQ(ValueKnot(knot, u"S.Width"), nullptr);

  inline_->SetValue(99);
  root->Load(knot);
  EXPECT_EQ(inline_->Value(), -3);
}

struct TClampCase {
  int32_t Min, Max, Set, Expected;
};

TEST(Props, IntegerValuesAreClampedToTheirRangeUnlessMinEqualsMax) {
  const TClampCase cases[] = {{1, 20, 0, 1}, {1, 20, 25, 20}, {1, 20, 13, 13}, {0, 0, -500, -500}, {7, 7, 1000, 1000}};
  for (const TClampCase& c : cases) {
    TIntegerProperty p(nullptr, u"P", c.Min == c.Max ? 0 : c.Min, c.Min, c.Max);
    p.SetValue(c.Set);
    EXPECT_EQ(p.Value(), c.Expected) << c.Min << ".." << c.Max << " set " << c.Set;
  }
}

TEST(Props, EnumerationIndexIsClampedToItsNames) {
  TEnumProperty p(nullptr, u"P", SizeNames);
  EXPECT_EQ(p.Value(), 1);
  EXPECT_TRUE(p.IsDefault());
  p.SetValue(-4);
  EXPECT_EQ(p.Value(), 0);
  p.SetValue(17);
  EXPECT_EQ(p.Value(), 2);
  EXPECT_FALSE(p.IsDefault());
}

struct TLoadCase {
  const char16_t* Stored;  // nil: the knot exists without "Value"
  int32_t Count;
  int32_t Size;
  bool Flag;
};

TEST(Props, LoadedTextGivesTheValueOrTheDefaultWhenMissingOrInvalid) {
  const TLoadCase cases[] = {
      {u"12", 12, 1, true},  {u"0", 5, 1, false},    {u"21", 5, 1, true},
      {u"12x", 5, 1, true},  {u"large", 5, 2, true}, {u"SMALL", 5, 0, true},
      {u"huge", 5, 1, true}, {nullptr, 5, 1, true},  {u"1", 1, 1, true},
  };
  for (const TLoadCase& c : cases) {
    TSettings s;
    s.Count->SetValue(9);
    s.Size->SetValue(0);
    s.Flag->SetValue(false);
    TKnot root(u"Root");
    TKnot* general = root.FindKnotByPath(u"Settings.General", true);
    for (const char16_t* name : {u"Count", u"Size", u"Flag"}) {
      TKnot* k = general->AddKnot(name);
      if (c.Stored) k->WriteString(u"Value", c.Stored);
    }
    s.Root->Load(root);
    const std::u16string stored = c.Stored ? c.Stored : u"(none)";
    SCOPED_TRACE(std::string(stored.begin(), stored.end()));
    EXPECT_EQ(s.Count->Value(), c.Count);
    EXPECT_EQ(s.Size->Value(), c.Size);
    EXPECT_EQ(s.Flag->Value(), c.Flag);
  }
}

TEST(Props, AMissingKnotKeepsTheCurrentValue) {
  TSettings s;
  s.Count->SetValue(9);
  s.Title->SetValue(u"Kept");
  TKnot root(u"Root");
  root.FindKnotByPath(u"Settings.General", true);
  s.Root->Load(root);
  EXPECT_EQ(s.Count->Value(), 9);
  EXPECT_EQ(s.Title->Value(), u"Kept");
  TKnot empty(u"Root");
  s.Root->Load(empty);
  EXPECT_EQ(s.Count->Value(), 9);
}

TEST(Props, SaveThenLoadRoundTripsEveryKind) {
  TSettings a;
  a.Flag->SetValue(false);
  a.Count->SetValue(20);
  a.Title->SetValue(u"A \"quoted\" title");
  a.Size->SetValue(0);
  TKnot knot(u"Root");
  a.Root->Save(knot);
  TSettings b;
  b.Root->Load(knot);
  EXPECT_EQ(b.Flag->Value(), false);
  EXPECT_EQ(b.Count->Value(), 20);
  EXPECT_EQ(b.Title->Value(), u"A \"quoted\" title");
  EXPECT_EQ(b.Size->Value(), 0);
}

TEST(Props, SettingTheCurrentValueCallsNoHandlerAndAChangeReachesEveryAncestor) {
  TSettings s;
  TChanges leaf, general, root;
  leaf.Watch(*s.Count);
  general.Watch(*s.General);
  root.Watch(*s.Root);
  s.Count->SetValue(5);
  s.Count->SetValue(25);  // clamped to 20: a change
  s.Count->SetValue(30);  // clamped to 20 again: none
  EXPECT_EQ(leaf.Senders, (std::vector<TObject*>{s.Count}));
  EXPECT_EQ(general.Senders, (std::vector<TObject*>{s.General}));
  EXPECT_EQ(root.Senders, (std::vector<TObject*>{s.Root.get()}));
}

TEST(Props, AnUpdateBracketSilencesTheNodeAndEndsWithOneNotification) {
  TSettings s;
  TChanges root;
  root.Watch(*s.Root);
  s.Root->BeginUpdate();
  s.Flag->SetValue(false);
  s.Count->SetValue(3);
  EXPECT_TRUE(root.Senders.empty());
  s.Root->EndUpdate();
  EXPECT_EQ(root.Senders.size(), 1u);
  s.Root->BeginUpdate();
  s.Root->EndUpdate();
  EXPECT_EQ(root.Senders.size(), 2u) << "sent even when nothing changed";
  EXPECT_THROW(s.Root->EndUpdate(), EProgrammingError);
}

// A settings node whose loading fails, as a derived node reading a bad external resource might.
class TFailingProperty : public TProperty {
 public:
  using TProperty::TProperty;
  void Load(TKnot&) override { throw EStreamError(u"cannot load"); }
};

TEST(Props, ALoadThatRaisesLeavesNoUpdateBracketOpen) {
  TSettings s;
  new TFailingProperty(s.General, u"Broken");
  TChanges general;
  general.Watch(*s.General);
  TKnot file;
  file.AddKnot(u"Settings")->AddKnot(u"General");
  EXPECT_THROW(s.Root->Load(file), EStreamError);
  EXPECT_EQ(s.Root->UpdateCount(), 0);
  EXPECT_EQ(s.General->UpdateCount(), 0);
  EXPECT_TRUE(general.Senders.empty()) << "a failed load is not reported as a change";
  s.Flag->SetValue(false);
  EXPECT_EQ(general.Senders.size(), 1u) << "the node is audible again";
}

TEST(Props, LoadingNotifiesEachLoadedNodeOnce) {
  TSettings s;
  TChanges root, general;
  root.Watch(*s.Root);
  general.Watch(*s.General);
  TKnot knot(u"Root");
  knot.FindKnotByPath(u"Settings.General.Count", true)->WriteString(u"Value", u"8");
  knot.FindKnotByPath(u"Settings.General.Title", true)->WriteString(u"Value", u"x");
  s.Root->Load(knot);
  EXPECT_EQ(root.Senders.size(), 1u);
  EXPECT_EQ(general.Senders.size(), 1u);
}

struct TNormalizeCase {
  uint8_t Options;
  const char16_t* Set;
  const char16_t* Expected;
};

TEST(Props, StringsAreTrimmedThenGivenAPathDelimiter) {
  const TNormalizeCase cases[] = {
      {0, u"  a b  ", u"  a b  "},
      {poTrimLeft, u" \t a b  ", u"a b  "},
      {poTrimRight, u"  a b \t ", u"  a b"},
      {poTrimLeft | poTrimRight, u"  a  ", u"a"},
      {poPathDelimiter, u"C:\\Notes", u"C:\\Notes\\"},
      {poPathDelimiter, u"C:\\Notes\\", u"C:\\Notes\\"},
      {poPathDelimiter, u"", u"\\"},
      {poPathDelimiter | poTrimRight, u"C:\\Notes  ", u"C:\\Notes\\"},
  };
  for (const TNormalizeCase& c : cases) {
    TStringProperty p(nullptr, u"P", u"");
    p.SetOptions(c.Options);
    p.SetValue(c.Set);
    EXPECT_EQ(p.Value(), c.Expected);
  }
  TStringProperty p(nullptr, u"P", u" raw ");
  p.SetOptions(poTrimLeft | poTrimRight);
  EXPECT_EQ(p.Value(), u" raw ") << "the default is taken as it is";
}

TEST(Props, AnEnumerationWithoutAnEmptyNameIsAProgrammingError) {
  TNodePtr<TProperty> root(new TProperty(nullptr, u"S"));
  EXPECT_THROW(new TEnumProperty(root.get(), u"Size", {u"Small", u"Large"}), EProgrammingError);
  EXPECT_EQ(root->FirstChild(), nullptr);
}

TEST(Props, AssignCopiesATreeOfTheSameShapeWithOneNotificationAtTheRoot) {
  TSettings a, b;
  a.Flag->SetValue(false);
  a.Count->SetValue(11);
  a.Title->SetValue(u"T");
  a.Size->SetValue(2);
  TChanges root;
  root.Watch(*b.Root);
  b.Root->Assign(*a.Root);
  EXPECT_EQ(b.Flag->Value(), false);
  EXPECT_EQ(b.Count->Value(), 11);
  EXPECT_EQ(b.Title->Value(), u"T");
  EXPECT_EQ(b.Size->Value(), 2);
  EXPECT_EQ(root.Senders.size(), 1u);
}

TEST(Props, AssignBetweenNodesOfAnotherClassOrShapeChangesNothing) {
  TSettings a, b;
  a.Count->SetValue(11);
  // Same number of nodes, but a Boolean where the other tree has an integer.
  TNodePtr<TProperty> other(new TProperty(nullptr, u"Settings"));
  TProperty* general = new TProperty(other.get(), u"General");
  new TBooleanProperty(general, u"Flag", false);
  new TBooleanProperty(general, u"Count", false);
  new TStringProperty(general, u"Title", u"");
  new TEnumProperty(general, u"Size", SizeNames);
  EXPECT_THROW(b.Root->Assign(*other), EProgrammingError);
  EXPECT_EQ(b.Flag->Value(), true) << "nothing is copied before the mismatch is found";

  new TBooleanProperty(a.General, u"Extra", false);
  EXPECT_THROW(b.Root->Assign(*a.Root), EProgrammingError);
  EXPECT_EQ(b.Count->Value(), 5);
}

TEST(Props, OnlyPropertiesJoinAPropertyTree) {
  TProperty root(nullptr, u"S");
  TNodePtr<TNode> stranger(new TNode);
  EXPECT_THROW(stranger->SetParent(&root), EProgrammingError);
  EXPECT_EQ(root.FirstChild(), nullptr);
}

}  // namespace
