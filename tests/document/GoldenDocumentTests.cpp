// The golden document: every kind of the element layer in one rich text, as the plain document's root holds them.
// Its saved text is fixed here byte for byte, and loading it and saving again gives the same bytes.
#include "document/elements/diCommonElements.h"
#include "document/elements/diCustomElements.h"
#include "document/elements/diDataElement.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/elements/plElements.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/text/diTextor.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuKnot.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/document/TestVisualElements.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

namespace {

class GoldenDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializePalette();
    InitializeTextorElement();
    InitializeSchemeImages();
    InitializeClassesGroups();
    InitializeDisableItem(ClassesLargeImagesIndex + 1);
    InitializeTitled();
    InitializeCommonElements();
    InitializeTableElement();
    InitializeDataElement();
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    FinalizeDataElement();
    FinalizeTableElement();
    FinalizeCommonElements();
    FinalizeTitled();
    FinalizeDisableItem();
    FinalizeClassesGroups();
    FinalizeSchemeImages();
    FinalizeTextorElement();
    FinalizePalette();
  }

  TTextorElement* AddRichText() {
    auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
    text->SetTextorOptions(xoRich);
    text->SetTextOptions(AnyTextOptions);
    text->SetVisualParent(Host->Root);
    return text;
  }
  // A new element at the end of AText.
  template <class T>
  T* Embed(TTextorElement* AText) {
    return Host->EmbedAtEnd<T>(AText);
  }
  static TTextorElement* AsText(TVisualElement* AElement) { return static_cast<TTextorElement*>(AElement); }
  // AText saves exactly AGolden, and that text loads into a new element with nothing unread and saves back the same.
  void ExpectGoldenRoundTrip(TTextorElement* AText, const std::u16string& AGolden) {
    const std::u16string saved = Save(AText);
    EXPECT_EQ(saved, AGolden);
    TElementMessages log;
    Host->Scheme.SetMessages(&log);
    TTextorElement* loaded = AddRichText();
    TKnot knot;
    knot.LoadFromString(saved);
    Host->Scheme.LoadElement(loaded, fmDocument, &knot);
    EXPECT_EQ(log.GetCount(), 0);
    EXPECT_EQ(Save(loaded), saved);
    Host->Scheme.SetMessages(nullptr);
  }
  // A logic frame with its caption, content and description at the end of AText.
  TElement_LogicFrame* AddFrame(TTextorElement* AText, const char16_t* ACaption, const char16_t* AContent,
                                const char16_t* ADescription) {
    auto* frame = Embed<TElement_LogicFrame>(AText);
    frame->Caption()->SetText(ACaption);
    AsText(frame->Content())->SetText(AContent);
    AsText(frame->Description())->SetText(ADescription);
    return frame;
  }
  static std::u16string Save(TElement* AElement) {
    TKnot knot;
    AElement->Scheme()->SaveElement(AElement, fmDocument, &knot, {});
    return knot.SaveToString();
  }

  std::unique_ptr<TSheetHostFixture> Host;
};

// Every kind: frames expanded and collapsed with descriptions, one with an empty content and description that
// write nothing, a table in a comment in a frame's content, the six signs and a comment of two paragraphs.
const std::u16string Golden =
    u"<Quillbox FormatVersion=\"1.1\">\r\n"
    u"\t<Chars Value=\"Notes\"/><Br/>\r\n"
    u"\t<LogicFrame>\r\n"
    u"\t\t<Description>\r\n"
    u"\t\t\t<Chars Value=\"An expanded frame\"/><Br/>\r\n"
    u"\t\t</Description>\r\n"
    u"\t\t<Content>\r\n"
    u"\t\t\t<Chars Value=\"Grid: \"/>\r\n"
    u"\t\t\t<Comment>\r\n"
    u"\t\t\t\t<Chars Value=\"Cells \"/>\r\n"
    u"\t\t\t\t<Table>\r\n"
    u"\t\t\t\t\t<Row>\r\n"
    u"\t\t\t\t\t\t<Cell/>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"a1\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"a2\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"a3\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t</Row>\r\n"
    u"\t\t\t\t\t<Row>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"b0\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell/>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"b2\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"b3\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t</Row>\r\n"
    u"\t\t\t\t\t<Row>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"c0\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"c1\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t\t<Cell/>\r\n"
    u"\t\t\t\t\t\t<Cell>\r\n"
    u"\t\t\t\t\t\t\t<Chars Value=\"c3\"/><Br/>\r\n"
    u"\t\t\t\t\t\t</Cell>\r\n"
    u"\t\t\t\t\t</Row>\r\n"
    u"\t\t\t\t</Table><Br/>\r\n"
    u"\t\t\t</Comment><Br/>\r\n"
    u"\t\t</Content>\r\n"
    u"\t\t<Caption>\r\n"
    u"\t\t\t<Chars Value=\"Open\"/><Br/>\r\n"
    u"\t\t</Caption>\r\n"
    u"\t</LogicFrame>\r\n"
    u"\t<LogicFrame Expanded=\"0\">\r\n"
    u"\t\t<Description>\r\n"
    u"\t\t\t<Chars Value=\"A collapsed frame\"/><Br/>\r\n"
    u"\t\t</Description>\r\n"
    u"\t\t<Content>\r\n"
    u"\t\t\t<Chars Value=\"Hidden\"/><Br/>\r\n"
    u"\t\t</Content>\r\n"
    u"\t\t<Caption>\r\n"
    u"\t\t\t<Chars Value=\"Shut\"/><Br/>\r\n"
    u"\t\t</Caption>\r\n"
    u"\t</LogicFrame>\r\n"
    u"\t<LogicFrame>\r\n"
    u"\t\t<Caption>\r\n"
    u"\t\t\t<Chars Value=\"Bare\"/><Br/>\r\n"
    u"\t\t</Caption>\r\n"
    u"\t</LogicFrame>\r\n"
    u"\t<Information/>\r\n"
    u"\t<Question/>\r\n"
    u"\t<Star/>\r\n"
    u"\t<Important/>\r\n"
    u"\t<Stop/>\r\n"
    u"\t<Ready/>\r\n"
    u"\t<Comment>\r\n"
    u"\t\t<Chars Value=\"Last\"/><Br/>\r\n"
    u"\t\t<Chars Value=\"word\"/><Br/>\r\n"
    u"\t</Comment><Br/>\r\n"
    u"</Quillbox>\r\n";

TEST_F(GoldenDocumentTest, EveryKindSavesTheGoldenTextAndLoadsBackToTheSameBytes) {
  TTextorElement* text = AddRichText();
  text->SetText(u"Notes\r\n");
  TElement_LogicFrame* open = AddFrame(text, u"Open", u"Grid: ", u"An expanded frame");
  auto* comment = Embed<TElement_Comment>(AsText(open->Content()));
  comment->SetText(u"Cells ");
  auto* table = Embed<TElement_Table>(comment);
  table->NotifyInitNew(0);
  for (int32_t r = 0; r < table->GetRowCount(); ++r)
    for (int32_t c = 0; c < table->GetColumnCount(); ++c)
      if (c != r) AsText(table->GetCell(c, r))->SetText(std::u16string{char16_t(u'a' + r), char16_t(u'0' + c)});
  TElement_LogicFrame* shut = AddFrame(text, u"Shut", u"Hidden", u"A collapsed frame");
  shut->ExpandButton()->SetExpanded(false);
  AddFrame(text, u"Bare", u"", u"");
  Embed<TElement_Information>(text);
  Embed<TElement_Question>(text);
  Embed<TElement_Star>(text);
  Embed<TElement_Important>(text);
  Embed<TElement_Stop>(text);
  Embed<TElement_Ready>(text);
  Embed<TElement_Comment>(text)->SetText(u"Last\r\nword");

  ExpectGoldenRoundTrip(text, Golden);
}

// Pictures: one in the text, one in a comment, the second disabled; their bytes as upper-case hexadecimal.
const std::u16string GoldenImages =
    u"<Quillbox FormatVersion=\"1.1\">\r\n"
    u"\t<Chars Value=\"Pictures \"/>\r\n"
    u"\t<Image Type=\"gif\" Value=\"4749463839610100010000FF002C\"/>\r\n"
    u"\t<Comment>\r\n"
    u"\t\t<Chars Value=\"see \"/>\r\n"
    u"\t\t<Image Disabled=\"1\" Type=\"bin\" Value=\"00017F80FF\"/><Br/>\r\n"
    u"\t</Comment><Br/>\r\n"
    u"</Quillbox>\r\n";

TEST_F(GoldenDocumentTest, PicturesInTheTextAndInACommentSaveTheGoldenTextAndLoadBackToTheSameBytes) {
  const auto setData = [](TElement_Image* AImage, std::vector<uint8_t> ABytes, const char16_t* AType) {
    TMemoryStream stream;
    stream.WriteBuffer(ABytes.data(), ABytes.size());
    AImage->SetData(stream, AType);
  };
  TTextorElement* text = AddRichText();
  text->SetText(u"Pictures ");
  setData(Embed<TElement_Image>(text), {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0, 0xFF, 0, 0x2C}, u"GIF");
  auto* comment = Embed<TElement_Comment>(text);
  comment->SetText(u"see ");
  auto* inComment = Embed<TElement_Image>(comment);
  setData(inComment, {0, 1, 0x7F, 0x80, 0xFF}, u"bin");
  inComment->SetDisabled(true);

  ExpectGoldenRoundTrip(text, GoldenImages);
}

// The elements benchmark's document: a paragraph per ten elements, each a logic frame (every other one
// collapsed), a comment, the six signs, a second comment and a table of 3 x 4 cells.
std::u16string BenchmarkDocument(int AElements) {
  std::u16string text = u"<Quillbox FormatVersion=\"1.1\">\r\n";
  for (int p = 0; p * 10 < AElements; ++p) {
    text += u"<Chars Value=\"Paragraph " + std::u16string(1, char16_t(u'a' + p % 26)) + u" \"/>";
    text += p % 2 ? u"<LogicFrame Expanded=\"0\">" : u"<LogicFrame>";
    text +=
        u"<Description><Chars Value=\"Why\"/><Br/></Description>"
        u"<Content><Chars Value=\"What the frame holds\"/><Br/></Content>"
        u"<Caption><Chars Value=\"Frame\"/><Br/></Caption></LogicFrame>"
        u"<Comment><Chars Value=\"A comment of a few words\"/><Br/></Comment>"
        u"<Information/><Question/><Star/><Important/><Stop/><Ready/>"
        u"<Comment><Chars Value=\"Another\"/><Br/></Comment><Table>";
    for (int r = 0; r < 3; ++r) {
      text += u"<Row>";
      for (int c = 0; c < 4; ++c) text += u"<Cell><Chars Value=\"cell\"/><Br/></Cell>";
      text += u"</Row>";
    }
    text += u"</Table><Br/>\r\n";
  }
  return text + u"</Quillbox>\r\n";
}

// Runs of several scripts: letters the font has, letters that come from a fallback font, marks that combine, a
// character outside the basic plane and scripts that shape.
const std::u16string ScriptsDocument =
    u"<Quillbox FormatVersion=\"1.1\">\r\n"
    u"<Chars Value=\"Latin AVTo Wa, \u041A\u0438\u0440\u0438\u043B\u043B\u0438\u0446\u0430 \u03B5\u03BB\u03BB\u03B7"
    u"\u03BD\u03B9\u03BA\u03AC, \u4E2D\u6587\u7684\u5B57 \u65E5\u672C\u8A9E\u306E\u304B\u306A, e\u0301 a\u0308, "
    u"\U0001F600 \U0001D11E, \u0627\u0644\u0639\u0631\u0628\u064A\u0629 \u05E9\u05DC\u05D5\u05DD, \u0939\u093F"
    u"\u0928\u094D\u0926\u0940 \u0E44\u0E17\u0E22, and words enough to wrap the row more than once\"/>"
    u"<Comment><Chars Value=\"\u00A9 \u2014 \u20AC \u2192 \uFF21\uFF22 \uAC00\uB098 \uFFFD\"/><Br/></Comment><Br/>\r\n"
    u"</Quillbox>\r\n";

// Every visual element's bounds and every row of every text, in tree order.
void CollectLayout(TVisualElement* AElement, std::vector<int32_t>& ALayout) {
  ALayout.insert(ALayout.end(),
                 {AElement->Left(), AElement->Top(), AElement->Width(), AElement->Height(), AElement->Descent()});
  if (auto* text = dynamic_cast<TTextorElement*>(AElement))
    for (TParagraph* p = text->Textor()->FirstParagraph(); p; p = p->Next())
      for (TRow* row = p->FirstRow(); row; row = row->GetNextRow())
        ALayout.insert(ALayout.end(), {row->GetLeft(), row->GetTop(), row->Width, row->Bottom, row->Descent});
  for (TVisualElement* c = AElement->FirstVisualChild(); c; c = c->NextVisualSibling()) CollectLayout(c, ALayout);
}

TEST_F(GoldenDocumentTest, TextMeasuredFromTheFontsAdvancesLaysOutAsTextMeasuredByGdi) {
  const struct {
    const char* Name;
    std::u16string Text;
  } documents[] = {{"golden", Golden}, {"2,000 elements", BenchmarkDocument(2000)}, {"scripts", ScriptsDocument}};
  for (const auto& document : documents) {
    for (const TTextorOptions wrap : {TTextorOptions(), TTextorOptions(xoWrap240)}) {
      SCOPED_TRACE(std::string(document.Name) + (wrap.Empty() ? "" : ", wrapped"));
      std::vector<int32_t> layouts[2];
      for (const bool cached : {true, false}) {
        DeviceContextManager->SetAdvanceCache(cached);
        Host = std::make_unique<TSheetHostFixture>();
        auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
        text->SetTextorOptions(wrap | xoRich);
        text->SetTextOptions(AnyTextOptions);
        TKnot knot;
        knot.LoadFromString(document.Text);
        Host->Scheme.LoadElement(text, fmDocument, &knot);
        text->SetVisualParent(Host->Root);
        CollectLayout(text, layouts[cached]);
      }
      DeviceContextManager->SetAdvanceCache(true);
      EXPECT_GT(layouts[1].size(), 15u);
      EXPECT_EQ(layouts[1], layouts[0]);
    }
  }
}

// Every element of the visual tree from AElement, the option for painting and hit-testing by place set or cleared.
void SetPlaceIndexed(TVisualElement* AElement, bool AValue) {
  TVisualOptions options = AElement->VisualOptions();
  options.Set(voPlaceIndexed, AValue);
  AElement->SetVisualOptions(options);
  for (TVisualElement* c = AElement->FirstVisualChild(); c; c = c->NextVisualSibling()) SetPlaceIndexed(c, AValue);
}

TEST_F(GoldenDocumentTest, PaintingAndHitTestingByPlaceGiveWhatThePlainWalkGives) {
  const struct {
    const char* Name;
    std::u16string Text;
    bool Overflowing;
  } documents[] = {{"golden", Golden, false},
                   {"golden, elements overflowing their place", Golden, true},
                   {"200 elements, elements overflowing their place", BenchmarkDocument(200), true}};
  for (const auto& document : documents) {
    SCOPED_TRACE(document.Name);
    Host = std::make_unique<TSheetHostFixture>();
    TTextorElement* text = AddRichText();
    text->SetTextorOptions(xoRich | xoWrap240);
    TKnot knot;
    knot.LoadFromString(document.Text);
    Host->Scheme.LoadElement(text, fmDocument, &knot);
    TSheetElement* root = Host->Sheet->Root();
    if (document.Overflowing) {
      // A description taller than the rows beside it, over the descriptions below.
      for (TVisualElement* c = text->FirstVisualChild(); c; c = c->NextVisualSibling())
        if (auto* frame = dynamic_cast<TElement_LogicFrame*>(c)) {
          AsText(frame->Description())->SetText(u"A\r\ntall\r\ndescription\r\nof\r\nmany\r\nlines\r\nover\r\nothers");
          break;
        }
      // In the text but out of its place: one grown down across the rows, drawn last; one drawn first under the
      // elements it overlaps; one selected.
      auto* grown = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
      grown->SetVisualParent(text);
      grown->SetBounds(40, 8, 70, 260, grown->Descent());
      auto* under = TElement::CreateIn<TTestVisualLeaf>(&Host->Scheme, text);
      under->ChangeVisualParent(text, text->FirstVisualChild());
      under->SetBounds(0, 0, 400, 90, under->Descent());
      if (TVisualElement* last = text->LastVisualChild()->PrevVisualSibling()) last->SetSelected(true);
      // Found once, then moved: along the rows by typing at the start, and the grown one further down.
      Host->Sheet->ElementAt({50, 50}, true, true);
      TBitmap32 target;
      target.SetSize(100, 100);
      Host->Sheet->PaintTo(target.Handle(), {0, 0, 100, 100}, {});
      TTextRange typed;
      text->Textor()->InsertText(text->Textor()->GetBeginPosition(), u"Typed ", nullptr, typed);
      grown->SetBounds(40, 30, 70, 300, grown->Descent());
    }
    const int32_t width = std::min<int32_t>(root->Width() + 20, 1200);
    const int32_t height = std::min<int32_t>(root->Height() + 20, 1600);
    std::vector<TVisualElement*> hits[2];
    std::vector<TColor32> pixels[2];
    for (const bool indexed : {true, false}) {
      SetPlaceIndexed(root, indexed);
      for (int32_t y = 0; y < height; y += 3)
        for (int32_t x = 0; x < width; x += 3)
          for (const auto& [selected, transparent] : {std::tuple(true, true), std::tuple(false, false)})
            hits[indexed].push_back(Host->Sheet->ElementAt({x, y}, selected, transparent));
      // The whole sheet, then bands of it painted one by one over it.
      TBitmap32 target;
      target.SetSize(width, height);
      Host->Sheet->PaintTo(target.Handle(), {0, 0, width, height}, {});
      for (int32_t y = 0; y < height; y += 37) Host->Sheet->PaintTo(target.Handle(), {0, y, width, y + 37}, {});
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) pixels[indexed].push_back(target.Pixel(x, y));
    }
    EXPECT_GT(std::set<TVisualElement*>(hits[1].begin(), hits[1].end()).size(), 10u);
    EXPECT_TRUE(hits[1] == hits[0]);
    EXPECT_TRUE(pixels[1] == pixels[0]);
  }
}

// Frames described inside described frames, three deep, one branch collapsed, after the golden document's kinds.
const std::u16string NestedFramesDocument = [] {
  const auto frame = [](std::u16string AName, std::u16string AInside, bool AExpanded) {
    return u"<LogicFrame" + std::u16string(AExpanded ? u"" : u" Expanded=\"0\"") + u"><Description><Chars Value=\"" +
           AName + u" why\"/><Br/></Description><Content><Chars Value=\"" + AName + u" holds \"/>" + AInside +
           u"<Br/></Content><Caption><Chars Value=\"" + AName + u"\"/><Br/></Caption></LogicFrame>";
  };
  std::u16string text = Golden.substr(0, Golden.rfind(u"</Quillbox>"));
  text += frame(u"Outer", frame(u"Inner", frame(u"Deepest", u"", true) + frame(u"Beside", u"", true), true), true);
  text += frame(u"Shut", frame(u"Hidden", frame(u"Under", u"", true), true), false);
  return text + u"<Br/></Quillbox>\r\n";
}();

// The nested frames document loaded into ARoot off the sheet, then put on ASheet with a view AView large, as the
// plain document starts.
void JoinNestedFrames(TPlainRoot* ARoot, TSheet& ASheet, TSheetHostFixture& AHost, TVisualSize AView) {
  TKnot knot;
  knot.LoadFromString(NestedFramesDocument);
  ARoot->Scheme()->LoadElement(ARoot, fmDocument, &knot);
  ASheet.SetTimerFactory(AHost.Timers.Factory());
  ASheet.SetViewSize(AView);
  ARoot->SetVisualParent(ASheet.Root());
}

uint64_t Fnv(uint64_t AHash, int64_t AValue) {
  for (int i = 0; i < 8; ++i) AHash = (AHash ^ uint8_t(AValue >> (8 * i))) * 1099511628211ull;
  return AHash;
}

// Every element's kind and place on the sheet, in the drawing order.
uint64_t HashPlaces(TVisualElement* AElement, uint64_t AHash) {
  const TVisualPoint p = AElement->ClientToSheet({0, 0});
  for (const char c : std::string(typeid(*AElement).name())) AHash = Fnv(AHash, c);
  for (const int64_t v : {int64_t(p.X), int64_t(p.Y), int64_t(AElement->Width()), int64_t(AElement->Height()),
                          int64_t(AElement->Descent()), int64_t(AElement->IsVisible())})
    AHash = Fnv(AHash, v);
  for (TVisualElement* c = AElement->FirstVisualChild(); c; c = c->NextVisualSibling()) AHash = HashPlaces(c, AHash);
  return AHash;
}

TEST_F(GoldenDocumentTest, TheRootJoiningTheSheetKeepsEveryPlaceTheDrawingOrderAndThePaint) {
  // The document's root loaded off the sheet and then put on it, as the plain document starts.
  TScheme scheme(&TPlainRoot::ClassInfo, u"Quillbox");
  auto* root = static_cast<TPlainRoot*>(scheme.Root());
  TSheet sheet(&Host->Settings);
  JoinNestedFrames(root, sheet, *Host, {800, 600});

  // The sheet's root draws the document, then the descriptions in the order they joined it.
  std::vector<std::u16string> order;
  for (TVisualElement* c = sheet.Root()->FirstVisualChild(); c; c = c->NextVisualSibling())
    order.push_back(c == root ? u"document" : AsText(c)->GetText());
  const std::vector<std::u16string> expected{u"document",    u"An expanded frame", u"A collapsed frame", u"",
                                             u"Deepest why", u"Beside why",        u"Inner why",         u"Outer why",
                                             u"Under why",   u"Hidden why",        u"Shut why"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(HashPlaces(sheet.Root(), 14695981039346656037ull), 7560391609666709372ull);

  const int32_t width = sheet.Root()->Width(), height = sheet.Root()->Height();
  TBitmap32 target;
  target.SetSize(width, height);
  sheet.PaintTo(target.Handle(), {0, 0, width, height}, {});
  uint64_t pixels = 14695981039346656037ull;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) pixels = Fnv(pixels, target.Pixel(x, y));
  EXPECT_EQ(pixels, 6311063193371976362ull);
  root->SetVisualParent(nullptr);
}

// Every hit on the sheet at a grid of points over the root, both flags allowing.
std::vector<TVisualElement*> HitsOver(TSheetHostFixture& AHost) {
  std::vector<TVisualElement*> hits;
  TSheetElement* root = AHost.Sheet->Root();
  for (int32_t y = 0; y < root->Height() + 20; y += 4)
    for (int32_t x = 0; x < root->Width() + 20; x += 4) hits.push_back(AHost.Sheet->ElementAt({x, y}, true, true));
  return hits;
}

TEST_F(GoldenDocumentTest, AFirstLayoutPlacesEveryElementWhereItsParagraphEndsUp) {
  // Loaded off the sheet, then laid out once as it joins: each paragraph grows from nothing and moves those below
  // it before they are laid out, so an element is placed once and never moved after.
  auto* text = TElement::CreateIn<TTextorElement>(&Host->Scheme, Host->Root);
  text->SetTextorOptions(xoRich | xoWrap240);
  TKnot knot;
  knot.LoadFromString(BenchmarkDocument(200));
  Host->Scheme.LoadElement(text, fmDocument, &knot);
  TTextRange split;
  text->Textor()->SplitParagraph(text->Textor()->GetEndPosition(), nullptr, split);
  auto* last = Embed<TTestVisualLeaf>(text);
  last->PlaceFollowed();
  text->SetVisualParent(Host->Root);
  std::vector<int32_t> layouts[2];
  CollectLayout(Host->Sheet->Root(), layouts[0]);
  EXPECT_EQ(last->FollowHooks, 1);
  {
    TSheetUpdate update(Host->Sheet.get());
    text->SettingsChanged(false, true, false, false);
  }
  CollectLayout(Host->Sheet->Root(), layouts[1]);
  EXPECT_GT(layouts[0].size(), 200u);
  EXPECT_EQ(layouts[0], layouts[1]);
}

TEST_F(GoldenDocumentTest, ElementsBelowATypedParagraphStandWhereAFreshLayoutPutsThemAndOnlyWhatFollowsThemMoves) {
  TTextorElement* text = AddRichText();
  text->SetTextorOptions(xoRich | xoWrap240);
  TKnot knot;
  knot.LoadFromString(BenchmarkDocument(200));
  Host->Scheme.LoadElement(text, fmDocument, &knot);
  // At the end of the text: one focused, whose caret follows it, one that nothing follows, and a frame inside a
  // comment whose description follows it from deeper down.
  auto* focused = Embed<TTestVisualLeaf>(text);
  auto* plain = Embed<TTestVisualLeaf>(text);
  auto* inner = Embed<TElement_LogicFrame>(Embed<TElement_Comment>(text));
  AsText(inner->Description())->SetText(u"Described");
  // Below all of them, alone in the last paragraph: one that something follows, which waits to be read.
  TTestVisualLeaf* waiting = nullptr;
  {
    TSheetUpdate update(Host->Sheet.get());
    TTextRange split;
    text->Textor()->SplitParagraph(text->Textor()->GetEndPosition(), nullptr, split);
    waiting = Embed<TTestVisualLeaf>(text);
    waiting->SetBounds(0, 0, 80, 60, waiting->Descent());
    waiting->PlaceFollowed();
  }
  focused->Focus();
  TTextRange typed;
  const struct {
    const char* Name;
    bool Grows;
  } steps[] = {{"a paragraph grown by rows", true}, {"the same paragraph shrunk back", false}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Name);
    // The index by place stands before the shift.
    HitsOver(*Host);
    const int32_t top = plain->Top();
    const int32_t waitingTop = waiting->Top();
    plain->MovedHooks = plain->BoundsHooks = 0;
    waiting->FollowHooks = 0;
    if (step.Grows) {
      text->Textor()->InsertText(text->Textor()->GetBeginPosition(),
                                 u"Words typed at the start of the first paragraph, enough of them to wrap it onto "
                                 u"rows of its own below the row it had before ",
                                 nullptr, typed);
    } else {
      TTextPosition at;
      text->Textor()->DeleteRange(typed, at);
    }
    EXPECT_EQ(plain->Top() > top, step.Grows);
    EXPECT_EQ(plain->MovedHooks + plain->BoundsHooks, 0);
    EXPECT_EQ(waiting->FollowHooks, 0);
    // Everything below the typed paragraph moved alike: a hit where the waiting one belongs finds it there.
    const TVisualPoint belongs{waiting->Left() + 1, waitingTop + plain->Top() - top + 1};
    EXPECT_EQ(text->HitTest(belongs, {htSelf, htChildren, htDeep}), waiting);
    EXPECT_EQ(waiting->FollowHooks, 1);
    std::vector<int32_t> layouts[2];
    std::vector<TVisualElement*> hits[2];
    std::vector<uint64_t> pixels[2];
    TRect carets[2];
    for (const bool fresh : {false, true}) {
      if (fresh) {
        TSheetUpdate update(Host->Sheet.get());
        text->SettingsChanged(false, true, false, false);
      }
      // Painted in bands first, as a repaint after a key asks, before any place is read; each row of pixels kept as
      // its hash, the sheet being long.
      const int32_t width = std::min<int32_t>(Host->Sheet->Root()->Width() + 20, 1200);
      const int32_t height = Host->Sheet->Root()->Height() + 20;
      TBitmap32 target;
      target.SetSize(width, 37);
      for (int32_t y = 0; y < height; y += 37) {
        SetViewportOrgEx(target.Handle(), 0, -y, nullptr);
        Host->Sheet->PaintTo(target.Handle(), {0, y, width, y + 37}, {});
        for (int32_t row = 0; row < 37; ++row) {
          uint64_t hash = 14695981039346656037ull;
          for (int32_t x = 0; x < width; ++x) hash = Fnv(hash, target.Pixel(x, row));
          pixels[fresh].push_back(hash);
        }
      }
      hits[fresh] = HitsOver(*Host);
      CollectLayout(Host->Sheet->Root(), layouts[fresh]);
      carets[fresh] = Host->Sheet->CaretRect();
    }
    EXPECT_TRUE(layouts[1] == layouts[0]);
    EXPECT_TRUE(hits[1] == hits[0]);
    EXPECT_TRUE(pixels[1] == pixels[0]);
    EXPECT_EQ(carets[1], carets[0]);
    EXPECT_EQ(waiting->Top() > waitingTop, step.Grows);
    EXPECT_EQ(carets[1].Top, focused->ClientToSheet({0, 0}).Y);
    EXPECT_EQ(inner->Description()->Top(), inner->ClientToSheet({0, 0}).Y - Host->Sheet->Root()->Top());
  }
}

}  // namespace

// What a host window shows of a sheet through a view: moved where the sheet scrolls a band, repainted where it asks.
class TViewPicture {
 public:
  TViewPicture(TSheet& ASheet, const TRect& AView) : FSheet(ASheet), FView(AView) {
    Picture.SetSize(static_cast<int32_t>(AView.Width()), static_cast<int32_t>(AView.Height()));
    Paint(AView, Picture);
    FSheet.AddNotifyEvent(MakeMethod<&TViewPicture::Heard>(this));
  }
  ~TViewPicture() { FSheet.RemoveNotifyEvent(MakeMethod<&TViewPicture::Heard>(this)); }

  // Repaints what waits; the rows repainted, and whether all of them were.
  int32_t Update() {
    int32_t rows = 0;
    for (const TRect& r : FInvalid) {
      const TRect shown{std::max(r.Left, FView.Left), std::max(r.Top, FView.Top), std::min(r.Right, FView.Right),
                        std::min(r.Bottom, FView.Bottom)};
      if (shown.Left >= shown.Right || shown.Top >= shown.Bottom) continue;
      Paint(shown, Picture);
      rows += static_cast<int32_t>(shown.Height());
    }
    FInvalid.clear();
    return rows;
  }
  // The view painted afresh equals the picture kept.
  bool Fresh() {
    TBitmap32 fresh;
    fresh.SetSize(Picture.Width(), Picture.Height());
    Paint(FView, fresh);
    for (int32_t y = 0; y < Picture.Height(); ++y)
      for (int32_t x = 0; x < Picture.Width(); ++x)
        if (fresh.Pixel(x, y) != Picture.Pixel(x, y)) return false;
    return true;
  }

  TBitmap32 Picture;
  int RepaintsAll = 0;
  int Grown = 0;
  int Shrunk = 0;

 private:
  void Heard(TObject*, intptr_t ANotify, intptr_t AParam1, intptr_t) {
    if (ANotify == snRepaint && !AParam1) ++RepaintsAll;
    if (ANotify == snRepaint) FInvalid.push_back(AParam1 ? *reinterpret_cast<const TRect*>(AParam1) : FView);
    if (ANotify == snScrollBand) Scroll(*reinterpret_cast<const TSheetScroll*>(AParam1));
  }
  // The rows of the view from the band's top down move; those the move uncovers, or brings from outside the view,
  // wait for a repaint.
  void Scroll(const TSheetScroll& AScroll) {
    (AScroll.Distance > 0 ? Grown : Shrunk)++;
    const int32_t top = AScroll.Top - FView.Top, d = AScroll.Distance, width = Picture.Width();
    const int32_t height = Picture.Height();
    const std::vector<TColor32> old(Picture.Bits(), Picture.Bits() + int64_t(width) * height);
    for (int32_t y = std::max(std::min(top, top + d), 0); y < height; ++y) {
      if (y >= top + d && y - d >= 0 && y - d < height)
        std::copy_n(old.begin() + int64_t(y - d) * width, width, Picture.ScanLine(y));
      else
        FInvalid.push_back({FView.Left, FView.Top + y, FView.Right, FView.Top + y + 1});
    }
  }
  void Paint(const TRect& ARect, TBitmap32& ATarget) {
    SetViewportOrgEx(ATarget.Handle(), -FView.Left, -FView.Top, nullptr);
    FSheet.PaintTo(ATarget.Handle(), ARect, {});
    SetViewportOrgEx(ATarget.Handle(), 0, 0, nullptr);
  }

  TSheet& FSheet;
  TRect FView;
  std::vector<TRect> FInvalid;
};

TEST_F(GoldenDocumentTest, AParagraphThatWrapsMovesThePictureBelowItToWhatAFullPaintShows) {
  TUndoRedo history;
  TScheme scheme(&TPlainRoot::ClassInfo, u"Quillbox");
  scheme.SetUndoRedo(&history);
  auto* root = static_cast<TPlainRoot*>(scheme.Root());
  TSheet sheet(&Host->Settings);
  JoinNestedFrames(root, sheet, *Host, {400, 300});
  // Each key an undo step of its own.
  int64_t clock = 0;
  root->SetEditClock([&clock] { return clock += 1000; });
  root->Focus();
  uint16_t home = 36;
  sheet.KeyDown(home, {skCtrl});
  // One view from the top, one whose top cuts the typed paragraph.
  TViewPicture top(sheet, {0, 0, 400, 300}), cut(sheet, {0, 24, 400, 324});
  const auto check = [&] {
    for (TViewPicture* view : {&top, &cut}) {
      EXPECT_LT(view->Update(), 150);
      EXPECT_TRUE(view->Fresh());
    }
  };
  // Typed into the first line until it wraps twice, then undone key by key.
  for (int i = 0; i < 130; ++i) {
    char16_t c = u'w';
    sheet.KeyPress(c);
    check();
  }
  for (int i = 0; i < 130; ++i) {
    history.Undo();
    check();
  }
  for (TViewPicture* view : {&top, &cut}) {
    EXPECT_EQ(view->RepaintsAll, 0);
    EXPECT_GE(view->Grown, 2);
    EXPECT_GE(view->Shrunk, 2);
  }
  root->SetVisualParent(nullptr);
}
