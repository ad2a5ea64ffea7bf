#include "document/model/diClasses.h"
#include "document/model/diElementPool.h"
#include "document/model/diMessages.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUndoRedo.h"
#include "foundation/cuUtils.h"
#include "tests/document/TestElements.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include "foundation/cuWin32.h"
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// A fresh folder for one test, removed with everything in it afterwards.
class TTempFolder {
 public:
  TTempFolder() {
    static int counter = 0;
    FPath = fs::path(GetTempFolder()) / ("qbdoc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                         "-" + std::to_string(++counter));
    fs::remove_all(FPath);
    fs::create_directories(FPath);
  }
  ~TTempFolder() {
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(FPath, ec)) fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(FPath, ec);
  }
  std::u16string File(const std::string& AName) const { return (FPath / AName).u16string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> r;
    for (auto& e : fs::directory_iterator(FPath)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  }

 private:
  fs::path FPath;
};

std::string ReadBytes(const std::u16string& AFileName) {
  TMemoryStream m;
  m.LoadFromFile(AFileName);
  return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

void WriteBytes(const std::u16string& AFileName, const std::string& ABytes) {
  TFileStream f(AFileName, TFileMode::fmCreate);
  f.WriteBytes(ABytes);
}

std::vector<std::u16string> Texts(const TElementMessages& AList) {
  std::vector<std::u16string> r;
  for (int i = 0; i < AList.GetCount(); ++i) r.push_back(AList.GetItem(i)->GetText());
  return r;
}

struct TDocument {
  TElementMessages Log;
  TScheme Scheme{&TElement_TestRoot::ClassInfo, u"Quillbox"};
  TDocument() { Scheme.SetMessages(&Log); }

  void LoadText(std::u16string_view AText, uint8_t AMode = fmDocument) {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(AText);
    Scheme.LoadElement(Scheme.Root(), AMode, knot.get());
  }
  std::u16string SaveText(uint8_t AMode = fmDocument, TFilerFlags AFlags = {}) {
    TNodePtr<TKnot> knot(new TKnot);
    Scheme.SaveElement(Scheme.Root(), AMode, knot.get(), AFlags);
    return knot->SaveToString();
  }
  TElement_TestNote* AddNote(std::u16string AText) {
    auto* n = TElement::CreateIn<TElement_TestNote>(&Scheme, Scheme.Root());
    n->SetText(std::move(AText));
    return n;
  }
};

std::u16string U(const std::string& AText) { return AsciiToString(AText); }

// Element options, element states and filer flags share values but never mix, and keep their stored bits.
template <class S, class M>
concept Includes = requires(S s, M m) {
  s.Include(m);
};
static_assert(Includes<TElementOptions, TElementOption> && !Includes<TElementOptions, TElementState> &&
              !Includes<TElementOptions, TFilerFlag> && !Includes<TFilerFlags, TElementOption>);
static_assert((eoSkippedOnRequest | eoUnaccepted).Bits() == 0x30 && TFilerFlags(ffSkipOnRequest).Bits() == 0x40 &&
              TElementStates(esCheckQueued).Bits() == 0x20);

// ---------------------------------------------------------------------------------------------------------------

TEST(FormatVersion, ParsesMajorAndMinorWithDefaults) {
  struct Case {
    const char16_t* text;  // nullptr: no attribute
    int version;
  };
  const Case cases[] = {{nullptr, 1000},
                        {u"2", 2000},
                        {u"1.101", 1101},
                        {u"1.2", 1002},
                        {u"x.y", 1000},
                        {u"1.1", 1001},
                        {u"x", 1000},
                        {u".5", 1005},
                        // Numbers of any size in a file never overflow: they saturate, so a huge one stays newer.
                        {u"3000000", INT32_MAX},
                        {u"1.2147483647", INT32_MAX},
                        {u"2147483647.2147483647", INT32_MAX},
                        {u"-3000000", INT32_MIN},
                        {u"-2147483648.-2147483648", INT32_MIN}};
  for (const Case& c : cases) {
    std::u16string text = c.text ? c.text : u"";
    EXPECT_EQ(ParseFormatVersion(c.text ? &text : nullptr), c.version) << (c.text ? "text" : "missing");
  }
}

TEST(SchemeLoad, WarnsOnlyAboutNewerVersions) {
  struct Case {
    const char16_t* root;
    bool warns;
  };
  const Case cases[] = {{u"<Quillbox/>", false},
                        {u"<Quillbox FormatVersion=\"2\"/>", true},
                        {u"<Quillbox FormatVersion=\"1.101\"/>", true},
                        {u"<Quillbox FormatVersion=\"1.2\"/>", false},
                        {u"<Quillbox FormatVersion=\"x.y\"/>", false},
                        {u"<Quillbox FormatVersion=\"3000000\"/>", true}};
  for (const Case& c : cases) {
    TDocument d;
    d.LoadText(c.root);
    const int expected = c.warns ? 1 : 0;
    EXPECT_EQ(d.Log.GetCount(), expected) << std::string(c.root, c.root + std::char_traits<char16_t>::length(c.root));
    if (c.warns) {
      EXPECT_EQ(d.Log.GetItem(0)->GetText(),
                u"The format of the data provided is of a newer version \u2014 perhaps you should update the program "
                u"version");
    }
  }
}

TEST(SchemeLoad, ReportsEachUnreadNodeAndAttributeOnceWithItsPath) {
  TDocument d;
  d.LoadText(
      u"<Quillbox FormatVersion=\"1.1\"><Note Text=\"a\" Colour=\"red\"/><Mystery><Deep/></Mystery>"
      u"<Note Text=\"b\"/></Quillbox>");
  EXPECT_EQ(Texts(d.Log), (std::vector<std::u16string>{u"Node \"Quillbox.Mystery\" was not read",
                                                       u"Attribute \"Quillbox.Note.Colour\" was not read"}));
  EXPECT_EQ(d.Scheme.Root()->FirstChildElement()->GetNodeName(), u"Note");
}

TEST(SchemeLoad, ReportsAtMostTheBoundOfUnreadNodesAndAttributesThenHowManyMore) {
  struct Case {
    int nodes, attributes;
  };
  for (const Case c : {Case{0, MaxUnreadReports}, Case{3, MaxUnreadReports}, Case{MaxUnreadReports + 1, 250}}) {
    std::string text = "<Quillbox><Note Text=\"a\"";
    for (int i = 0; i < c.attributes; ++i) text += " A" + std::to_string(i) + "=\"\"";
    text += "/>";
    for (int i = 0; i < c.nodes; ++i) text += "<Mystery/>";
    TDocument d;
    d.LoadText(U(text + "</Quillbox>"));
    const int total = c.nodes + c.attributes;
    const std::vector<std::u16string> log = Texts(d.Log);
    ASSERT_EQ(log.size(), size_t(std::min(total, MaxUnreadReports) + (total > MaxUnreadReports))) << total;
    EXPECT_EQ(log[0],
              c.nodes ? u"Node \"Quillbox.Mystery\" was not read" : u"Attribute \"Quillbox.Note.A0\" was not read");
    // Nodes come first, then attributes in order; the last one reported is the bound's.
    const int last = MaxUnreadReports - 1;
    EXPECT_EQ(log[last], c.nodes > last
                             ? u"Node \"Quillbox.Mystery\" was not read"
                             : u"Attribute \"Quillbox.Note.A" + IntToStr(last - c.nodes) + u"\" was not read");
    if (total > MaxUnreadReports) {
      EXPECT_EQ(log.back(), u"And " + IntToStr(total - MaxUnreadReports) + u" more nodes and attributes were not read");
    }
  }
}

TEST(SchemeLoad, QuotesPathsThatWouldFormLinks) {
  TDocument d;
  d.LoadText(u"<Quillbox><Note Text=\"a\" [x]=\"1\"/></Quillbox>");
  ASSERT_EQ(d.Log.GetCount(), 1);
  EXPECT_EQ(d.Log.GetItem(0)->GetText(), u"Attribute \"Quillbox.Note.\uFFFDx\uFFFD\" was not read");
}

TEST(SchemeLoad, TruncatedTextGivesCorruptWarningAndKeepsTheReadablePart) {
  TDocument d;
  d.LoadText(u"<Quillbox FormatVersion=\"1.1\"><Note Text=\"first\"/><Note Text=\"second\"/><Note Te");
  ASSERT_GE(d.Log.GetCount(), 1);
  EXPECT_EQ(d.Log.GetItem(0)->GetText(), u"Data provided are corrupt");
  auto* first = static_cast<TElement_TestNote*>(d.Scheme.Root()->FirstChildElement());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Text(), u"first");
  EXPECT_EQ(static_cast<TElement_TestNote*>(first->NextSiblingElement())->Text(), u"second");
}

TEST(SchemeLoad, ATruncatedFileGivesTheCorruptWarningAndTheNotesBeforeTheCut) {
  TTempFolder dir;
  TDocument saved;
  saved.AddNote(u"first");
  saved.AddNote(u"second \u00E9\u4E2D");  // two- and three-byte characters, so a cut can fall inside one
  saved.AddNote(u"third");
  saved.Scheme.SaveToFile(dir.File("doc.qbx"), false);
  const std::string bytes = ReadBytes(dir.File("doc.qbx"));
  struct Case {
    size_t cut;
    int whole;  // notes that must come back complete
  };
  const size_t third = bytes.find("third"), wide = bytes.find("\xE4\xB8\xAD");
  ASSERT_NE(third, std::string::npos);
  ASSERT_NE(wide, std::string::npos);
  const Case cases[] = {{third + 2, 2}, {wide + 1, 1}, {wide + 2, 1}, {bytes.size() - 4, 3}};
  for (const Case& c : cases) {
    WriteBytes(dir.File("doc.qbx"), bytes.substr(0, c.cut));
    TDocument d;
    d.Scheme.LoadFromFile(dir.File("doc.qbx"));
    ASSERT_GE(d.Log.GetCount(), 1) << c.cut;
    EXPECT_EQ(d.Log.GetItem(0)->GetText(), u"Data provided are corrupt") << c.cut;
    const std::u16string texts[] = {u"first", u"second \u00E9\u4E2D", u"third"};
    TElement* e = d.Scheme.Root()->FirstChildElement();
    for (int i = 0; i < c.whole; ++i, e = e->NextSiblingElement()) {
      ASSERT_NE(e, nullptr) << c.cut;
      EXPECT_EQ(static_cast<TElement_TestNote*>(e)->Text(), texts[i]) << c.cut;
    }
  }
}

TEST(SchemeLoad, AFileWithInvalidUtf8IsReportedWithTheOffsetOfTheFirstBadSequence) {
  struct Case {
    std::string note;  // the Text value's bytes
    int bad;           // offset of the first bad byte within them; -1: valid
  };
  const Case cases[] = {{"plain \xC3\xA9 \xF0\x9F\x98\x80", -1},
                        {"a\xFF", 1},
                        {"ab\x80\xFF", 2},               // a lone continuation byte
                        {"\xC0\x80", 0},                 // overlong
                        {"x\xED\xA0\x80", 1},            // a surrogate
                        {"\xF4\x90\x80\x80", 0},         // beyond U+10FFFF
                        {"\xE4\xB8\xAD\xE4\xB8 z", 3}};  // a cut sequence
  TTempFolder dir;
  const std::string head = "\xEF\xBB\xBF<Quillbox><Note Text=\"";
  for (const Case& c : cases) {
    WriteBytes(dir.File("doc.qbx"), head + c.note + "\"/></Quillbox>");
    TDocument d;
    d.Scheme.LoadFromFile(dir.File("doc.qbx"));
    if (c.bad < 0) {
      EXPECT_EQ(d.Log.GetCount(), 0) << c.note;
      continue;
    }
    ASSERT_EQ(d.Log.GetCount(), 1) << c.note;
    EXPECT_EQ(d.Log.GetItem(0)->Kind(), mkWarning);
    EXPECT_EQ(d.Log.GetItem(0)->GetText(), u"Data provided contain invalid UTF-8 (first at byte " +
                                               IntToStr(int64_t(head.size()) + c.bad) +
                                               u"): the characters there read as \"\uFFFD\" and a save keeps them so")
        << c.note;
    auto* note = static_cast<TElement_TestNote*>(d.Scheme.Root()->FirstChildElement());
    ASSERT_NE(note, nullptr);
    EXPECT_NE(note->Text().find(u'\uFFFD'), std::u16string::npos) << c.note;
  }
}

TEST(SchemeLoad, ChecksRequestedDuringALoadRunOnceAfterIt) {
  TDocument d;
  d.LoadText(u"<Quillbox><Required Text=\"x\"/><Required/></Quillbox>");
  auto* filled = static_cast<TElement_TestRequired*>(d.Scheme.Root()->FirstChildElement());
  auto* empty = static_cast<TElement_TestRequired*>(filled->NextSiblingElement());
  EXPECT_EQ(filled->CheckValueCalls, 1);
  EXPECT_FALSE(d.Scheme.IsLoading());
  ASSERT_NE(empty->Messages(), nullptr);
  EXPECT_EQ(empty->Messages()->GetCount(), 1);
  EXPECT_EQ(filled->Messages(), nullptr);
}

TEST(SchemeLoad, ACheckRequestedSeveralTimesDuringNestedLoadsRunsOnceAtTheOutermostEnd) {
  TDocument d;
  TElement_TestNote* n = d.AddNote(u"x");
  n->CheckValueCalls = 0;
  d.Scheme.BeginLoading();
  d.Scheme.BeginLoading();
  n->Check();
  n->UpdateState();
  n->SetText(u"y");
  d.Scheme.EndLoading();
  EXPECT_EQ(n->CheckValueCalls, 0);
  EXPECT_TRUE(n->HasState(esCheckQueued));
  d.Scheme.EndLoading();
  EXPECT_EQ(n->CheckValueCalls, 1);
  EXPECT_FALSE(n->HasState(esCheckQueued));
  n->Check();  // outside a load the check runs at once
  EXPECT_EQ(n->CheckValueCalls, 2);
}

TEST(SchemeLoad, UnreadReportComesAfterTheChecksOfTheLoad) {
  TDocument d;
  std::vector<std::u16string> order;
  struct TSpy {
    std::vector<std::u16string>* order;
    void Added(TElementMessages*, TElementMessage* m) { order->push_back(m->GetText()); }
  } spy{&order};
  d.Log.OnAdded = MakeMethod<&TSpy::Added>(&spy);
  d.LoadText(u"<Quillbox><Required Odd=\"1\"/></Quillbox>");
  auto* r = static_cast<TElement_TestRequired*>(d.Scheme.Root()->FirstChildElement());
  ASSERT_NE(r->Messages(), nullptr);  // the check ran inside the load's finish step
  EXPECT_EQ(order, (std::vector<std::u16string>{u"Attribute \"Quillbox.Required.Odd\" was not read"}));
}

struct TFailingNote : TElement_TestNote {
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TElement_TestNote::TElement_TestNote;
  void LoadFromKnot(TSchemeLoader*, TKnot*) override { throw EConvertError(u"broken"); }
};
const TElementClassInfo TFailingNote::ClassInfo{u"TElement_Failing", &TElement_TestNote::ClassInfo,
                                                &ElementFactory<TFailingNote>};

struct TFailingRoot : TElement_TestRoot {
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TElement_TestRoot::TElement_TestRoot;
  void GetChildClasses(TElementClassList& AList) override {
    TElement_TestRoot::GetChildClasses(AList);
    AList.push_back(&TFailingNote::ClassInfo);
  }
};
const TElementClassInfo TFailingRoot::ClassInfo{u"TElement_FailingRoot", &TElement_TestRoot::ClassInfo,
                                                &ElementFactory<TFailingRoot>};

TEST(SchemeLoad, AChildThatRaisesIsFreedAndTheLoadBracketCloses) {
  TElementMessages log;
  TScheme scheme(&TFailingRoot::ClassInfo, u"Quillbox");
  scheme.SetMessages(&log);
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(u"<Quillbox><Required/><Failing Odd=\"1\"/><Note Text=\"never\"/></Quillbox>");
  EXPECT_THROW(scheme.LoadElement(scheme.Root(), fmDocument, knot.get()), EConvertError);
  EXPECT_FALSE(scheme.IsLoading());
  ASSERT_NE(scheme.Root()->FirstChildElement(), nullptr);
  EXPECT_EQ(scheme.Root()->FirstChildElement()->NextSiblingElement(), nullptr);
  // What was loaded stays, with the check it queued run; the report tells what the failed load left out.
  auto* r = static_cast<TElement_TestRequired*>(scheme.Root()->FirstChildElement());
  EXPECT_FALSE(r->HasState(esCheckQueued));
  ASSERT_NE(r->Messages(), nullptr);
  EXPECT_EQ(r->Messages()->GetCount(), 1);
  EXPECT_EQ(Texts(log), (std::vector<std::u16string>{u"Node \"Quillbox.Note\" was not read",
                                                     u"Attribute \"Quillbox.Failing.Odd\" was not read"}));
  // The next check runs at once.
  r->Check();
  EXPECT_NE(r->Messages(), nullptr);
}

TEST(SchemeLoad, AListThatRaisesOnTheOpeningWarningLeavesNoLoadOpen) {
  struct TRefuser {
    void Adding(TElementMessages*, TElementMessage*, bool&) { throw EConvertError(u"full"); }
  } refuser;
  TDocument d;
  d.Log.OnAdding = MakeMethod<&TRefuser::Adding>(&refuser);
  EXPECT_THROW(d.LoadText(u"<Quillbox FormatVersion=\"2\"/>"), EConvertError);
  EXPECT_FALSE(d.Scheme.IsLoading());
  d.Log.OnAdding = {};
  TElement_TestRequired* r = TElement::CreateIn<TElement_TestRequired>(&d.Scheme, d.Scheme.Root());
  r->Check();  // runs at once, not queued behind a load that never ends
  EXPECT_NE(r->Messages(), nullptr);
}

// ---------------------------------------------------------------------------------------------------------------

TEST(ElementIdentifiers, StrictlyIncreaseAndPassAnIdReadFromARecord) {
  TDocument d;
  const int32_t a = d.AddNote(u"a")->ID();
  const int32_t b = d.AddNote(u"b")->ID();
  EXPECT_GT(a, 0);
  EXPECT_GT(b, a);
  const int32_t restored = b + 1000;
  d.LoadText(U("<Quillbox><Note ID=\"" + std::to_string(restored) + "\" Text=\"r\"/></Quillbox>"), fmRecord);
  TElement* loaded = d.Scheme.Root()->FirstChildElement()->NextSiblingElement()->NextSiblingElement();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->ID(), restored);
  EXPECT_EQ(d.Scheme.FindByID(restored), loaded);
  EXPECT_GT(d.AddNote(u"c")->ID(), restored);
  EXPECT_EQ(d.Scheme.FindByID(0), nullptr);
}

TEST(ElementIdentifiers, AfterARecordHoldingTheLargestOneNewIdentifiersWrapPastThoseInUse) {
  TDocument d;
  std::vector<TElement*> elements{d.Scheme.Root()};
  for (int i = 0; i < 3; ++i) elements.push_back(d.AddNote(u"before"));
  d.LoadText(u"<r ID=\"2147483647\"/>", fmRecord);  // what the document fuzzer reads from \x02<r ID="2147483647"/>
  EXPECT_EQ(d.Scheme.Root()->ID(), INT32_MAX);
  for (int i = 0; i < 3; ++i) elements.push_back(d.AddNote(u"after"));
  std::set<int32_t> ids;
  for (TElement* e : elements) {
    EXPECT_GT(e->ID(), 0);
    EXPECT_TRUE(ids.insert(e->ID()).second) << e->ID();
    EXPECT_EQ(d.Scheme.FindByID(e->ID()), e);
  }
  EXPECT_LT(elements.back()->ID(), INT32_MAX);
}

TEST(ElementIdentifiers, FindByIdFollowsElementsThroughCreationsAndDestructionsInAnyOrder) {
  TDocument d;
  std::vector<TElement_TestNote*> notes;
  for (int i = 0; i < 400; ++i) notes.push_back(d.AddNote(u"n"));
  std::vector<int32_t> gone;
  for (size_t i = 0; i < notes.size(); i += 1 + (i * 7919) % 5) {  // an irregular choice, freed out of order
    gone.push_back(notes[i]->ID());
    notes[i]->Destroy();
    notes[i] = nullptr;
  }
  for (int i = 0; i < 50; ++i) notes.push_back(d.AddNote(u"later"));
  // Identifiers restored from a record, 2^20 apart, all compete for one place in the index.
  std::string record = "<Quillbox>";
  for (int k = 1; k <= 40; ++k) record += "<Note ID=\"" + std::to_string(k * 1048576 + 7) + "\"/>";
  d.LoadText(U(record + "</Quillbox>"), fmRecord);
  for (TElement* e = d.Scheme.Root()->FirstChildElement(); e; e = e->NextSiblingElement())
    if (e->ID() % 1048576 == 7 && std::find(notes.begin(), notes.end(), e) == notes.end())
      notes.push_back(static_cast<TElement_TestNote*>(e));
  for (size_t i = notes.size() - 40; i < notes.size(); i += 1 + i % 3) {
    gone.push_back(notes[i]->ID());
    notes[i]->Destroy();
    notes[i] = nullptr;
  }
  int alive = 1;  // the root
  for (TElement_TestNote* n : notes) {
    if (!n) continue;
    alive += 3;
    EXPECT_EQ(d.Scheme.FindByID(n->ID()), n);
    EXPECT_EQ(d.Scheme.FindByID(n->Caption()->ID()), n->Caption());
    EXPECT_EQ(d.Scheme.FindByID(n->Comment()->ID()), n->Comment());
  }
  for (int32_t id : gone) EXPECT_EQ(d.Scheme.FindByID(id), nullptr) << id;
  EXPECT_EQ(d.Scheme.ElementCount(), alive);
}

TEST(ElementIdentifiers, DocumentLoadsKeepTheNewIdentifier) {
  TDocument d;
  d.LoadText(u"<Quillbox><Note ID=\"3\" Text=\"r\"/></Quillbox>");
  EXPECT_NE(d.Scheme.Root()->FirstChildElement()->ID(), 3);
  EXPECT_EQ(d.Log.GetCount(), 0);  // the stored identifier counts as read
}

TEST(Element, RequiredWithoutValueHasOneLinkedMessageUntilItGetsOne) {
  TDocument d;
  auto* r = TElement::CreateIn<TElement_TestRequired>(&d.Scheme, d.Scheme.Root());
  r->UpdateState();
  ASSERT_NE(r->Messages(), nullptr);
  ASSERT_EQ(r->Messages()->GetCount(), 1);
  const TElementMessage* m = r->Messages()->GetItem(0);
  EXPECT_EQ(m->Kind(), mkValueNeeded);
  EXPECT_EQ(m->GetText(), u"The value must be set");
  ASSERT_EQ(m->Parts().size(), 2u);
  EXPECT_EQ(m->Parts()[1].Target, IntToStr(r->ID()));
  EXPECT_FALSE(r->HasNoProblems());
  r->SetText(u"now");
  EXPECT_EQ(r->Messages(), nullptr);
  EXPECT_TRUE(r->HasNoProblems());
}

TEST(Element, NodeNameDropsTheClassPrefix) {
  static const TElementClassInfo image{u"TElement_Image", nullptr, nullptr};
  static const TElementClassInfo shortName{u"TElement_", nullptr, nullptr};
  EXPECT_EQ(image.NodeName(), u"Image");
  EXPECT_EQ(shortName.NodeName(), u"");
}

TEST(Element, InlinePartsGoIntoTheOwnersKnotExceptInRecords) {
  TDocument d;
  TElement_TestNote* n = d.AddNote(u"body");
  n->Caption()->Text = u"cap";
  EXPECT_EQ(d.SaveText(fmDocument),
            u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"body\" Caption=\"cap\"/>\r\n</Quillbox>\r\n");
  EXPECT_EQ(d.SaveText(fmCopy),
            u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"body\" Caption=\"cap\"/>\r\n</Quillbox>\r\n");
  const std::u16string id = IntToStr(n->ID()), cid = IntToStr(n->Caption()->ID()), mid = IntToStr(n->Comment()->ID()),
                       rid = IntToStr(d.Scheme.Root()->ID());
  EXPECT_EQ(d.SaveText(fmRecord), u"<Quillbox FormatVersion=\"1.1\" ID=\"" + rid +
                                      u"\">\r\n\t<Note Text=\"body\" ID=\"" + id + u"\">\r\n\t\t<Caption ID=\"" + cid +
                                      u"\" Text=\"cap\"/>\r\n\t\t<Comment ID=\"" + mid +
                                      u"\"/>\r\n\t</Note>\r\n</Quillbox>\r\n");
}

TEST(Element, EmptyPartSubKnotsAreDroppedUnlessAValueElementHoldsAValue) {
  TDocument d;
  TElement_TestNote* n = d.AddNote(u"x");
  EXPECT_EQ(d.SaveText(), u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"x\"/>\r\n</Quillbox>\r\n");
  n->Comment()->Text = u"c";
  n->Comment()->UpdateState();
  EXPECT_EQ(d.SaveText(),
            u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"x\">\r\n\t\t<Comment Text=\"c\"/>\r\n\t</Note>\r\n"
            u"</Quillbox>\r\n");
}

TEST(Element, OptionsAndFilerFlagsDecideWhichPartsAreWrittenAndRead) {
  TDocument d;
  TElement_TestNote* n = d.AddNote(u"t");
  TElement_TestComment* c = n->Comment();
  c->Text = u"c";
  c->UpdateState();
  const std::u16string without = u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"t\"/>\r\n</Quillbox>\r\n";
  const std::u16string with =
      u"<Quillbox FormatVersion=\"1.1\">\r\n\t<Note Text=\"t\">\r\n\t\t<Comment Text=\"c\"/>"
      u"\r\n\t</Note>\r\n</Quillbox>\r\n";
  const TElementOptions plain = c->Options();

  // A transient part stays out of documents and copies, in both directions, but travels in records.
  c->SetOptions(plain | eoTransientPart);
  EXPECT_EQ(d.SaveText(fmDocument), without);
  EXPECT_EQ(d.SaveText(fmCopy), without);
  EXPECT_NE(d.SaveText(fmRecord).find(u"Text=\"c\""), std::u16string::npos);
  for (uint8_t mode : {fmDocument, fmCopy, fmRecord}) {
    TDocument e;
    TElement_TestNote* m = e.AddNote(u"");
    m->Comment()->SetOptions(m->Comment()->Options() | eoTransientPart);
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(u"<Note Text=\"t\"><Comment Text=\"c\"/></Note>");
    e.Scheme.LoadElement(m, mode, knot.get());
    EXPECT_EQ(m->Comment()->Text, mode == fmRecord ? u"c" : u"") << int(mode);
  }

  // A part skipped on request is left out only by savers that ask for it.
  c->SetOptions(plain | eoSkippedOnRequest);
  EXPECT_EQ(d.SaveText(fmDocument), with);
  EXPECT_EQ(d.SaveText(fmDocument, ffSkipOnRequest), without);

  // The stores-ID option writes "ID" outside records too.
  c->SetOptions(plain);
  n->SetOptions(n->Options() | eoStoresID);
  EXPECT_NE(d.SaveText(fmDocument).find(u"<Note Text=\"t\" ID=\"" + IntToStr(n->ID()) + u"\">"), std::u16string::npos);

  // A load with the in-process flag marks the element and its parts.
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(u"<Note Text=\"x\" Caption=\"y\"><Comment Text=\"z\"/></Note>");
  TSchemeLoader loader(&d.Scheme, fmCopy, ffInProcessCopy, knot.get(), nullptr);
  n->LoadFromKnot(&loader, knot.get());
  loader.Finish();
  EXPECT_TRUE(n->HasState(esInProcessCopy));
  EXPECT_TRUE(n->Caption()->HasState(esInProcessCopy));
  EXPECT_TRUE(c->HasState(esInProcessCopy));
}

// A root that offers a class refusing to sit directly under a root.
struct TPickyRoot : TElement_TestRoot {
  static const TElementClassInfo ClassInfo;
  static const TElementClassInfo PickyClass;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TElement_TestRoot::TElement_TestRoot;
  void GetChildClasses(TElementClassList& AList) override {
    AList.push_back(&PickyClass);
    AList.push_back(&TElement_TestNote::ClassInfo);
    AList.push_back(&PickyClass);
  }
};
const TElementClassInfo TPickyRoot::ClassInfo{u"TElement_PickyRoot", &TElement_TestRoot::ClassInfo,
                                              &ElementFactory<TPickyRoot>};
const TElementClassInfo TPickyRoot::PickyClass{
    u"TElement_Picky", &TElement::ClassInfo, &ElementFactory<TElement>,
    [](const TElement* AParent) { return AParent->ParentElement() != nullptr; }};

TEST(Element, AllowedChildClassesLeaveOutEveryClassThatRefusesTheParent) {
  TElementMessages log;
  TScheme scheme(&TPickyRoot::ClassInfo, u"Quillbox");
  scheme.SetMessages(&log);
  TElementClassList allowed;
  scheme.Root()->GetAllowedChildClasses(allowed);
  EXPECT_EQ(allowed, (TElementClassList{&TElement_TestNote::ClassInfo}));
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(u"<Quillbox><Picky/><Note Text=\"n\"/></Quillbox>");
  scheme.LoadElement(scheme.Root(), fmDocument, knot.get());
  ASSERT_NE(scheme.Root()->FirstChildElement(), nullptr);
  EXPECT_EQ(scheme.Root()->FirstChildElement()->GetNodeName(), u"Note");
  EXPECT_EQ(scheme.Root()->FirstChildElement()->NextSiblingElement(), nullptr);
  EXPECT_EQ(Texts(log), (std::vector<std::u16string>{u"Node \"Quillbox.Picky\" was not read"}));
}

TEST(Element, PartsRoundTripThroughTheDocumentFormat) {
  TDocument a;
  TElement_TestNote* n = a.AddNote(u"x");
  n->Caption()->Text = u"cap";
  n->Comment()->Text = u"com";
  const std::u16string text = a.SaveText();
  TDocument b;
  b.LoadText(text);
  EXPECT_EQ(b.Log.GetCount(), 0);
  auto* m = static_cast<TElement_TestNote*>(b.Scheme.Root()->FirstChildElement());
  EXPECT_EQ(m->Caption()->Text, u"cap");
  EXPECT_EQ(m->Comment()->Text, u"com");
  EXPECT_EQ(b.SaveText(), text);
}

TEST(Element, DestroyFlagsTheWholeSubtreeBeforeAnyPartIsFreed) {
  struct TWatched : TElement_TestGroup {
    using TElement_TestGroup::TElement_TestGroup;
    std::vector<std::string>* log = nullptr;
    bool HandleMessage(int AMsg, intptr_t A1, intptr_t A2) override {
      if (AMsg == nmDestroying && log) {
        // Every element of the subtree is still whole here: children and parts alike.
        log->push_back("destroying, children " + std::to_string(FirstChildElement() != nullptr) + ", flagged " +
                       std::to_string(FirstChildElement() && FirstChildElement()->IsDestroying()));
      }
      return TElement_TestGroup::HandleMessage(AMsg, A1, A2);
    }
    void HierarchyChanged() override {
      if (log && !IsDestroying()) log->push_back("hierarchy");
    }
  };
  TDocument d;
  std::vector<std::string> log;
  auto* g = new TWatched(&d.Scheme);
  g->MoveTo(d.Scheme.Root(), nullptr);
  TElement_TestNote* child = TElement::CreateIn<TElement_TestRequired>(&d.Scheme, g);
  g->log = &log;
  const int before = d.Scheme.ElementCount();
  g->Destroy();
  EXPECT_EQ(log, (std::vector<std::string>{"destroying, children 1, flagged 0"}));
  EXPECT_EQ(d.Scheme.ElementCount(), before - 4);  // the group, the note and its two parts
  (void)child;
}

// A group that logs the hooks it overrides; made through its class's factory, as a load makes elements.
struct TListeningGroup : TElement_TestGroup {
  using TElement_TestGroup::TElement_TestGroup;
  std::vector<std::string> Heard;
  void HierarchyChanged() override { Heard.push_back("hierarchy"); }
  bool ChildNotification(TElement*, int ACode, intptr_t, intptr_t) override {
    Heard.push_back("child " + std::to_string(ACode));
    return false;
  }
};
const TElementClassInfo ListeningGroupClass{u"TElement_ListeningGroup", &TElement_TestGroup::ClassInfo,
                                            &ElementFactory<TListeningGroup>};

TEST(Element, MessagesReachEveryHookAClassOverridesEvenWhenItsNeighboursHaveNone) {
  TDocument d;
  auto* a = static_cast<TListeningGroup*>(TElement::CreateIn(&ListeningGroupClass, &d.Scheme, d.Scheme.Root(), nullptr));
  auto* b = static_cast<TListeningGroup*>(TElement::CreateIn(&ListeningGroupClass, &d.Scheme, d.Scheme.Root(), nullptr));
  TElement_TestNote* n = TElement::CreateIn<TElement_TestNote>(&d.Scheme, a);
  EXPECT_EQ(a->Heard, (std::vector<std::string>{"hierarchy", "child 2"}));
  a->Heard.clear();
  b->Heard.clear();
  n->SetText(u"x");
  EXPECT_EQ(a->Heard, (std::vector<std::string>{"child 5", "child 6", "child 7"}));
  n->MoveTo(b, nullptr);
  EXPECT_EQ(b->Heard, (std::vector<std::string>{"child 2"}));
  a->MoveTo(b, nullptr);
  EXPECT_EQ(a->Heard, (std::vector<std::string>{"child 5", "child 6", "child 7", "hierarchy", "hierarchy"}));
  EXPECT_EQ(b->Heard, (std::vector<std::string>{"child 2", "child 2"}));
}

// A group that logs the move hooks it overrides, and a note that counts its ParentChanging.
struct TWatchingGroup : TElement_TestGroup {
  using TElement_TestGroup::TElement_TestGroup;
  std::vector<std::string> Heard;
  void ChildAdding(TNode* AChild, TNode* ABefore) override {
    Heard.push_back("adding");
    TElement_TestGroup::ChildAdding(AChild, ABefore);
  }
  void ChildrenChanged() override { Heard.push_back("children"); }
};
struct TMovingNote : TElement_TestNote {
  using TElement_TestNote::TElement_TestNote;
  int Changing = 0;
  void ParentChanging(TNode* ANewParent, TNode* ABefore) override {
    ++Changing;
    TElement_TestNote::ParentChanging(ANewParent, ABefore);
  }
};
const TElementClassInfo WatchingGroupClass{u"TElement_WatchingGroup", &TElement_TestGroup::ClassInfo,
                                           &ElementFactory<TWatchingGroup>};
const TElementClassInfo MovingNoteClass{u"TElement_MovingNote", &TElement_TestNote::ClassInfo,
                                        &ElementFactory<TMovingNote>};

TEST(Element, ANewElementCallsEveryMoveHookItsClassOrItsParentsClassOverrides) {
  TDocument d;
  auto* g = static_cast<TWatchingGroup*>(TElement::CreateIn(&WatchingGroupClass, &d.Scheme, d.Scheme.Root(), nullptr));
  TElement::CreateIn<TElement_TestNote>(&d.Scheme, g);
  EXPECT_EQ(g->Heard, (std::vector<std::string>{"adding", "children"}));
  auto* m = static_cast<TMovingNote*>(TElement::CreateIn(&MovingNoteClass, &d.Scheme, g, nullptr));
  EXPECT_EQ(m->Changing, 1);
  EXPECT_EQ(g->Heard, (std::vector<std::string>{"adding", "children", "adding", "children"}));
  EXPECT_EQ(m->ParentElement(), g);
}

TEST(QuoteMessageValue, CutsLongTextsAndNeutralisesLinks) {
  EXPECT_EQ(QuoteMessageValue(u"a[b]\tc"), u"a\uFFFDb\uFFFD\uFFFDc");
  const std::u16string longText(250, u'x');
  const std::u16string quoted = QuoteMessageValue(longText);
  EXPECT_EQ(quoted.size(), 200u);
  EXPECT_EQ(quoted.substr(197), u"...");
  EXPECT_EQ(QuoteMessageValue(std::u16string(200, u'y')), std::u16string(200, u'y'));
}

// ---------------------------------------------------------------------------------------------------------------

TEST(SchemeSave, EmptyDocumentIsUtf8WithBomAndTheVersionedRoot) {
  TTempFolder dir;
  TDocument d;
  d.Scheme.SaveToFile(dir.File("doc.qbx"), false);
  EXPECT_EQ(ReadBytes(dir.File("doc.qbx")), "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\"/>\r\n");
  EXPECT_EQ(d.Scheme.FileName(), dir.File("doc.qbx"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"doc.qbx"}));
}

TEST(SchemeSave, LeavesAnExistingTemporaryFileAloneAndLeavesNoneOfItsOwn) {
  TTempFolder dir;
  WriteBytes(dir.File("Rplc1.tmp"), "someone else's");
  TDocument d;
  d.AddNote(u"kept");
  d.Scheme.SaveToFile(dir.File("doc.qbx"), true);
  EXPECT_EQ(ReadBytes(dir.File("Rplc1.tmp")), "someone else's");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"Rplc1.tmp", "doc.qbx"}));
  EXPECT_EQ(d.Scheme.FileName(), u"");  // kept name
}

void MakeReadOnly(const std::u16string& AFileName) {
#ifdef _WIN32
  SetFileAttributesW(WStr(AFileName), FILE_ATTRIBUTE_READONLY);
#else
  ::chmod(Utf16ToUtf8(AFileName).c_str(), 0444);
#endif
}

TEST(SchemeSave, ReplacesAReadOnlyDataFile) {
  TTempFolder dir;
  WriteBytes(dir.File("doc.qbx"), "old");
  MakeReadOnly(dir.File("doc.qbx"));
  TDocument d;
  d.AddNote(u"new");
  d.Scheme.SaveToFile(dir.File("doc.qbx"), false);
  TDocument e;
  e.Scheme.LoadFromFile(dir.File("doc.qbx"));
  EXPECT_EQ(e.Log.GetCount(), 0);
  EXPECT_EQ(static_cast<TElement_TestNote*>(e.Scheme.Root()->FirstChildElement())->Text(), u"new");
}

#ifdef _WIN32
TEST(SchemeSave, AFailedSaveOverAReadOnlyDataFileLeavesItReadOnly) {
  TTempFolder dir;
  WriteBytes(dir.File("doc.qbx"), "old");
  MakeReadOnly(dir.File("doc.qbx"));
  TDocument d;
  d.AddNote(u"new");
  {
    TFileStream held(dir.File("doc.qbx"), TFileMode::fmOpenRead);  // shared for reading only: no replacement
    EXPECT_THROW(d.Scheme.SaveToFile(dir.File("doc.qbx"), false), EFCreateError);
  }
  const DWORD attributes = GetFileAttributesW(WStr(dir.File("doc.qbx")));
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadBytes(dir.File("doc.qbx")), "old");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"doc.qbx"}));
}
#endif

TEST(SchemeSave, AFailedReplacementKeepsTheOldTargetRemovesTheTemporaryAndRestoresTheName) {
  TTempFolder dir;
  fs::create_directories(fs::path(dir.File("doc.qbx")) / "inside");  // a folder cannot be replaced by a file
  TDocument d;
  d.Scheme.SetFileName(u"before.qbx");
  EXPECT_THROW(d.Scheme.SaveToFile(dir.File("doc.qbx"), false), EFCreateError);
  try {
    d.Scheme.SaveToFile(dir.File("doc.qbx"), false);
  } catch (const EFCreateError& e) {
    const std::u16string head = u"Cannot save \"" + dir.File("doc.qbx") + u"\". ";
    EXPECT_EQ(e.Message().substr(0, head.size()), head);
    EXPECT_GT(e.Message().size(), head.size());  // the system's reason follows
  }
  EXPECT_EQ(d.Scheme.FileName(), u"before.qbx");
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"doc.qbx"}));
  EXPECT_TRUE(fs::is_directory(fs::path(dir.File("doc.qbx")) / "inside"));
}

// Whichever step fails, the message names the file the user knows, not the temporary one, and says the text is
// not saved.
TEST(SchemeSave, EveryFailedSaveNamesTheDataFileAndSaysTheTextStaysUnsaved) {
  TTempFolder dir;
  fs::create_directories(fs::path(dir.File("taken.qbx")) / "inside");
  const std::u16string tail = u" The text stays in the window, unsaved.";
  // The temporary file cannot be made, or it cannot replace the target.
  for (const std::u16string& target : {dir.File("missing") + u"\\doc.qbx", dir.File("taken.qbx")}) {
    TDocument d;
    d.AddNote(u"new");
    try {
      d.Scheme.SaveToFile(target, false);
      ADD_FAILURE() << "saved";
    } catch (const EFCreateError& e) {
      const std::u16string head = u"Cannot save \"" + target + u"\". ";
      EXPECT_EQ(e.Message().substr(0, head.size()), head);
      EXPECT_GT(e.Message().size(), head.size() + tail.size());  // the system's reason between
      EXPECT_TRUE(e.Message().ends_with(tail));
      EXPECT_EQ(e.Message().find(u"Rplc"), std::u16string::npos);
    }
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"taken.qbx"}));
}

TEST(SchemeSave, NotifiesFileNameChanges) {
  struct TSpy {
    std::vector<intptr_t> codes;
    void Changed(TObject*, intptr_t ACode, intptr_t, intptr_t) { codes.push_back(ACode); }
  } spy;
  TDocument d;
  d.Scheme.AddNotifyEvent(MakeMethod<&TSpy::Changed>(&spy));
  d.Scheme.SetFileName(u"a");
  d.Scheme.SetFileName(u"a");
  d.Scheme.SetReadOnly(true);
  EXPECT_EQ(spy.codes, (std::vector<intptr_t>{scFileNameChanged, scReadOnlyChanged}));
}

// ---------------------------------------------------------------------------------------------------------------

struct TSetTextOperation : TSchemeOperation {
  TSetTextOperation(TScheme* AScheme, int32_t AID, std::u16string AText)
      : TSchemeOperation(AScheme), FID(AID), FText(std::move(AText)) {}
  void DoExecute() override { Swap(); }
  void DoUndo() override { Swap(); }
  void Swap() {
    auto* n = static_cast<TElement_TestNote*>(Scheme()->FindByID(FID));
    std::u16string old = n->Text();
    n->SetText(FText);
    FText = std::move(old);
    if (Scheme()->Messages()) Scheme()->Messages()->Add(mkHint, u"ran");
  }
  int32_t FID;
  std::u16string FText;
};

TEST(SchemeOperation, RunsThroughTheHistoryAndRebuildsTheMessagesWhenLocked) {
  TDocument d;
  TUndoRedo history;
  d.Scheme.SetUndoRedo(&history);
  TElement_TestNote* n = d.AddNote(u"a");
  d.Log.Add(mkWarning, u"stale");
  auto* op = new TSetTextOperation(&d.Scheme, n->ID(), u"b");
  op->SetLockMessages(true);
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(op));
  EXPECT_EQ(n->Text(), u"b");
  EXPECT_EQ(Texts(d.Log), (std::vector<std::u16string>{u"ran"}));
  history.Undo();
  EXPECT_EQ(n->Text(), u"a");
  EXPECT_EQ(d.Log.GetCount(), 1);

  d.Scheme.BeginGroup(false, u"two");
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TSetTextOperation(&d.Scheme, n->ID(), u"c")));
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TSetTextOperation(&d.Scheme, n->ID(), u"d")));
  d.Scheme.EndGroup();
  EXPECT_EQ(history.GetUndoOperation()->GetCaption(), u"two");
  history.Undo();
  EXPECT_EQ(n->Text(), u"a");
}

TEST(SchemeOperation, ALockedGroupRebuildsTheMessagesOnceAroundAllItsOperations) {
  TDocument d;
  TUndoRedo history;
  d.Scheme.SetUndoRedo(&history);
  TElement_TestNote* n = d.AddNote(u"a");
  d.Log.Add(mkWarning, u"stale");
  d.Scheme.BeginGroup(true, u"both");
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TSetTextOperation(&d.Scheme, n->ID(), u"b")));
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TSetTextOperation(&d.Scheme, n->ID(), u"c")));
  d.Scheme.EndGroup();
  EXPECT_EQ(Texts(d.Log), (std::vector<std::u16string>{u"ran", u"ran"}));
  history.Undo();
  EXPECT_EQ(n->Text(), u"a");
  EXPECT_EQ(Texts(d.Log), (std::vector<std::u16string>{u"ran", u"ran"}));
  history.Redo();
  EXPECT_EQ(n->Text(), u"c");
  EXPECT_EQ(d.Log.GetCount(), 2);
  EXPECT_EQ(d.Log.UpdateCount(), 0);
}

TEST(SchemeOperation, WithoutHistoryRunsOnce) {
  TDocument d;
  TElement_TestNote* n = d.AddNote(u"a");
  TSchemeOperation::Perform(TNodePtr<TSchemeOperation>(new TSetTextOperation(&d.Scheme, n->ID(), u"z")));
  EXPECT_EQ(n->Text(), u"z");
  d.Scheme.BeginGroup(true, u"ignored");
  d.Scheme.EndGroup();
}

// Text made between two elements leaves them side by side: moving many elements touches few pages.
TEST(ElementPool, TextStorageLiesApartFromTheElements) {
  TElementPoolRef pool(TElementPool::Create());
  char* first = static_cast<char*>(TElementPool::Allocate(pool.get(), 64));
  char* text = static_cast<char*>(TElementPool::AllocateText(pool.get(), 64));
  char* second = static_cast<char*>(TElementPool::Allocate(pool.get(), 64));
  EXPECT_EQ(second - first, 64 + 8);  // the slot and the next one's header
  EXPECT_FALSE(text > first && text < second);
  for (char* object : {first, text, second}) TElementPool::Free(object);
}

// The text engine's lists: growing past a slot, inserting and erasing in the middle keep the items in order.
TEST(ElementPool, PoolVectorKeepsItsItemsAsAStandardVector) {
  TElementPoolRef pool(TElementPool::Create());
  TPoolVector<int32_t> list;
  std::vector<int32_t> expected;
  for (int32_t i = 0; i < 300; ++i) {  // past the largest slot: the heap takes over
    list.push_back(pool.get(), i);
    expected.push_back(i);
  }
  list.insert(pool.get(), list.begin() + 5, -1);
  expected.insert(expected.begin() + 5, -1);
  list.insert(pool.get(), list.end(), -2);
  expected.insert(expected.end(), -2);
  list.erase(list.begin() + 10, list.begin() + 20);
  expected.erase(expected.begin() + 10, expected.begin() + 20);
  EXPECT_EQ(std::vector<int32_t>(list.begin(), list.end()), expected);
  list.assign(pool.get(), 3, 7);
  list.resize(pool.get(), 5);
  EXPECT_EQ(std::vector<int32_t>(list.begin(), list.end()), (std::vector<int32_t>{7, 7, 7, 0, 0}));
}

}  // namespace
