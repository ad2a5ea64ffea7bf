#include <gtest/gtest.h>

#include "foundation/cuKnot.h"
#include "tests/foundation/KnotDump.h"

namespace {

std::string Str(const std::u16string& A) { return Utf16ToUtf8(A); }

TEST(Knot, FindsChildrenByExactName) {
  TKnot root(u"r");
  TKnot* a = root.AddKnot(u"a");
  EXPECT_FALSE(a->IsUsed());
  EXPECT_EQ(root.FindKnot(u"A"), nullptr);
  EXPECT_EQ(root.FindKnot(u"a"), a);
  EXPECT_TRUE(a->IsUsed());
  TKnot* a2 = root.AddKnot(u"a");
  root.AddKnot(u"b");
  EXPECT_EQ(a->FindNext(u"a"), a2);
  EXPECT_EQ(a2->FindNext(u"a"), nullptr);
  TKnot* c = root.FindOrAddKnot(u"c");
  EXPECT_EQ(c, root.LastChild());
  EXPECT_TRUE(root.FindKnot(u"c")->IsUsed());
}

TEST(Knot, PathsCreateAndResolve) {
  TKnot root(u"Settings");
  TKnot* c = root.FindKnotByPath(u"Forms.Main.Grid", true);
  EXPECT_EQ(Str(c->GetPath()), "Settings.Forms.Main.Grid");
  EXPECT_EQ(root.FindKnotByPath(u"Forms.Main.Grid", false), c);
  EXPECT_EQ(root.FindKnotByPath(u"Forms.Other", false), nullptr);
  TKnot* forms = root.FindKnot(u"Forms");
  forms->SetAddedOptions(koOrderedChildren);
  forms->AddKnot(u"Second");
  TKnot* third = forms->AddKnot(u"Main");
  EXPECT_EQ(Str(third->GetPath()), "Settings.Forms.Main[3]");
  third->WriteString(u"x", u"1");
  EXPECT_EQ(Str(third->FirstParam()->GetPath()), "Settings.Forms.Main[3].x");
}

TEST(Knot, RepeatedParameterNamesFollowTheUniqueOption) {
  TKnot plain(u"k");
  plain.WriteString(u"x", u"1");
  plain.WriteString(u"x", u"2");
  EXPECT_EQ(DumpKnot(plain), "k(x=1,x=2)");
  TKnot unique(u"k");
  unique.SetOptions(koUniqueParams);
  unique.WriteString(u"x", u"1");
  unique.WriteString(u"x", u"2");
  EXPECT_EQ(DumpKnot(unique), "k(x=2)");
}

TEST(Knot, TypedReads) {
  TKnot k(u"k");
  struct TCase {
    const char16_t* Text;
    int Min, Max, Expected;
  } cases[] = {
      {u"12", 0, 0, 12},  {u"-5", 0, 0, -5},   {u"+5", 0, 0, 5},   {u"12x", 0, 0, 99},
      {u"$10", 0, 0, 99}, {u"0x10", 0, 0, 99}, {u" 1", 0, 0, 99},  {u"", 0, 0, 99},
      {u"7", 0, 10, 7},   {u"11", 0, 10, 99},  {u"-1", 0, 10, 99}, {u"99999999999", 0, 0, 99},
  };
  for (const TCase& c : cases) {
    k.Clear();
    k.WriteString(u"n", c.Text);
    EXPECT_EQ(k.ReadInteger(u"n", 99, c.Min, c.Max), c.Expected) << Str(c.Text);
  }
  EXPECT_EQ(k.ReadInteger(u"missing", 3, 0, 0), 3);
  k.Clear();
  k.WriteBool(u"t", true);
  k.WriteBool(u"f", false);
  k.WriteString(u"y", u"yes");
  EXPECT_TRUE(k.ReadBool(u"t", false));
  EXPECT_FALSE(k.ReadBool(u"f", true));
  EXPECT_TRUE(k.ReadBool(u"y", true));
  EXPECT_FALSE(k.ReadBool(u"y", false));
  EXPECT_EQ(Str(k.ReadString(u"y", u"d")), "yes");
  EXPECT_EQ(Str(k.ReadString(u"none", u"d")), "d");
  k.AddParam(u"empty");
  EXPECT_EQ(Str(k.ReadString(u"empty", u"d")), "");
  k.WriteInteger(u"big", -1234567890123);
  EXPECT_EQ(Str(k.ReadString(u"big", u"")), "-1234567890123");
}

TEST(Knot, StreamsAsHexadecimalText) {
  TKnot k(u"k");
  TMemoryStream data;
  data.WriteBuffer("\x01\xAB\xFF", 3);
  k.WriteStream(u"owned", data);
  k.WriteStreamRef(u"ref", &data);
  EXPECT_EQ(Str(k.ReadString(u"owned", u"")), "01ABFF");
  data.WriteBuffer("\x02", 1);
  EXPECT_EQ(Str(k.ReadString(u"ref", u"")), "01ABFF02");
  EXPECT_EQ(Str(k.ReadString(u"owned", u"")), "01ABFF");

  TMemoryStream out;
  out.WriteBuffer("keep", 4);
  EXPECT_TRUE(k.ReadStream(u"missing", out));
  EXPECT_EQ(out.Size(), 4);
  k.WriteString(u"odd", u"ABC");
  EXPECT_FALSE(k.ReadStream(u"odd", out));
  EXPECT_EQ(out.Size(), 4);
  k.WriteString(u"lower", u"0aff");
  EXPECT_TRUE(k.ReadStream(u"lower", out));
  EXPECT_EQ(out.Size(), 2);
  EXPECT_EQ(out.Position(), 0);
  EXPECT_EQ(out.Memory()[1], 0xFF);
  k.WriteString(u"bad", u"0AZZ");
  EXPECT_FALSE(k.ReadStream(u"bad", out));
  EXPECT_EQ(out.Size(), 0);
  TMemoryStream copy;
  EXPECT_TRUE(k.ReadStream(u"owned", copy));
  EXPECT_EQ(copy.Size(), 3);
}

TEST(Knot, CollectUnreadReportsTheFirstUnreadLevelOnly) {
  TKnot root;
  root.LoadFromString(u"<r a=1 b=2><c><d/></c><e f=1/></r>");
  root.ParamExists(u"a");
  std::vector<TKnot*> knots;
  std::vector<TKnotParam*> params;
  EXPECT_TRUE(root.CollectUnread(&knots, &params, false));
  ASSERT_EQ(knots.size(), 2u);
  EXPECT_EQ(Str(knots[0]->GetPath()), "r.c");
  EXPECT_EQ(Str(knots[1]->GetPath()), "r.e");
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(Str(params[0]->GetPath()), "r.b");

  knots.clear();
  params.clear();
  root.FindKnot(u"e")->ReadInteger(u"f", 0, 0, 0);
  EXPECT_TRUE(root.CollectUnread(&knots, nullptr, false));
  ASSERT_EQ(knots.size(), 1u);
  EXPECT_EQ(Str(knots[0]->Name()), "c");

  root.SetUsedDeep(true);
  EXPECT_FALSE(root.CollectUnread(&knots, &params, true));
  root.SetUsedDeep(false);
  knots.clear();
  EXPECT_TRUE(root.CollectUnread(&knots, nullptr, true));
  EXPECT_EQ(knots, std::vector<TKnot*>{&root});
}

// A read tree whose every knot and parameter was read answers without a walk: whatever came into it or was
// flagged unread since must still be found.
TEST(Knot, CollectUnreadFindsWhatChangedAfterATreeWasReadWhole) {
  struct TCase {
    const char* What;
    void (*Change)(TKnot& ARoot, TKnot& AOther);
    std::vector<std::string> Unread;  // paths, knots first
  };
  const TCase cases[] = {
      {"nothing", [](TKnot&, TKnot&) {}, {}},
      {"added knot", [](TKnot& r, TKnot&) { r.FirstKnot()->AddKnot(u"n"); }, {"r.c.n"}},
      {"added parameter", [](TKnot& r, TKnot&) { r.FirstKnot()->WriteString(u"w", u"1"); }, {"r.c.w"}},
      {"moved in", [](TKnot& r, TKnot& o) { o.FirstKnot()->SetParent(r.FirstKnot()); }, {"r.c.x"}},
      {"knot unflagged", [](TKnot& r, TKnot&) { r.FirstKnot()->SetUsed(false); }, {"r.c"}},
      {"parameter unflagged", [](TKnot& r, TKnot&) { r.FirstKnot()->FirstParam()->SetUsed(false); }, {"r.c.b"}},
      {"unflagged and flagged again",
       [](TKnot& r, TKnot&) {
         r.FirstKnot()->SetUsed(false);
         r.FirstKnot()->SetUsed(true);
       },
       {}},
      {"cleared", [](TKnot& r, TKnot&) { r.FirstKnot()->Clear(); }, {"r."}},
      {"read again",
       [](TKnot& r, TKnot&) {
         r.LoadFromString(u"<r a=1/>");
         r.SetUsed(true);
       },
       {"r.a"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TKnot root;
    root.LoadFromString(u"<r a=1><c b=2><d/></c></r>");
    TKnot other;
    other.LoadFromString(u"<o><x/></o>");
    root.SetUsedDeep(true);
    c.Change(root, other);
    std::vector<TKnot*> knots;
    std::vector<TKnotParam*> params;
    EXPECT_EQ(root.CollectUnread(&knots, &params, true), !c.Unread.empty());
    std::vector<std::string> paths;
    for (TKnot* k : knots) paths.push_back(Str(k->GetPath()));
    for (TKnotParam* p : params) paths.push_back(Str(p->GetPath()));
    EXPECT_EQ(paths, c.Unread);
  }
}

TEST(Knot, OptionsFlowDownIncludingIntoMovedSubtrees) {
  TKnot root(u"r");
  root.SetOptions(TKnotOptions::FromBits(142));
  TKnot* a = root.AddKnot(u"a");
  EXPECT_EQ(a->InheritedOptions().Bits(), 142);
  TKnot* b = a->AddKnot(u"b");
  root.SetOptions(koDoubleQuotes);
  EXPECT_EQ(b->InheritedOptions(), koDoubleQuotes);
  a->SetAddedOptions(koNoIndent);
  EXPECT_EQ(a->Options(), koDoubleQuotes | koNoIndent);
  EXPECT_EQ(b->Options(), koDoubleQuotes);
  a->SetRemovedOptions(koDoubleQuotes);
  EXPECT_EQ(a->Options(), koNoIndent);

  TKnot other(u"o");
  other.SetOptions(koAllowUnquoted);
  a->SetParent(&other);
  EXPECT_EQ(a->InheritedOptions(), koAllowUnquoted);
  EXPECT_EQ(b->InheritedOptions(), koAllowUnquoted);
}

TEST(Knot, EmptinessFollowsTheOrderedOption) {
  TKnot root(u"r");
  TKnot* a = root.AddKnot(u"a");
  a->AddKnot(u"b")->AddKnot(u"c");
  EXPECT_TRUE(root.IsEmpty());
  a->SetAddedOptions(koOrderedChildren);
  EXPECT_FALSE(root.IsEmpty());
  a->SetAddedOptions({});
  a->FirstKnot()->FirstKnot()->AddParam(u"p");
  EXPECT_FALSE(root.IsEmpty());
}

TEST(Knot, AssignCopiesDeeplyAndReplacesEverything) {
  TKnot src;
  src.LoadFromString(u"<s a=1 b><c x=2><d/></c><e/></s>");
  src.SetAddedOptions(koNoIndent);
  TMemoryStream data;
  data.WriteBuffer("\x10", 1);
  src.WriteStream(u"owned", data);
  src.WriteStreamRef(u"ref", &data);
  TKnot dst;
  dst.LoadFromString(u"<old p=1><q/></old>");
  dst.Assign(src);
  EXPECT_EQ(DumpKnot(dst), "s(a=1,b,owned,ref)[c(x=2)[d] e]");
  EXPECT_EQ(dst.AddedOptions(), koNoIndent);
  EXPECT_NE(dst.FindParam(u"owned")->Stream(), src.FindParam(u"owned")->Stream());
  EXPECT_EQ(dst.FindParam(u"ref")->Stream(), &data);
  EXPECT_TRUE(src.FindKnot(u"c")->FirstKnot()->IsUsed());  // reading the source flags it
  EXPECT_FALSE(dst.FirstKnot()->IsUsed());
}

TEST(Knot, AssignFromItselfOrFromInsideOrAroundItIsSafe) {
  TKnot root;
  root.LoadFromString(u"<r a=1><c x=2><d/></c></r>");
  root.Assign(root);
  EXPECT_EQ(DumpKnot(root), "r(a=1)[c(x=2)[d]]");
  root.Assign(*root.FindKnot(u"c"));
  EXPECT_EQ(DumpKnot(root), "c(x=2)[d]");
  TKnot* d = root.FindKnot(u"d");
  d->Assign(root);
  EXPECT_EQ(DumpKnot(root), "c(x=2)[c(x=2)[d]]");
}

TEST(Knot, ClearEmptiesEverythingButTheInheritedOptions) {
  TKnot k;
  k.SetOptions(koUniqueParams);
  k.LoadFromString(u"<a x=1><b/>");
  EXPECT_TRUE(k.HasParseError());
  k.SetUsed(true);
  k.SetAddedOptions(TKnotOptions::FromBits(1));
  k.Clear();
  EXPECT_EQ(DumpKnot(k), "");
  EXPECT_FALSE(k.HasParseError());
  EXPECT_FALSE(k.IsUsed());
  EXPECT_EQ(k.Options(), koUniqueParams);
}

TEST(Knot, OnlyKnotsJoinAKnot) {
  TKnot k;
  TNodePtr<TNode> plain(new TNode);
  EXPECT_THROW(plain->SetParent(&k), EProgrammingError);
  EXPECT_EQ(k.FirstChild(), nullptr);
}

TEST(Knot, DeepTreesAreCopiedCollectedWrittenAndFreedWithoutRecursion) {
  auto* root = new TKnot(u"r");
  root->SetOptions(koNoIndent);
  TKnot* tip = root;
  constexpr int kDepth = 200000;
  for (int i = 0; i < kDepth; ++i) tip = tip->AddKnot(u"k");
  tip->WriteString(u"v", u"1");
  std::vector<TKnot*> unread;
  EXPECT_TRUE(root->CollectUnread(&unread, nullptr, false));
  EXPECT_EQ(unread.size(), 1u);
  TKnot copy;
  copy.Assign(*root);
  EXPECT_FALSE(copy.IsEmpty());
  const std::u16string text = root->SaveToString();
  // "<r>", each "<k>" and "</k>", the leaf "<k v="1"/>", "</r>", every line with CR LF.
  EXPECT_EQ(text.size(), 5 + size_t(kDepth - 1) * (5 + 6) + 12 + 6);
  root->SetOptions(koNoIndent | koSkipEmptyChildren);
  EXPECT_EQ(root->SaveToString().size(), text.size());
  tip->FirstParam()->SetName(u"w");
  tip->SetParent(nullptr);
  tip->Free();
  EXPECT_EQ(Str(root->SaveToString()), "<r>\r\n</r>\r\n");
  root->SetUsedDeep(true);
  root->Free();
}

// A form stand-in that records what the knot does to it.
struct TFakeForm : IFormPlacement {
  TFormBorderStyle Border = TFormBorderStyle::bsSizeable;
  bool MaximizeIcon = true;
  TFormWindowState State = TFormWindowState::wsNormal;
  TPlacementRect Restored{100, 50, 400, 300};
  TPlacementRect Screen{-1280, 0, 3200, 1200};
  bool Maximized = false, Designed = false;
  TPlacementRect Bounds{};

  TFormBorderStyle BorderStyle() const override { return Border; }
  bool HasMaximizeIcon() const override { return MaximizeIcon; }
  TFormWindowState WindowState() const override { return State; }
  TPlacementRect RestoredBounds() const override { return Restored; }
  TPlacementRect VirtualScreen() const override { return Screen; }
  void Maximize() override { Maximized = true; }
  void SetDesignedPosition() override { Designed = true; }
  void SetBounds(const TPlacementRect& ABounds) override { Bounds = ABounds; }
};

TEST(FormPlacement, WritesTheRestoredRectangleOrJustMaximized) {
  TFakeForm form;
  TKnot k(u"MainForm");
  k.WriteFormPlacement(form);
  EXPECT_EQ(DumpKnot(k), "MainForm(Maximized=0,Left=100,Top=50,Width=400,Height=300)");
  form.State = TFormWindowState::wsMinimized;
  k.Clear();
  k.WriteFormPlacement(form);
  EXPECT_EQ(DumpKnot(k), "(Maximized=0,Left=100,Top=50,Width=400,Height=300)");
  form.State = TFormWindowState::wsMaximized;
  k.Clear();
  k.WriteFormPlacement(form);
  EXPECT_EQ(DumpKnot(k), "(Maximized=1)");
  form.Border = TFormBorderStyle::bsDialog;
  k.Clear();
  k.WriteFormPlacement(form);
  EXPECT_EQ(DumpKnot(k), "(Left=100,Top=50)");
}

TEST(FormPlacement, ReadsWithinTheVirtualScreen) {
  struct TCase {
    const char16_t* Text;
    TPlacementRect Expected;
  } cases[] = {
      // Left may be negative on a virtual screen that starts left of the primary monitor.
      {u"<f Left=-1000 Top=10 Width=500 Height=200/>", {-1000, 10, 500, 200}},
      // Out of range: the current position stays.
      {u"<f Left=5000 Top=-5 Width=500 Height=200/>", {100, 50, 500, 200}},
      // As wide as the virtual screen: the only valid Left is its origin, and it is still checked.
      {u"<f Left=-1280 Top=0 Width=3200 Height=1200/>", {-1280, 0, 3200, 1200}},
      {u"<f Left=0 Top=0 Width=3200 Height=1200/>", {100, 0, 3200, 1200}},
      // Absurd sizes are clamped.
      {u"<f Left=0 Top=0 Width=-7 Height=99999/>", {0, 0, MinFormExtent, 1200}},
  };
  for (const TCase& c : cases) {
    TFakeForm form;
    TKnot k;
    k.LoadFromString(c.Text);
    k.ReadFormPlacement(form);
    EXPECT_TRUE(form.Designed);
    EXPECT_EQ(form.Bounds, c.Expected) << Str(c.Text);
  }
}

TEST(FormPlacement, MaximizedOrMissingPositionReadsNothingElse) {
  TFakeForm form;
  TKnot k;
  k.LoadFromString(u"<f Maximized=1 Left=1/>");
  k.ReadFormPlacement(form);
  EXPECT_TRUE(form.Maximized);
  EXPECT_FALSE(form.Designed);
  TFakeForm other;
  k.LoadFromString(u"<f Top=1/>");
  k.ReadFormPlacement(other);
  EXPECT_FALSE(other.Designed);
  EXPECT_EQ(other.Bounds, TPlacementRect{});
  TFakeForm dialog;
  dialog.Border = TFormBorderStyle::bsDialog;
  k.LoadFromString(u"<f Maximized=1 Left=10 Top=20 Width=1 Height=1/>");
  k.ReadFormPlacement(dialog);
  EXPECT_FALSE(dialog.Maximized);
  EXPECT_EQ(dialog.Bounds, (TPlacementRect{10, 20, 400, 300}));
}

}  // namespace
