#include <gtest/gtest.h>

#include <random>

#include "foundation/cuCodeWriters.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "tests/foundation/KnotDump.h"
#include "tests/foundation/KnotReference.h"
#include "tests/foundation/TestFolder.h"

namespace {

std::string Str(const std::u16string& A) { return Utf16ToUtf8(A); }

// ---------------------------------------------------------------------------------------------------------------
// Code writers

TEST(CodeWriter, IndentsFreshLinesOnlyWhileIndentingIsOn) {
  TXmlCodeWriter w;
  w.WriteOpenTag(u"a");
  w.NewLine();
  w.Indent();
  w.WriteEmptyTag(u"b");
  w.Write(u"+");
  w.NewLine();
  w.SetIndenting(false);
  w.WriteEmptyTag(u"c");
  w.SetIndenting(true);
  w.SetNewLines(false);
  w.NewLine();
  w.WriteFmt(u"<%s x=%d/>", {u"d", 5});
  w.WriteIfNotEmpty(u"");
  w.SetNewLines(true);
  w.NewLine();
  w.Outdent();
  w.WriteCloseTag(u"a");
  EXPECT_EQ(Str(w.Text()), "<a>\r\n\t<b/>+\r\n<c/><d x=5/>\r\n</a>\r\n");
  EXPECT_EQ(w.ClassRef(), &TXmlCodeWriter::ClassInfo);
  EXPECT_TRUE(TXmlCodeWriter::ClassInfo.InheritsFrom(&TCodeWriter::ClassInfo));
  std::unique_ptr<TCodeWriter> made(TXmlCodeWriter::ClassInfo.Create());
  EXPECT_NE(dynamic_cast<TXmlCodeWriter*>(made.get()), nullptr);
}

TEST(CodeWriter, EscapesValuesInBothModes) {
  struct TCase {
    const char16_t* Value;
    bool DoubleQuotes;
    const char16_t* Escaped;
    bool NeedsQuotes;
  } cases[] = {
      {u"", false, u"", false},
      {u"RUS", false, u"RUS", false},
      {u"a\"b", false, u"a&quot;b", false},
      {u"<&>", false, u"&lt;&amp;&gt;", false},
      {u"x\ty\x1F", false, u"x&#9;y&#31;", false},
      {u"C:\\My Docs", false, u"C:\\My Docs", true},
      {u"a/b", false, u"a/b", true},
      {u"a\"b", true, u"a\"\"b", true},
      {u"a&lt;", true, u"a&amp;lt;", false},
      {u"a<b", true, u"a<b", false},
      {u"x\ty", true, u"x\ty", true},
      {u"a>b", true, u"a>b", true},
      {u"a b", true, u"a b", true},
  };
  for (const TCase& c : cases) {
    std::u16string out;
    bool quotes = false;
    TCustomXmlCodeWriter::EscapeValue(c.Value, c.DoubleQuotes, out, quotes);
    EXPECT_EQ(out, c.Escaped) << Str(c.Value);
    EXPECT_EQ(quotes, c.NeedsQuotes) << Str(c.Value);
  }
}

TEST(CodeWriter, UnescapesQuotePairsAndEntities) {
  struct TCase {
    const char16_t* Text;
    int Quotes;
    bool Amp;
    const char16_t* Expected;
  } cases[] = {
      {u"a\"\"b", 2, false, u"a\"b"},
      {u"\"\"\"\"", 4, false, u"\"\""},
      {u"\"\"\"\"", 2, false, u"\"\"\""},  // only the pairs counted, from the end
      {u"&lt;&gt;&amp;&quot;", 0, true, u"<>&\""},
      {u"&#65;&#x42;&#$43;&#0x44;&#X45;", 0, true, u"ABCDE"},
      {u"&#65536;&#;&bogus;&;&lt", 0, true, u"&#65536;&#;&bogus;&;&lt"},
      {u"&amp;lt;", 0, true, u"&lt;"},  // a decoded ampersand is not decoded again
      {u"&x&amp;", 0, true, u"&x&"},
      {u"&#0000000000065;", 0, true, u"A"},
  };
  for (const TCase& c : cases) {
    std::u16string out;
    TCustomXmlCodeWriter::UnescapeValue(c.Text, c.Quotes, c.Amp, out);
    EXPECT_EQ(out, c.Expected) << Str(c.Text);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Writing

TEST(KnotWriter, DefaultLayoutIndentsChildrenByTabs) {
  TKnot a(u"a");
  a.WriteString(u"x", u"1");
  a.AddKnot(u"b");
  EXPECT_EQ(Str(a.SaveToString()), "<a x=\"1\">\r\n\t<b/>\r\n</a>\r\n");
  TKnot lone(u"lone");
  EXPECT_EQ(Str(lone.SaveToString()), "<lone/>\r\n");
}

TEST(KnotWriter, SettingsOptionsWriteSafeValuesUnquoted) {
  TKnot root(u"Settings");
  root.SetOptions(TKnotOptions::FromBits(142));
  root.AddKnot(u"Language")->WriteString(u"Value", u"RUS");
  TKnot* data = root.AddKnot(u"Data");
  data->WriteString(u"File", u"C:\\My Docs\\a.qbx");
  data->WriteString(u"File", u"C:\\My Docs\\a.qbx");  // unique names under these options
  data->WriteString(u"Tab", u"a\tb");
  data->WriteString(u"Quote", u"say \"hi\"");
  data->WriteString(u"Empty", u"");
  data->AddParam(u"Flag");
  root.AddKnot(u"Nothing")->AddKnot(u"Deeper");  // empty: left out
  EXPECT_EQ(Str(root.SaveToString()),
            "<Settings>\r\n"
            "\t<Language Value=RUS/>\r\n"
            "\t<Data File=\"C:\\My Docs\\a.qbx\" Tab=\"a\tb\" Quote=\"say \"\"hi\"\"\" Empty= Flag/>\r\n"
            "</Settings>\r\n");
  TKnot back;
  back.LoadFromString(root.SaveToString());
  EXPECT_FALSE(back.HasParseError());
  TKnot* d = back.FindKnot(u"Data");
  EXPECT_EQ(Str(d->ReadString(u"File", u"")), "C:\\My Docs\\a.qbx");
  EXPECT_EQ(Str(d->ReadString(u"Tab", u"")), "a\tb");
  EXPECT_EQ(Str(d->ReadString(u"Quote", u"")), "say \"hi\"");
  EXPECT_FALSE(d->FindParam(u"Empty")->HasValue());
  EXPECT_EQ(Str(d->ReadString(u"Empty", u"x")), "");
}

TEST(KnotWriter, LayoutOptions) {
  auto tree = [](TKnotOptions ARootOptions, TKnotOptions AChildAdded) {
    auto root = std::make_unique<TKnot>(u"r");
    root->SetOptions(ARootOptions);
    TKnot* a = root->AddKnot(u"a");
    a->AddKnot(u"a1");
    TKnot* b = root->AddKnot(u"b");
    b->SetAddedOptions(AChildAdded);
    return Str(root->SaveToString());
  };
  EXPECT_EQ(tree({}, {}), "<r>\r\n\t<a>\r\n\t\t<a1/>\r\n\t</a>\r\n\t<b/>\r\n</r>\r\n");
  EXPECT_EQ(tree(koNoIndent, {}), "<r>\r\n<a>\r\n<a1/>\r\n</a>\r\n<b/>\r\n</r>\r\n");
  EXPECT_EQ(tree(koNoLineBreaks, {}), "<r><a><a1/></a><b/></r>\r\n");
  EXPECT_EQ(tree({}, koJoinPrevious), "<r>\r\n\t<a>\r\n\t\t<a1/>\r\n\t</a><b/>\r\n</r>\r\n");
  EXPECT_EQ(tree({}, koNoLineBreaks), "<r>\r\n\t<a>\r\n\t\t<a1/>\r\n\t</a>\r\n\t<b/></r>\r\n");
}

TEST(KnotWriter, StreamsAreWrittenAsHexadecimalAndFlagTheWrittenKnots) {
  TKnot root(u"r");
  TMemoryStream data;
  data.WriteBuffer("\x00\x9A", 2);
  root.AddKnot(u"c")->WriteStream(u"bin", data);
  EXPECT_EQ(Str(root.SaveToString()), "<r>\r\n\t<c bin=\"009A\"/>\r\n</r>\r\n");
  EXPECT_TRUE(root.FirstKnot()->IsUsed());
  root.SetOptions(koAllowUnquoted);
  EXPECT_EQ(Str(root.SaveToString()), "<r>\r\n\t<c bin=009A/>\r\n</r>\r\n");
}

TEST(KnotWriter, ACodeWriterGetsTheLinesOfTheTextAndNoMore) {
  TKnot a(u"a");
  a.AddKnot(u"b");
  TXmlCodeWriter w;
  a.WriteTo(w);
  EXPECT_EQ(w.LineCount(), 3);
  EXPECT_EQ(Str(w.Text()), Str(a.SaveToString()));
}

// ---------------------------------------------------------------------------------------------------------------
// Reading

TEST(KnotReader, ReadsWhatItCanAndFlagsFailures) {
  struct TCase {
    const char16_t* Text;
    const char* Tree;
    bool Error;
  } cases[] = {
      {u"<a></a>", "a", false},
      {u"<a/>", "a", false},
      {u"  <a / >  \r\n", "a", false},
      {u"<a x></a>", "a(x)", false},
      {u"<a x=></a>", "a(x)", false},
      {u"<a x=\"\"></a>", "a(x=)", false},
      {u"<a x=1 x=2/>", "a(x=1,x=2)", false},
      {u"<a x=\"1 2\" y='3'/>", "a(x=1 2,y='3')", false},
      {u"<a x=a\"b c\"d/>", "a(x=a\"b c\"d)", false},
      {u"<a x=\"&lt;&#9;\"/>", "a(x=<\t)", false},
      {u"<a><b></B></a>", "a[b[[]]]", true},
      {u"<a>text<b/></a>", "a[b]", true},
      {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a/>", "a", false},
      {u"< ?xml?><a/>", "a", false},
      {u"<?xml", "", true},
      {u"<a/>x", "a", true},
      {u"<a></a>x", "a", false},
      {u"<a></a>x<b/>", "a", true},
      {u"<a><b/> junk </a >", "a[b ]", true},  // "</a >" is no end tag: read as a nameless child
      {u"<a><b/></ a> trailing text", "a[b]", false},
      {u"", "", true},
      {u"   ", "", true},
      {u"x<a/>", "", true},
      {u"<a", "a", true},
      {u"<a x=\"1", "a(x=\"1)", true},
      {u"<a><b>", "a[b]", true},
      {u"<>", "", true},
      {u"<a/x>", "a", true},
      {u"<a/<b/>", "a", true},
      {u"<a <b/></a>", "a[b]", true},
      {u"<a><b/><c x=1/></a>", "a[b c(x=1)]", false},
  };
  for (const TCase& c : cases) {
    TKnot k;
    k.LoadFromString(c.Text);
    EXPECT_EQ(DumpKnot(k), c.Tree) << Str(c.Text);
    EXPECT_EQ(k.HasParseError(), c.Error) << Str(c.Text);
  }
}

TEST(KnotReader, Utf8BytesReadLikeTheirDecodedText) {
  const std::string cases[] = {
      "<\xC3\xA9t\xC3\xA9 n\xC3\xA4me=\"\xD0\x96&amp;\xF0\x9F\x98\x80\"><x/></\xC3\xA9t\xC3\xA9>",
      "<a\x80 v=\xFF\xFE/>",                      // bad bytes in names and values
      "<\xE2\x82><b/></\xE2\x82>",                // a truncated sequence ends the name
      "<\xC0><b/></\xC1>",                        // different bad bytes read alike: the end tag matches
      "<a\xF0\x9F\x98\x80><b/></a\xF0\x9F\x98>",  // a cut surrogate pair does not
      "<a/\xCB\x84x/>",                           // the character stepped over after "/" is a whole one
      "<a/\xF0\x9F\x98\x80x/>",
  };
  for (const std::string& bytes : cases) {
    TKnot direct, decoded;
    direct.ParseUtf8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    decoded.LoadFromString(Utf8ToUtf16(bytes));
    EXPECT_EQ(DumpKnot(direct), DumpKnot(decoded)) << bytes;
    EXPECT_EQ(direct.HasParseError(), decoded.HasParseError()) << bytes;
  }
  TKnot k;
  k.ParseUtf8(reinterpret_cast<const uint8_t*>(cases[3].data()), cases[3].size());
  EXPECT_FALSE(k.HasParseError());
}

TEST(KnotReader, ParsingReplacesTheOldContents) {
  TKnot k;
  k.LoadFromString(u"<old x=1><c/></old>");
  k.LoadFromString(u"<new/>");
  EXPECT_EQ(DumpKnot(k), "new");
}

TEST(KnotReader, NestingBeyondTheLimitIsSkippedAndReadingGoesOn) {
  std::u16string text;
  const int depth = MaxKnotDepth + 500;
  for (int i = 0; i < depth; ++i) text += u"<k x=1>";
  for (int i = 0; i < depth; ++i) text += u"</k>";
  text = u"<r>" + text + u"<after/></r>";
  TKnot root;
  root.LoadFromString(text);
  EXPECT_TRUE(root.HasParseError());
  int levels = 0;
  const TKnot* deepest = &root;
  while (deepest->FirstKnot()) {
    deepest = deepest->FirstKnot();
    ++levels;
  }
  EXPECT_EQ(levels, MaxKnotDepth - 1);
  ASSERT_NE(root.LastChild(), nullptr);
  EXPECT_EQ(Str(static_cast<TKnot*>(root.LastChild())->Name()), "after");
}

TEST(KnotReader, AtTheLimitNothingIsLost) {
  std::u16string text;
  for (int i = 0; i < MaxKnotDepth; ++i) text += u"<k>";
  for (int i = 0; i < MaxKnotDepth; ++i) text += u"</k>";
  TKnot root;
  root.LoadFromString(text);
  EXPECT_FALSE(root.HasParseError());
}

// ---------------------------------------------------------------------------------------------------------------
// Round trips

std::u16string RandomText(std::mt19937& ARandom) {
  static const char16_t kAlphabet[] = u"ab \"\"&&;<>/=\t\r\n#x0123456789ltgampquot\u00E9\u0420\u4E2D\x01\x1F'";
  std::u16string s;
  const int n = static_cast<int>(ARandom() % 12);
  for (int i = 0; i < n; ++i) s.push_back(kAlphabet[ARandom() % (std::size(kAlphabet) - 1)]);
  return s;
}

TEST(KnotRoundTrip, RandomValuesSurviveEveryQuotingMode) {
  std::mt19937 random(20240607);
  for (int options : {0, 8, 128, 136, 142}) {
    TKnot root(u"r");
    root.SetOptions(TKnotOptions::FromBits(static_cast<uint16_t>(options)));
    std::vector<std::u16string> values;
    for (int i = 0; i < 2000; ++i) {
      values.push_back(RandomText(random));
      TKnot* c = root.AddKnot(u"c");
      c->WriteString(u"v", values.back());
      c->WriteString(u"w", u"x");
    }
    TKnot back;
    back.LoadFromString(root.SaveToString());
    ASSERT_FALSE(back.HasParseError()) << options;
    size_t i = 0;
    for (TKnot* c = back.FirstKnot(); c; c = c->NextKnot(), ++i) {
      ASSERT_LT(i, values.size());
      EXPECT_EQ(c->ReadString(u"v", u"?"), values[i]) << "options " << options << ": " << Str(values[i]);
      EXPECT_EQ(Str(c->ReadString(u"w", u"?")), "x");
    }
    EXPECT_EQ(i, values.size());
  }
}

TEST(KnotRoundTrip, EncodingsWithTheirByteOrderMarks) {
  TKnot root(u"r");
  root.WriteString(u"t", u"\u00E9\u20AC\u0420\U0001F600");
  struct TCase {
    TKnotEncoding Encoding;
    std::string Mark;
  } cases[] = {{TKnotEncoding::keUtf8, "\xEF\xBB\xBF"},
               {TKnotEncoding::keUtf16LE, "\xFF\xFE"},
               {TKnotEncoding::keUtf16BE, "\xFE\xFF"}};
  for (const TCase& c : cases) {
    TMemoryStream s;
    root.SaveToStream(s, c.Encoding);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), c.Mark.size()), c.Mark);
    s.SetPosition(0);
    TKnot back;
    back.LoadFromStream(s);
    EXPECT_EQ(back.ReadString(u"t", u""), u"\u00E9\u20AC\u0420\U0001F600");
  }
  TKnot ansi(u"r");
  ansi.WriteString(u"t", u"\u00E9\u20AC");
  TMemoryStream s;
  ansi.SaveToStream(s);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
            "<r t=\"\xE9\x80\"/>\r\n");
  s.SetPosition(0);
  TKnot back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.ReadString(u"t", u""), u"\u00E9\u20AC");
}

TEST(KnotReader, AFailureKeepsItsReasonAndOffset) {
  struct TCase {
    const char16_t* Text;
    TKnotParseError Reason;
    size_t Offset;
  } cases[] = {
      {u"<a><b/></a>", TKnotParseError::peNone, 0},
      {u"", TKnotParseError::peEmptyText, 0},
      {u"  x<a/>", TKnotParseError::peNoElement, 2},
      {u"<a x=\"1", TKnotParseError::peUnclosedQuote, 7},
      {u"<a><b></B></a>", TKnotParseError::peMismatchedEnd, 6},
      {u"<a>text<b/></a>", TKnotParseError::peTextInElement, 3},
      {u"<a/x>", TKnotParseError::peBadTagEnd, 2},
      {u"<a/>x", TKnotParseError::peTrailingText, 4},
      {u"<a><b>", TKnotParseError::peUnexpectedEnd, 6},
      {u"<a><=1/></a>", TKnotParseError::peUnnamedElement, 4},
  };
  for (const TCase& c : cases) {
    TKnot k;
    k.LoadFromString(c.Text);
    EXPECT_EQ(k.HasParseError(), c.Reason != TKnotParseError::peNone) << Str(c.Text);
    EXPECT_EQ(k.ParseErrorReason(), c.Reason) << Str(c.Text);
    EXPECT_EQ(k.ParseErrorOffset(), c.Offset) << Str(c.Text);
  }
}

TEST(KnotReader, BadUtf8IsReadAsReplacementCharactersAndCounted) {
  const std::string text =
      "\xEF\xBB\xBF<r a=\"x\xFFy\" \xC0"
      "b=\"\xE2\x82\xAC\"><c d=\xE2\x82/></r>";
  TMemoryStream s;
  s.WriteBuffer(text.data(), text.size());
  s.SetPosition(0);
  TKnot k;
  k.LoadFromStream(s);
  EXPECT_FALSE(k.HasParseError());
  EXPECT_EQ(DumpKnot(k),
            "r(a=x\xEF\xBF\xBDy,\xEF\xBF\xBD"
            "b=\xE2\x82\xAC)[c(d=\xEF\xBF\xBD)]");
  EXPECT_EQ(k.InvalidUtf8Count(), 3u);
  EXPECT_EQ(k.InvalidUtf8Offset(), 7u);  // after the mark
  k.LoadFromString(u"<r a=\"\uFFFD\"/>");
  EXPECT_EQ(k.InvalidUtf8Count(), 0u);
}

TEST(KnotReader, WithoutAMarkValidUtf8WithLongerSequencesIsUtf8AndElseAnsi) {
  struct TCase {
    std::string Bytes;
    std::u16string Value;
  } cases[] = {
      {"<r t=\"\xE2\x82\xAC \xC3\xA9\"/>", u"\u20AC \u00E9"},  // UTF-8
      {"<r t=\"\x80 \xE9\"/>", u"\u20AC \u00E9"},              // not UTF-8: the code page
      {"<r t=\"\xC3\xA9\x80\"/>", u"\u00C3\u00A9\u20AC"},      // one bad byte makes it all ANSI
      {"<r t=\"plain\"/>", u"plain"},
  };
  for (const TCase& c : cases) {
    TMemoryStream s;
    s.WriteBuffer(c.Bytes.data(), c.Bytes.size());
    s.SetPosition(0);
    TKnot k;
    k.LoadFromStream(s);
    EXPECT_EQ(k.ReadString(u"t", u""), c.Value) << c.Bytes;
    EXPECT_EQ(k.InvalidUtf8Count(), 0u) << c.Bytes;
  }
}

TEST(KnotNames, NamesTheReaderCannotReadBackAreRefused) {
  for (const char16_t* bad : {u"", u"a b", u"(x", u"x)", u"a=b", u"a/b", u"a<", u"a>", u"a\"", u"?x", u"a&b", u"a'b",
                              u"tab\there", u"\x01", u"\xD800x"}) {
    TKnot k(u"k");
    EXPECT_THROW(k.SetName(bad), EProgrammingError) << Str(bad);
    EXPECT_THROW(k.AddKnot(bad), EProgrammingError) << Str(bad);
    EXPECT_THROW(k.WriteString(bad, u"1"), EProgrammingError) << Str(bad);
    EXPECT_THROW(TKnot{bad}, EProgrammingError) << Str(bad);
  }
  TKnot k(u"k");
  k.WriteString(u"x", u"1");
  EXPECT_THROW(k.FirstParam()->SetName(u"x y"), EProgrammingError);
  for (const char16_t* good : {u"a", u"Form.Main", u"x-1_2", u"\u00E9t\u00E9", u"\u0416", u"\U0001F600"}) {
    TKnot g(good);
    g.AddKnot(good)->WriteString(good, u"1");
    TKnot back;
    back.LoadFromString(g.SaveToString());
    EXPECT_EQ(back.Name(), good);
    EXPECT_EQ(back.FindKnot(good)->ReadString(good, u""), u"1");
  }
  // The code page must hold a name written in it.
  TKnot outside(u"\u0416");
  TMemoryStream s;
  EXPECT_THROW(outside.SaveToStream(s, TKnotEncoding::keAnsi), EProgrammingError);
}

TEST(KnotRoundTrip, AnsiNeverTurnsALookAlikeIntoMarkup) {
  // Fullwidth quote and "<", ideographic space and a character outside every single-byte code page: best fit would
  // make the first three '"', '<' and ' '.
  const std::u16string lookAlikes = u"\uFF02\uFF1C\u3000\u0416";
  EXPECT_EQ(StringToAnsi(u"\uFF02\uFF1C\u3000"), "???");
  TKnot root(u"r");
  root.WriteString(u"t", lookAlikes + u"\u00E9");
  TMemoryStream s;
  root.SaveToStream(s, TKnotEncoding::keAnsi);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size())),
            "<r t=\"&#65282;&#65308;&#12288;&#1046;\xE9\"/>\r\n");
  s.SetPosition(0);
  TKnot back;
  back.LoadFromStream(s);
  EXPECT_FALSE(back.HasParseError());
  EXPECT_EQ(back.ReadString(u"t", u""), lookAlikes + u"\u00E9");
}

// The plain reference that the fuzz target holds the reader and writer to, here on the format's edge cases in every
// encoding a file may come in, so that the host and Windows builds compare them too.
TEST(KnotRoundTrip, ReadingAndWritingAgreeWithThePlainReference) {
  const std::string_view texts[] = {
      "<a></a>",
      "<a x x= y=\"\" z=1 z=2/>",
      "<a x=a\"b c\"d/>",
      "<a x=\"&lt;&#9;&#X41;&#0x42;&#xD83D;&#xDE00;&#xD800;&bad;&\"/>",
      "<a><b></B></a>",
      "<a>text<b/></a>",
      "<?xml version=\"1.0\"?>\r\n<a/>",
      "<a/>x",
      "<a></a>x",
      "<a /\xF0\x9F\x98\x80>",
      "<a x=\"caf\xC3\xA9 \xE2\x80\x94\"><b y=\"\xFF\xFE\"/></a>",
      "\xEF\xBB\xBF<a x=\"\xC3(\" \xE0\x80=1/>",
      std::string_view("\xFF\xFE<\0a\0 \0x\0=\0\x3D\xD8/\0>\0", 18),
      "<a><b/><c x=\"tab\there/\" y=\"\\x\"/><d/></a>",
  };
  for (const std::string_view text : texts) {
    SCOPED_TRACE(text);
    TMemoryStream input;
    input.WriteBuffer(text.data(), text.size());
    input.SetPosition(0);
    TKnot knot;
    knot.LoadFromStream(input);
    TPlainKnot plain;
    EXPECT_EQ(knot.HasParseError(), !LoadPlainKnot(text, plain));
    EXPECT_TRUE(PlainKnotOf(knot) == plain);
    for (const uint16_t options : {0, 142, 16 | 32 | 4}) {
      knot.SetOptions(TKnotOptions::FromBits(options));
      plain = PlainKnotOf(knot);
      for (const TKnotEncoding encoding : {TKnotEncoding::keUtf8, TKnotEncoding::keAnsi}) {
        std::string expected;
        TMemoryStream written;
        // A name outside the ANSI code page is refused.
        if (!SavePlainKnot(plain, encoding, expected)) {
          EXPECT_THROW(knot.SaveToStream(written, encoding), EProgrammingError);
          continue;
        }
        knot.SaveToStream(written, encoding);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(written.Memory()), static_cast<size_t>(written.Size())),
                  expected);
      }
    }
  }
}

TEST(KnotRoundTrip, StreamReadingStartsAtThePositionAndDropsAnOddUtf16Byte) {
  TMemoryStream s;
  s.WriteBuffer("skip", 4);
  const std::string body = std::string("\xFF\xFE") + StringToUtf16LE(u"<a/>") + "X";
  s.WriteBuffer(body.data(), body.size());
  s.SetPosition(4);
  TKnot k;
  k.LoadFromStream(s);
  EXPECT_EQ(DumpKnot(k), "a");
  EXPECT_FALSE(k.HasParseError());
}

// ---------------------------------------------------------------------------------------------------------------
// Files

// A stream that fails once it has given some bytes, standing in for a failing disk or source.
class TFailingStream : public TMemoryStream {
 public:
  size_t Read(void*, size_t) override { throw EStreamError(u"Stream read error"); }
};

TEST(KnotFiles, SaveReplacesTheFileAndAFailedSaveKeepsTheOldOne) {
  TTestFolder dir;
  const std::u16string name = dir.Path(u"doc.qbx");
  TKnot doc(u"doc");
  doc.WriteString(u"v", u"1");
  doc.SaveToFile(name, TKnotEncoding::keUtf8);
  doc.WriteString(u"v", u"2");
  doc.SaveToFile(name, TKnotEncoding::keUtf8);
  TKnot back;
  back.LoadFromFile(name);
  EXPECT_EQ(DumpKnot(back), "doc(v=1,v=2)");

  TFailingStream failing;
  failing.WriteBuffer("x", 1);
  doc.WriteStreamRef(u"bad", &failing);
  EXPECT_THROW(doc.SaveToFile(name, TKnotEncoding::keUtf8), EStreamError);
  back.LoadFromFile(name);
  EXPECT_EQ(DumpKnot(back), "doc(v=1,v=2)");
  EXPECT_FALSE(FileExists(dir.Path(u"Rplc1.tmp")));
  EXPECT_FALSE(FileExists(dir.Path(u"Rplc2.tmp")));
}

TEST(KnotFiles, LoadingAMissingFileRaisesFileNotFound) {
  TTestFolder dir;
  const std::u16string name = dir.Path(u"none.qbx");
  TKnot k;
  try {
    k.LoadFromFile(name);
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Message(), u"File not found: " + name);
  }
}

}  // namespace
