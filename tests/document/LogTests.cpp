// The log: which messages it writes, how a line is made, what a write leaves of the user's selection, links, and
// that none of it reaches the undo history.
#include "document/elements/diLog.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diMessages.h"
#include "document/model/diSheet.h"
#include "document/model/diSounds.h"
#include "document/model/diSchemeImagesWin.h"
#include "foundation/cuKnot.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/document/TestPlainDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TLogTest : TPlainDocumentFixture {
  TLogTest() : Document(Open(Path(u"notes.qbx"))), Log(Document->LogRoot()), Messages(Log->LogMessages()) {}
  ~TLogTest() override { LogSettings->WriteHints->SetValue(true); }

  // The log's content as the names of its run knots, "Chars" with their value.
  std::vector<std::u16string> Runs() {
    TNodePtr<TKnot> knot(new TKnot(std::u16string(ContentKnotName)));
    Log->SaveRange(knot.get(), fmRecord, nullptr, {});
    std::vector<std::u16string> runs;
    for (TKnot* k = knot->FirstKnot(); k; k = k->NextKnot())
      runs.push_back(k->Name() == CharsKnotName ? u"Chars:" + k->ReadString(u"Value", u"") : k->Name());
    return runs;
  }

  // The first portion whose link target begins with APrefix.
  TPortion* LinkPortion(char16_t APrefix) {
    for (TParagraph* p = Log->Textor()->FirstParagraph(); p; p = p->Next())
      for (TPortion* portion = p->FirstPortion(); portion; portion = portion->Next()) {
        TTextAttributes* a = portion->GetAttributes();
        if (a && !a->LinkTarget().empty() && a->LinkTarget()[0] == APrefix) return portion;
      }
    return nullptr;
  }

  std::unique_ptr<TPlainDocument> Document;
  TLogRoot* Log;
  TElementMessages* Messages;
};

TEST_F(TLogTest, HintsFollowTheSettingAndErrorsAreAlwaysWritten) {
  struct Case {
    uint8_t Kind;
    bool WriteHints;
    bool Written;
  } cases[] = {{mkHint, false, false}, {mkHint, true, true}, {mkError, false, true}, {mkElementError, false, true}};
  for (const Case& c : cases) {
    Messages->Clear();
    LogSettings->WriteHints->SetValue(c.WriteHints);
    Messages->Add(c.Kind, u"text");
    EXPECT_EQ(Messages->GetCount(), c.Written ? 1 : 0) << int(c.Kind) << c.WriteHints;
    // The sign is an embedded element: no character of the text.
    EXPECT_EQ(Log->GetText(), c.Written ? u" text" : u"") << int(c.Kind) << c.WriteHints;
  }
}

TEST_F(TLogTest, LinesStartWithTheirSignExceptInformationAndOnlyLaterOnesWithABreak) {
  int changes = 0;
  Log->OnChange = [&changes](TLogRoot*) { ++changes; };
  Messages->Add(mkWarning, u"first");
  Messages->Add(mkInformation, u"plain");
  Messages->AddLinked(mkError, u"see [this] one", u"7");
  // Runs with equal "Data" are stored as one: the link is told apart only by its attributes.
  EXPECT_EQ(Runs(), (std::vector<std::u16string>{u"Sign", u"Chars: first", u"Br", u"Chars:plain", u"Br", u"Sign",
                                                 u"Chars: see this one", u"Br"}));
  ASSERT_NE(LinkPortion(u'E'), nullptr);
  EXPECT_EQ(LinkPortion(u'E')->GetAttributes()->LinkTarget(), u"E7");
  EXPECT_EQ(changes, 3);
  std::vector<uint8_t> kinds;
  for (TVisualElement* c = Log->FirstVisualChild(); c; c = c->NextVisualSibling())
    kinds.push_back(static_cast<TElement_Sign*>(c)->Kind());
  EXPECT_EQ(kinds, (std::vector<uint8_t>{mkWarning, mkError}));
  Messages->Clear();
  EXPECT_EQ(Log->GetText(), u"");
  EXPECT_EQ(changes, 4);
}

// The 9 x 9 pixels a sign of AKind paints on white, or image AImage of the log list drawn straight (-1: none).
std::vector<TColor32> SignPixels(TSheetCanvas& ACanvas, TScheme& AScheme, int AKind, int AImage) {
  TBitmap32 target;
  target.SetSize(9, 9);
  target.Clear(0xFFFFFFFF);
  ACanvas.BeginPaint(target.Handle(), TRect{0, 0, 9, 9});
  if (AKind >= 0) {
    TElementPtr<TElement_Sign> sign(TElement::CreateIn<TElement_Sign>(&AScheme, nullptr));
    sign->SetKind(static_cast<uint8_t>(AKind));
    EXPECT_EQ(sign->Width(), 9);
    EXPECT_EQ(sign->Descent(), 0);
    sign->Paint(&ACanvas, {});
  } else if (AImage >= 0) {
    ACanvas.DrawImage(*LogImages, AImage, 0, 0);
  }
  ACanvas.EndPaint(target.Handle());
  std::vector<TColor32> pixels;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) pixels.push_back(target.Pixel(x, y) & 0xFFFFFF);
  return pixels;
}

TEST_F(TLogTest, ASignPaintsTheImageOfItsKindAndInformationNone) {
  TSheetCanvas canvas(&Settings);
  TScheme scheme(nullptr, u"");
  const int images[] = {-1, 0, 1, 2, 1, 1};
  for (int kind = 0; kind < 6; ++kind) {
    EXPECT_EQ(TElement_Sign::ImageOfKind(static_cast<uint8_t>(kind)), images[kind]) << kind;
    EXPECT_EQ(SignPixels(canvas, scheme, kind, -1), SignPixels(canvas, scheme, -1, images[kind])) << kind;
  }
  // Three different pictures, none of them blank.
  const auto blank = SignPixels(canvas, scheme, -1, -1);
  EXPECT_NE(SignPixels(canvas, scheme, -1, 0), blank);
  EXPECT_NE(SignPixels(canvas, scheme, -1, 0), SignPixels(canvas, scheme, -1, 1));
  EXPECT_NE(SignPixels(canvas, scheme, -1, 1), SignPixels(canvas, scheme, -1, 2));
}

TEST_F(TLogTest, AWriteKeepsTheUsersSelectionAndACaretAtTheEndFollowsIt) {
  Messages->Add(mkInformation, u"abcdef");
  Messages->Add(mkInformation, u"ghi");
  ASSERT_NE(Log->Interactive(), nullptr);
  TTextRange range;
  ASSERT_TRUE(Log->Textor()->IndexRangeToRange({{0, 1}, {0, 4}}, range));
  Log->Interactive()->SelectRange(range, false);
  Messages->Add(mkHint, u"more");
  EXPECT_EQ(Log->Interactive()->SelectionIndex(), (TIndexRange{{0, 1}, {0, 4}}));

  Log->Interactive()->SetCaretPosition(Log->Textor()->GetEndPosition());
  Messages->Add(mkInformation, u"last");
  EXPECT_EQ(Log->Interactive()->CaretIndex(), (TIndexPosition{3, 4}));
  EXPECT_EQ(Document->LogSheet()->ScreenPos().X, 0);
}

TEST_F(TLogTest, AnElementsLinkHandsItsIdentifiersAndIsRecolouredOnce) {
  Messages->AddLinked(mkError, u"[Both] elements", u"12,15");
  std::vector<std::vector<int32_t>> calls;
  Log->OnElementsLink = [&calls](TLogRoot*, const std::vector<int32_t>& AIds) { calls.push_back(AIds); };
  TPortion* link = LinkPortion(u'E');
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->GetAttributes()->LinkTarget(), u"E12,15");
  Log->ActivateLink(link);
  EXPECT_EQ(calls, (std::vector<std::vector<int32_t>>{{12, 15}}));
  link = LinkPortion(u'E');
  auto* visited = dynamic_cast<TRichTextAttributes*>(link->GetAttributes());
  ASSERT_NE(visited, nullptr);
  EXPECT_EQ(visited->TextColor(), VisitedLinkColor);

  Log->ActivateLink(link);
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(LinkPortion(u'E')->GetAttributes(), visited);
}

TEST_F(TLogTest, FileAndSettingsLinksGoToTheirHandlersAndASettingsLinkWithoutOneBeeps) {
  // A stored run names one target: a file first, then elements, then settings.
  TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
  content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
  TKnot* file = content->AddKnot(u"Chars");
  file->WriteString(u"Value", u"file");
  file->WriteString(u"FileName", u"C:\\a.txt");
  file->WriteString(u"Elements", u"3");
  TKnot* settings = content->AddKnot(u"Chars");
  settings->WriteString(u"Value", u"page");
  settings->WriteString(u"Settings", u"Editor");
  TTextRange inserted;
  Log->InsertContent(content.get(), fmDocument, inserted, Log->Textor()->GetEndPosition(), {});
  ASSERT_NE(LinkPortion(u'F'), nullptr);
  EXPECT_EQ(LinkPortion(u'F')->GetAttributes()->LinkTarget(), u"FC:\\a.txt");
  ASSERT_NE(LinkPortion(u'S'), nullptr);

  int beeps = 0;
  TElementBeeper previous = SetElementBeeper([&beeps] { ++beeps; });
  std::u16string opened, page;
  Log->OnFileLink = [&opened](TLogRoot*, const std::u16string& AName) { opened = AName; };
  Log->ActivateLink(LinkPortion(u'F'));
  EXPECT_EQ(opened, u"C:\\a.txt");
  Log->ActivateLink(LinkPortion(u'S'));
  EXPECT_EQ(beeps, 1);
  // The program's handler serves every log without a handler of its own.
  std::u16string programs;
  TSettingsLinkHandler previousHandler =
      SetSettingsLinkHandler([&programs](const std::u16string& APath) { programs = APath; });
  Log->ActivateLink(LinkPortion(u'S'));
  EXPECT_EQ(programs, u"Editor");
  programs.clear();
  Log->OnSettingsLink = [&page](TLogRoot*, const std::u16string& APath) { page = APath; };
  Log->ActivateLink(LinkPortion(u'S'));
  EXPECT_EQ(page, u"Editor");
  EXPECT_EQ(programs, u"");
  EXPECT_EQ(beeps, 1);
  SetSettingsLinkHandler(std::move(previousHandler));
  SetElementBeeper(std::move(previous));
}

TEST_F(TLogTest, ALineWrittenOnTheSheetSoundsAndOneOffTheSheetDoesNot) {
  std::vector<std::u16string> sounds;
  TSoundPlayer previous = SetSoundPlayer([&sounds](std::u16string_view AName) { sounds.emplace_back(AName); });
  Messages->Add(mkInformation, u"on");
  Log->SetVisualParent(nullptr);
  Messages->Add(mkInformation, u"off");
  Log->SetVisualParent(Document->LogSheet()->Root());
  SetSoundPlayer(std::move(previous));
  EXPECT_EQ(sounds, std::vector<std::u16string>{u"diLogMessageSound"});
  EXPECT_EQ(Log->GetText(), u"on\r\noff");
}

TEST_F(TLogTest, TheLogsOwnTextIsNeverChecked) {
  // Its text options leave out tabs, but a message may carry one (in a file name, say).
  Messages->Add(mkInformation, u"a\tb");
  Messages->Add(mkInformation, u"x");
  EXPECT_TRUE(Log->Messages() == nullptr || Log->Messages()->GetCount() == 0);
  EXPECT_EQ(Log->MessagesSign(), nullptr);
}

TEST_F(TLogTest, TheLogNeverEntersTheUndoHistory) {
  for (int i = 0; i < 5; ++i) Messages->AddLinked(mkError, u"[x]", u"1");
  Log->ActivateLink(LinkPortion(u'E'));
  Messages->Clear();
  EXPECT_FALSE(Document->UndoRedo()->CanUndo());
  EXPECT_FALSE(Document->UndoRedo()->Modified());
  EXPECT_EQ(Document->LogScheme()->UndoRedo(), nullptr);
}

}  // namespace
