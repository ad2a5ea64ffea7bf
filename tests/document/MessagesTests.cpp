#include "document/model/diMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parts {
  std::vector<uint8_t> kinds;
  std::vector<std::u16string> texts;
  std::vector<std::u16string> targets;
};

Parts PartsOf(const TElementMessage& m) {
  Parts p;
  for (const TElementMessagePart& part : m.Parts()) {
    p.kinds.push_back(part.PartKind);
    p.texts.push_back(part.Text);
    p.targets.push_back(part.Target);
  }
  return p;
}

TEST(ElementMessages, AddLinkedSplitsAtTheFirstBracketPair) {
  struct Case {
    std::u16string text;
    std::vector<uint8_t> kinds;
    std::vector<std::u16string> texts;
  };
  const Case cases[] = {
      {u"Plain text", {mpElementLink}, {u"Plain text"}},
      {u"The value must be [set]", {mpText, mpElementLink}, {u"The value must be ", u"set"}},
      {u"[Unsupported] element \"X\" in this editor",
       {mpElementLink, mpText},
       {u"Unsupported", u" element \"X\" in this editor"}},
      {u"a [b] c [d] e", {mpText, mpElementLink, mpText}, {u"a ", u"b", u" c [d] e"}},
      {u"no close [here", {mpElementLink}, {u"no close [here"}},
      {u"[]", {mpElementLink}, {u""}},
  };
  for (const Case& c : cases) {
    TElementMessages list;
    TElementMessage* m = list.AddLinked(mkValueNeeded, c.text, u"17");
    ASSERT_NE(m, nullptr);
    Parts p = PartsOf(*m);
    EXPECT_EQ(p.kinds, c.kinds) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(p.texts, c.texts);
    for (size_t i = 0; i < p.kinds.size(); ++i) EXPECT_EQ(p.targets[i], p.kinds[i] == mpElementLink ? u"17" : u"");
  }
}

struct Recorder {
  std::vector<std::string> events;
  bool accept = true;
  void Clear(TElementMessages*) { events.push_back("clear"); }
  void Added(TElementMessages*, TElementMessage* m) { events.push_back("added " + std::to_string(m->Kind())); }
  void Adding(TElementMessages*, TElementMessage*, bool& a) {
    events.push_back("adding");
    a = accept;
  }
  void Part(TElementMessages*, TElementMessage*, TElementMessagePart*, std::u16string& text, std::u16string& target) {
    events.push_back("part");
    if (!target.empty()) target = u"#" + target;
    text += u"!";
  }
  void Attach(TElementMessages& l) {
    l.OnClear = MakeMethod<&Recorder::Clear>(this);
    l.OnAdded = MakeMethod<&Recorder::Added>(this);
    l.OnAdding = MakeMethod<&Recorder::Adding>(this);
    l.OnPart = MakeMethod<&Recorder::Part>(this);
  }
};

TEST(ElementMessages, PartEventMayRewriteTextAndTarget) {
  Recorder r;  // outlives the list, whose destruction fires OnClear
  TElementMessages list;
  r.Attach(list);
  TElementMessage* m = list.AddLinked(mkWarning, u"go [there]", u"5");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->GetText(), u"go !there!");
  EXPECT_EQ(m->Parts()[1].Target, u"#5");
  EXPECT_EQ(r.events, (std::vector<std::string>{"part", "part", "adding", "added 2"}));
}

TEST(ElementMessages, RefusedMessageLeavesListUnchangedAndFiresNoAdded) {
  Recorder r;  // outlives the list, whose destruction fires OnClear
  TElementMessages list;
  r.Attach(list);
  r.accept = false;
  EXPECT_EQ(list.Add(mkHint, u"x"), nullptr);
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(r.events, (std::vector<std::string>{"part", "adding"}));
  list.Clear();  // never filled: no event
  EXPECT_EQ(r.events.size(), 2u);
}

TEST(ElementMessages, UpdateBracketClearsOnlyAtTheOutermostLevel) {
  Recorder r;  // outlives the list, whose destruction fires OnClear
  TElementMessages list;
  r.Attach(list);
  list.Add(mkHint, u"a");
  r.events.clear();
  list.BeginUpdate();
  EXPECT_EQ(list.GetCount(), 0);
  list.Add(mkHint, u"b");
  list.BeginUpdate();
  EXPECT_EQ(list.GetCount(), 1);
  list.EndUpdate();
  list.EndUpdate();
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(r.events, (std::vector<std::string>{"clear", "part", "adding", "added 1"}));
}

TEST(ElementMessages, SeverityFollowsTheWorstKind) {
  struct Case {
    std::vector<uint8_t> kinds;
    int severity;
  };
  const Case cases[] = {
      {{}, 0},
      {{mkInformation}, 0},
      {{mkHint}, 1},
      {{mkHint, mkValueNeeded}, 2},
      {{mkElementError}, 2},
      {{mkWarning, mkError, mkHint}, 3},
  };
  for (const Case& c : cases) {
    TElementMessages list;
    for (uint8_t k : c.kinds) list.Add(k, u"m");
    EXPECT_EQ(list.GetSeverity(), c.severity);
    EXPECT_EQ(list.HasProblems(), c.severity >= 2);
  }
}

TEST(ElementMessages, DestroyingAFilledListFiresClear) {
  Recorder r;
  {
    TElementMessages list;
    r.Attach(list);
    list.Add(mkHint, u"a");
  }
  EXPECT_EQ(r.events.back(), "clear");
}

}  // namespace
