// The golden document: every kind of the element layer in one rich text, as the plain document's root holds them.
// Its saved text is fixed here byte for byte, and loading it and saving again gives the same bytes.
#include "document/elements/diCommonElements.h"
#include "document/elements/diCustomElements.h"
#include "document/elements/diDataElement.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "foundation/cuKnot.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

}  // namespace
