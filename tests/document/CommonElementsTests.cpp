// Comments, logic frames and signs on the fake sheet host: their stored text, the collapsed frame, the signs'
// size and items, the palette the unit adds at start-up, and data pasted into a comment.
#include "document/elements/diCommonElements.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "tests/document/TestVisualElements.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A data element that takes every dropped file as its text.
class TTestCommentData : public TTestVisualLeaf, public IDataElementFill {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestVisualLeaf::TTestVisualLeaf;
  bool FillFromClipboard() override { return false; }
  bool FillFromFile(const std::u16string& AFileName) override {
    SetText(AFileName);
    return true;
  }
};
const TElementClassInfo TTestCommentData::ClassInfo{u"TElement_CommentData", &TTestVisualLeaf::ClassInfo,
                                                    &ElementFactory<TTestCommentData>};

// A comment whose pasted data become test data elements, as comments' pictures become image elements.
class TDataComment : public TElement_Comment {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TElement_Comment::TElement_Comment;
  TElementClass GetDataClass() override { return &TTestCommentData::ClassInfo; }
};
const TElementClassInfo TDataComment::ClassInfo{u"TElement_DataComment", &TElement_Comment::ClassInfo,
                                                &ElementFactory<TDataComment>};

class CommonElementsTest : public ::testing::Test {
 public:
  void SetUp() override {
    InitializePalette();
    InitializeTextorElement();
    InitializeSchemeImages();
    InitializeClassesGroups();
    ClassesGroups->GetGroup(0).push_back(&TTestCommentData::ClassInfo);
    InitializeCommonElements();
    Host = std::make_unique<TSheetHostFixture>();
  }
  void TearDown() override {
    Host.reset();
    FinalizeCommonElements();
    FinalizeClassesGroups();
    FinalizeSchemeImages();
    FinalizeTextorElement();
    FinalizePalette();
  }

  template <class T>
  T* Add(TVisualElement* AParent = nullptr) {
    if (!AParent) AParent = Host->Root;
    T* e = TElement::CreateIn<T>(&Host->Scheme, AParent);
    e->SetVisualParent(AParent);
    return e;
  }
  std::u16string Save(TFilerFlags AFlags = {}) {
    TKnot knot;
    Host->Scheme.SaveElement(Host->Root, fmDocument, &knot, AFlags);
    return knot.SaveToString();
  }

  std::unique_ptr<TSheetHostFixture> Host;
};

TEST_F(CommonElementsTest, ElementsSaveTheirExactText) {
  const struct {
    const char* Name;
    std::function<void(CommonElementsTest&)> Make;
    TFilerFlags Flags;
    const char16_t* Saved;
  } cases[] = {
      {"comment", [](CommonElementsTest& t) { t.Add<TElement_Comment>()->SetText(u"x"); }, {},
       u"<Quillbox FormatVersion=\"1.1\">\r\n"
       u"\t<Comment>\r\n"
       u"\t\t<Chars Value=\"x\"/><Br/>\r\n"
       u"\t</Comment>\r\n"
       u"</Quillbox>\r\n"},
  };
  for (const auto& c : cases) {
    for (TElement* e = Host->Root->FirstChildElement(); e; e = Host->Root->FirstChildElement()) e->Destroy();
    c.Make(*this);
    EXPECT_EQ(Save(c.Flags), c.Saved) << c.Name;
  }
}

TEST_F(CommonElementsTest, AFileDroppedIntoACommentBecomesADataElementInItsText) {
  auto* comment = Add<TDataComment>();
  comment->SetText(u"ab");
  comment->SetFocus(fdForward, u"0,1,0,1", nullptr, nullptr);
  ASSERT_TRUE(comment->DropFiles({u"a.png"}));
  auto* data = dynamic_cast<TTestCommentData*>(comment->FirstVisualChild());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Text(), u"a.png");
  EXPECT_NE(data->EmbeddingPortion(), nullptr);
  EXPECT_EQ(comment->GetText(), u"ab");
}

}  // namespace
