// The plain document end to end: the data file and its backup, loads that cannot find or read the file, unknown
// elements, clicks and arrow keys through embedded elements, long random edit sequences against undo and redo, and
// damaged data files.
#include "document/elements/diCommonElements.h"
#include "document/elements/diDataElement.h"
#include "document/elements/diLog.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/elements/plElements.h"
#include "document/elements/unDocument.h"
#include "document/model/diClasses.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "document/model/diSheet.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKeys.h"
#include "foundation/cuKnot.h"
#include "foundation/cuSystem.h"
#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"
#include "framework/fwClipboard.h"
#include "graphics/images/umUniversalImage.h"
#include "tests/document/TestPlainDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include <random>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::u16string& AText) { return {AText.begin(), AText.end()}; }

// A data file with two paragraphs and an embedded element, as the document writes it: UTF-8 with its mark.
const std::string NotesFile =
    "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n"
    "\t<Chars Value=\"first line\"/><Br/>\r\n"
    "\t<Embedded Text=\"e\"/>\r\n"
    "\t<Chars Value=\"second\"/><Br/>\r\n"
    "</Quillbox>\r\n";

struct TPlainDocumentTest : TPlainDocumentFixture {
  // Replaces the document's text without undo and saves it.
  void SaveWith(TPlainDocument& ADocument, std::u16string_view AText, const std::u16string& AFileName) {
    ADocument.DocumentRoot()->SetText(AText);
    ADocument.SaveToFile(AFileName);
  }
};

TEST(BackupFileName, TheExtensionBecomesBackupQbx) {
  struct Case {
    const char16_t* Name;
    const char16_t* Backup;
  } cases[] = {
      {u"C:\\data\\notes.qbx", u"C:\\data\\notesBackup.qbx"},
      {u"notes.qbx", u"notesBackup.qbx"},
      {u"C:\\my.folder\\notes", u"C:\\my.folder\\notesBackup.qbx"},
      {u"C:\\data\\archive.tar.qbx", u"C:\\data\\archive.tarBackup.qbx"},
      {u"C:\\data\\notes.txt", u"C:\\data\\notesBackup.qbx"},
  };
  for (const Case& c : cases) EXPECT_EQ(BackupFileName(c.Name), c.Backup);
}

TEST_F(TPlainDocumentTest, TheRootsCarryTheirOptionWordsAndThePlainRootsInteractiveItsOptions) {
  auto document = Open(Path(u"notes.qbx"));
  struct Case {
    const char* Name;
    TTextorElement* Root;
    uint32_t Options;
    uint32_t TextOptions;
  } cases[] = {{"document", document->DocumentRoot(), 0x22012005, 127}, {"log", document->LogRoot(), 0x22200011, 111}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.Root->TextorOptions().Bits(), c.Options) << c.Name;
    EXPECT_EQ(c.Root->TextOptions().Bits(), c.TextOptions) << c.Name;
    EXPECT_TRUE(c.Root->IsFocused()) << c.Name;
  }
  ASSERT_NE(document->DocumentRoot()->Interactive(), nullptr);
  EXPECT_EQ(document->DocumentRoot()->Interactive()->Options().Bits(), 0x1668u);
  EXPECT_TRUE(document->LogRoot()->IsReadOnly());
  EXPECT_FALSE(document->DocumentRoot()->IsReadOnly());
}

TEST_F(TPlainDocumentTest, ASaveBacksUpThePreviousFileOnlyWhenTheBackupIsFiveDaysOld) {
  const std::u16string notes = Path(u"notes.qbx"), backup = Path(u"notesBackup.qbx");
  WriteBytes(notes, NotesFile);
  auto document = Open(notes);

  // The first save finds no backup: the file as it was is copied, dated now.
  SaveWith(*document, u"one", notes);
  EXPECT_EQ(ReadBytes(backup), NotesFile);
  EXPECT_LT(AgeSeconds(backup), 60);
  const std::string one = ReadBytes(notes);
  EXPECT_NE(one, NotesFile);

  // A minute later the backup is fresh and stays.
  SetAgeDays(backup, 1.0 / (24 * 60));
  SaveWith(*document, u"two", notes);
  EXPECT_EQ(ReadBytes(backup), NotesFile);
  const std::string two = ReadBytes(notes);

  // Six days old, and the data file itself ten days old: the backup takes the previous file and today's date,
  // not the file's.
  SetAgeDays(backup, 6);
  SetAgeDays(notes, 10);
  SaveWith(*document, u"three", notes);
  EXPECT_EQ(ReadBytes(backup), two);
  EXPECT_LT(AgeSeconds(backup), 60);

  // So the next save leaves it.
  SaveWith(*document, u"four", notes);
  EXPECT_EQ(ReadBytes(backup), two);
  EXPECT_EQ(document->DocumentScheme()->FileName(), notes);
}

TEST_F(TPlainDocumentTest, AMissingFileWithoutBackupStartsEmptyAndSilent) {
  const std::u16string notes = Path(u"notes.qbx");
  std::unique_ptr<TPlainDocument> document;
  ASSERT_NO_THROW(document = Open(notes));
  EXPECT_EQ(document->DocumentRoot()->GetText(), u"");
  EXPECT_EQ(document->LogRoot()->LogMessages()->GetCount(), 0);
  EXPECT_EQ(document->LogRoot()->GetText(), u"");
  EXPECT_EQ(document->DocumentScheme()->FileName(), notes);
  EXPECT_NE(document->DocumentSheet(), nullptr);
  EXPECT_TRUE(document->LogSheet()->ReadOnly());
  EXPECT_FALSE(FileExists(notes));
}

TEST_F(TPlainDocumentTest, AMissingFileBesideItsBackupLoadsTheBackupWithOneWarning) {
  const std::u16string notes = Path(u"notes.qbx"), backup = Path(u"notesBackup.qbx");
  WriteBytes(backup, NotesFile);
  auto document = Open(notes);
  EXPECT_EQ(document->DocumentRoot()->GetText().substr(0, 12), u"first line\r\n");
  ASSERT_EQ(document->LogRoot()->LogMessages()->GetCount(), 1);
  const TElementMessage* warning = document->LogRoot()->LogMessages()->GetItem(0);
  EXPECT_EQ(warning->Kind(), mkWarning);
  EXPECT_NE(warning->GetText().find(backup), std::u16string::npos);
  // The document is still the data file's: the next save writes it and keeps the backup.
  EXPECT_EQ(document->DocumentScheme()->FileName(), notes);
  document->SaveToFile(notes);
  EXPECT_EQ(ReadBytes(backup), NotesFile);
  EXPECT_EQ(ReadBytes(notes), NotesFile);
}

TEST_F(TPlainDocumentTest, ALockedFileMakesLoadAndSaveRaiseAndStaysUntouched) {
  const std::u16string notes = Path(u"notes.qbx");
  WriteBytes(notes, NotesFile);
  auto loaded = Open(notes);
  HANDLE lock =
      CreateFileW(Wide(notes).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  TPlainDocument document(&Settings);
  EXPECT_ANY_THROW(document.LoadFromFile(notes));
  EXPECT_EQ(document.DocumentSheet(), nullptr);
  EXPECT_EQ(document.LogSheet(), nullptr);
  EXPECT_NE(document.DocumentRoot(), nullptr);
  EXPECT_ANY_THROW(document.SaveToFile(notes));

  loaded->DocumentRoot()->SetText(u"changed");
  EXPECT_ANY_THROW(loaded->SaveToFile(notes));
  CloseHandle(lock);
  EXPECT_EQ(ReadBytes(notes), NotesFile);
}

TEST_F(TPlainDocumentTest, AFolderAtTheDataFilesPathMakesTheLoadRaiseAndWritesNothing) {
  const std::u16string notes = Path(u"notes.qbx"), backup = Path(u"notesBackup.qbx");
  ASSERT_TRUE(CreateDirectoryW(Wide(notes).c_str(), nullptr));
  WriteBytes(backup, NotesFile);
  TPlainDocument document(&Settings);
  // Told as the system's reason, not as a missing file.
  try {
    document.LoadFromFile(notes);
    ADD_FAILURE() << "no error";
  } catch (const EFileError& e) {
    EXPECT_NE(e.ErrorCode(), 2u);
    EXPECT_NE(e.Message().find(notes), std::u16string::npos);
  }
  EXPECT_EQ(document.DocumentSheet(), nullptr);
  EXPECT_ANY_THROW(document.SaveToFile(notes));
  EXPECT_TRUE(DirectoryExists(notes));
  EXPECT_EQ(ReadBytes(backup), NotesFile);
  EXPECT_FALSE(FileExists(Path(u"notesDamaged.qbx")));
}

// Which files a load finds beside the data file, and whether they are gone after it.
TEST_F(TPlainDocumentTest, ALoadRemovesOnlyTheTemporaryFilesOfCutOffSavesAndReportsOnlyOneItCannotRemove) {
  struct Case {
    const char16_t* Name;
    bool Removed;
  } cases[] = {{u"Rplc1.tmp", true},
               {u"Rplc23.tmp", true},
               {u"Rplcx.tmp", false},
               {u"Rplc1.tmp.qbx", false},
               {u"other.tmp", false}};
  for (const Case& c : cases) WriteBytes(Path(c.Name), "left");
  const std::u16string folder = Path(u"Rplc7.tmp"), held = Path(u"Rplc9.tmp"), notes = Path(u"notes.qbx");
  ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
  WriteBytes(held, "held");
  WriteBytes(notes, NotesFile);
  HANDLE lock =
      CreateFileW(Wide(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  auto document = Open(notes);
  CloseHandle(lock);
  for (const Case& c : cases) EXPECT_EQ(FileExists(Path(c.Name)), !c.Removed) << &c - cases;
  EXPECT_TRUE(DirectoryExists(folder));
  TElementMessages* log = document->LogRoot()->LogMessages();
  ASSERT_EQ(log->GetCount(), 1);
  EXPECT_EQ(log->GetItem(0)->Kind(), mkWarning);
  EXPECT_NE(log->GetItem(0)->GetText().find(held), std::u16string::npos);
}

// A data file may bear a temporary file's name: no load removes it, and no save writes through that name.
TEST_F(TPlainDocumentTest, ADataFileNamedLikeASavesTemporaryFileSurvivesItsLoadsAndSaves) {
  const std::u16string data = Path(u"Rplc1.tmp"), stray = Path(u"Rplc2.tmp");
  {
    auto document = Open(data);
    SaveWith(*document, u"first", data);
  }
  EXPECT_NE(ReadBytes(data).find("first"), std::string::npos);
  WriteBytes(stray, "left");
  {
    auto document = Open(data);
    EXPECT_FALSE(FileExists(stray));
    EXPECT_TRUE(FileExists(data));
    EXPECT_EQ(document->DocumentRoot()->GetText(), u"first");
    SaveWith(*document, u"second", data);
  }
  auto document = Open(data);
  EXPECT_EQ(document->DocumentRoot()->GetText(), u"second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(Wide(Folder))), {}), 2);
  EXPECT_TRUE(FileExists(BackupFileName(data)));
}

// A data file of ACount numbered paragraphs, as the document writes it.
std::string ParagraphsFile(int ACount) {
  std::string text = "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n";
  for (int i = 1; i <= ACount; ++i) text += "\t<Chars Value=\"paragraph " + std::to_string(i) + "\"/><Br/>\r\n";
  return text + "</Quillbox>\r\n";
}

TEST_F(TPlainDocumentTest, TheFirstSaveAfterALoadNotReadInFullKeepsTheFileAsItWasAndLeavesTheBackup) {
  const std::string whole = ParagraphsFile(306);
  std::string flipped = whole;
  flipped.replace(flipped.find("Value=\"paragraph 7\""), 5, "Valqe");
  std::string deep = "<Quillbox FormatVersion=\"1.1\"><Chars Value=\"top\"/><Br/>";
  for (int i = 0; i < 10000; ++i) deep += "<Widget>";
  for (int i = 0; i < 10000; ++i) deep += "</Widget>";
  deep += "</Quillbox>";
  struct Case {
    const char* Name;
    std::string Damaged;
    double BackupDays;
  } cases[] = {
      {"cut in half", whole.substr(0, whole.size() / 2), 0},
      {"an attribute name flipped", flipped, 6},
      {"10,000 deep", deep, 0},
  };
  const std::u16string notes = Path(u"notes.qbx"), backup = Path(u"notesBackup.qbx");
  const std::u16string kept[] = {Path(u"notesDamaged.qbx"), Path(u"notesDamaged2.qbx")};
  for (const Case& c : cases) {
    for (const std::u16string& name : kept) RemoveFile(name);
    WriteBytes(backup, whole);
    if (c.BackupDays > 0) SetAgeDays(backup, c.BackupDays);
    // A second damaged load keeps its file beside the first one's copy.
    const std::string damaged[] = {c.Damaged, c.Damaged + "\r\n"};
    for (int round = 0; round < 2; ++round) {
      WriteBytes(notes, damaged[round]);
      auto document = Open(notes);
      SaveWith(*document, u"typed", notes);
      SaveWith(*document, u"typed again", notes);
      // Compared whole, reported short: the files run to 170 kB.
      EXPECT_TRUE(ReadBytes(backup) == whole) << c.Name << " " << round;
      for (int k = 0; k <= round; ++k)
        EXPECT_TRUE(ReadBytes(kept[k]) == damaged[k]) << c.Name << " " << round << " " << k;
      int naming = 0;
      TElementMessages* log = document->LogRoot()->LogMessages();
      for (int i = 0; i < log->GetCount(); ++i)
        naming += log->GetItem(i)->GetText().find(kept[round]) != std::u16string::npos;
      EXPECT_EQ(naming, 1) << c.Name << " " << round;
    }
    EXPECT_FALSE(FileExists(Path(u"notesDamaged3.qbx"))) << c.Name;
  }
}

TEST_F(TPlainDocumentTest, AnUnknownElementRoundTripsAndWritesOneLogLine) {
  const std::string text =
      "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n"
      "\t<Chars Value=\"before\"/>\r\n"
      "\t<Widget Size=\"3\" Colour=\"red\">\r\n"
      "\t\t<Part Name=\"a\"/>\r\n"
      "\t</Widget>\r\n"
      "\t<Chars Value=\"after\"/><Br/>\r\n"
      "</Quillbox>\r\n";
  const std::u16string notes = Path(u"notes.qbx");
  WriteBytes(notes, text);
  auto document = Open(notes);
  TElementMessages* log = document->LogRoot()->LogMessages();
  ASSERT_EQ(log->GetCount(), 1);
  EXPECT_EQ(log->GetItem(0)->Kind(), mkElementError);
  EXPECT_EQ(log->GetItem(0)->GetText(), u"Unsupported element \"Widget\" in this editor");
  auto* widget = document->DocumentRoot()->FirstVisualChild();
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(log->GetItem(0)->Parts()[0].Target, IntToStr(widget->ID()));
  EXPECT_EQ(document->LogRoot()->Textor()->ParagraphCount(), 1);
  document->SaveToFile(notes);
  EXPECT_EQ(ReadBytes(notes), text);
}

TEST_F(TPlainDocumentTest, AKnotADamagedFileLeftWithoutANameIsReportedNotHeld) {
  // A broken end tag reads as an element without a name, which no unaccepted element could write back.
  const std::u16string notes = Path(u"notes.qbx"), copy = Path(u"copy.qbx");
  WriteBytes(notes, "<Quillbox FormatVersion=\"1.1\">\r\n\t<Chars Value=\"a\"/><Br/>\r\n</Q<Chars Value=\"w\"/>");
  auto document = Open(notes);
  for (TVisualElement* c = document->DocumentRoot()->FirstVisualChild(); c; c = c->NextVisualSibling())
    EXPECT_FALSE(c->HasOptions(eoUnaccepted));
  EXPECT_NO_THROW(document->SaveToFile(copy));
  bool reported = false;
  TElementMessages* log = document->LogRoot()->LogMessages();
  for (int i = 0; i < log->GetCount(); ++i) reported |= log->GetItem(i)->GetText().starts_with(u"Node \"");
  EXPECT_TRUE(reported);
}

// A picture element for the plain root's data path: it takes the text of a file that holds "picture".
class TTestPicture : public TTestEmbedded, public IDataElementFill {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTestEmbedded::TTestEmbedded;

  bool FillFromClipboard() override { return false; }
  bool FillFromFile(const std::u16string& AFileName) override {
    Text = u"from " + ExtractFileName(AFileName);
    return TPlainDocumentFixture::ReadBytes(AFileName) == "picture";
  }
};

const TElementClassInfo TTestPicture::ClassInfo{u"TElement_TestPicture", &TTestEmbedded::ClassInfo,
                                                &ElementFactory<TTestPicture>};

TEST_F(TPlainDocumentTest, DroppedFilesBecomeThePlainRootsPictureClassWhenOneIsRegistered) {
  const std::u16string good = Path(u"a.png"), bad = Path(u"b.png");
  WriteBytes(good, "picture");
  WriteBytes(bad, "other");
  ClassesGroups->GetGroup(1).push_back(&TTestPicture::ClassInfo);
  // Without the image element's registration first.
  PlainRootImageClass = nullptr;
  auto document = Open(Path(u"notes.qbx"));
  TPlainRoot* root = document->DocumentRoot();
  EXPECT_FALSE(root->DropFiles({good}));

  PlainRootImageClass = &TTestPicture::ClassInfo;
  EXPECT_FALSE(root->DropFiles({bad}));
  EXPECT_TRUE(root->DropFiles({bad, good}));
  PlainRootImageClass = nullptr;
  std::vector<std::u16string> made;
  for (TVisualElement* c = root->FirstVisualChild(); c; c = c->NextVisualSibling())
    if (auto* picture = dynamic_cast<TTestPicture*>(c)) made.push_back(picture->Text);
  EXPECT_EQ(made, std::vector<std::u16string>{u"from a.png"});
  EXPECT_TRUE(document->UndoRedo()->CanUndo());
}

TEST_F(TPlainDocumentTest, APicturePastedIntoTheRootOrACommentBecomesAnImageElement) {
  StartClipboard();
  auto document = Open(Path(u"notes.qbx"));
  TPlainRoot* root = document->DocumentRoot();
  auto* comment = TElement::CreateIn<TElement_Comment>(root->Scheme(), nullptr);
  std::vector<TVisualElement*> list{comment};
  root->InsertElements(emSelection, nullptr, list);
  comment = nullptr;
  for (TVisualElement* c = root->FirstVisualChild(); c && !comment; c = c->NextVisualSibling())
    comment = dynamic_cast<TElement_Comment*>(c);
  ASSERT_NE(comment, nullptr);
  TBitmap bitmap(4, 3);
  Clipboard->SetBitmap(bitmap);

  const auto images = [](TVisualElement* AText) {
    std::vector<TElement_Image*> found;
    for (TVisualElement* c = AText->FirstVisualChild(); c; c = c->NextVisualSibling())
      if (auto* image = dynamic_cast<TElement_Image*>(c)) found.push_back(image);
    return found;
  };
  EXPECT_TRUE(root->Paste());
  EXPECT_TRUE(comment->Paste());
  const std::vector<TElement_Image*> inRoot = images(root), inComment = images(comment);
  ASSERT_EQ(inRoot.size(), 1u);
  ASSERT_EQ(inComment.size(), 1u);
  for (TElement_Image* image : {inRoot[0], inComment[0]}) {
    EXPECT_EQ(image->TypeName(), u"png");
    ASSERT_NE(image->Preview(), nullptr);
    EXPECT_EQ(image->Preview()->GetSize().cx, 4);
  }
  EndClipboard();
}

// ---------------------------------------------------------------------------------------------------------------
// Clicks and arrow keys through embedded elements

// A data file whose root text holds ABody.
std::string DataFileWith(const std::string& ABody) {
  return "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n\t" + ABody + "\r\n</Quillbox>\r\n";
}

// The first element of class T in the root's text.
template <class T>
T* EmbeddedIn(TPlainRoot* ARoot) {
  for (TVisualElement* c = ARoot->FirstVisualChild(); c; c = c->NextVisualSibling())
    if (auto* e = dynamic_cast<T*>(c)) return e;
  return nullptr;
}

// A press and its release at a point of AElement, given to the sheet as the window gives them.
void Click(TSheet* ASheet, TVisualElement* AElement, TVisualPoint APoint) {
  const TVisualPoint at = AElement->ClientToSheet(APoint);
  ASheet->MouseDown(at, true, {});
  ASheet->MouseUp(at, true, {});
}

void Press(TSheet* ASheet, uint16_t AKey) { ASheet->KeyDown(AKey, {}); }

// The caret's character in the first paragraph, with nothing selected.
int32_t Caret(TTextorElement* AText) {
  if (!AText->Interactive()) {
    ADD_FAILURE() << "the text is not being edited";
    return -1;
  }
  const TIndexRange selection = AText->Interactive()->SelectionIndex();
  EXPECT_EQ(selection.Start, selection.End);
  EXPECT_EQ(selection.End.ParagraphIndex, 0);
  return selection.End.CharIndex;
}

TEST_F(TPlainDocumentTest, AClickAfterAClickIntoAnEmbeddedElementTypesWhereItPointsAndLeavesNoCapture) {
  const struct {
    const char* Name;
    const char* Element;  // between "Keep " and "me"
    TVisualElement* (*Target)(TPlainRoot*);
  } cases[] = {
      {"comment", "<Comment><Chars Value=\"C\"/></Comment>",
       [](TPlainRoot* ARoot) -> TVisualElement* { return EmbeddedIn<TElement_Comment>(ARoot); }},
      {"table cell", "<Table><Row><Cell><Chars Value=\"t\"/></Cell><Cell/></Row></Table>",
       [](TPlainRoot* ARoot) { return EmbeddedIn<TElement_Table>(ARoot)->GetCell(0, 0); }},
      {"frame caption", "<LogicFrame><Caption><Chars Value=\"F\"/></Caption></LogicFrame>",
       [](TPlainRoot* ARoot) -> TVisualElement* { return EmbeddedIn<TElement_LogicFrame>(ARoot)->Caption(); }},
      {"image", "<Image Type=\"bin\" Value=\"00017F80FF\"/>",
       [](TPlainRoot* ARoot) -> TVisualElement* { return EmbeddedIn<TElement_Image>(ARoot); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteBytes(Path(u"notes.qbx"),
               DataFileWith(std::string("<Chars Value=\"Keep \"/>") + c.Element + "<Chars Value=\"me\"/>"));
    auto document = Open(Path(u"notes.qbx"));
    TPlainRoot* root = document->DocumentRoot();
    TSheet* sheet = document->DocumentSheet();
    TVisualElement* target = c.Target(root);
    ASSERT_NE(target, nullptr);
    std::u16string expected = SaveText(*document);
    expected.replace(expected.find(u"Value=\"me\""), 10, u"Value=\"meX\"");

    Click(sheet, target, {target->Width() / 2, target->Height() / 2});
    EXPECT_TRUE(target->IsFocused());
    EXPECT_EQ(sheet->Captured(), nullptr);
    // Right of the row's end: the caret goes to the end of "me".
    const TVisualPoint row = root->SheetToClient(target->ClientToSheet({0, target->Height() / 2}));
    Click(sheet, root, {root->Width() - 10, row.Y});
    EXPECT_TRUE(root->IsFocused());
    EXPECT_EQ(sheet->Captured(), nullptr);
    char16_t key = u'X';
    sheet->KeyPress(key);
    EXPECT_EQ(SaveText(*document), expected);
  }
}

// A palette item run on the sheet's focused element as the palette runs it: on the selected children when the
// items came from them.
void RunPaletteItem(TSheet* ASheet, TSchemePaletteItem* AItem) {
  TVisualElement* element = ASheet->Focused();
  TPaletteList offered;
  if (!CollectPaletteItems(element, offered)) return AItem->Apply(element, 0);
  TPaletteTargetList selected;
  element->GetSelectedPaletteTargets(selected);
  ASheet->BeginUpdate();
  element->Scheme()->BeginGroup(false, AItem->GetCaption());
  AItem->ApplyToList(selected, 0);
  element->Scheme()->EndGroup();
  ASheet->EndUpdate();
}

bool Offers(const TPaletteList& AList, TPaletteNode* AItem) {
  return std::find(AList.begin(), AList.end(), AItem) != AList.end();
}

TEST_F(TPlainDocumentTest, AClickIntoTheTextAfterLeavingASelectedFrameDropsTheSelectionAndOffersTheInsertItems) {
  const struct {
    const char* Name;
    void (*Leave)(TSheet*, TPlainRoot*);  // from the text with the frame selected
  } cases[] = {
      {"into the frame's description, typing",
       [](TSheet* ASheet, TPlainRoot*) {
         RunPaletteItem(ASheet, PaletteDescriptionItem);
         char16_t key = u'd';
         ASheet->KeyPress(key);
       }},
      {"into a comment",
       [](TSheet* ASheet, TPlainRoot* ARoot) {
         TVisualElement* comment = EmbeddedIn<TElement_Comment>(ARoot);
         Click(ASheet, comment, {comment->Width() / 2, comment->Height() / 2});
       }},
  };
  TElementPaletteItem* insertFrame = FindPaletteItemOfClass(&TElement_LogicFrame::ClassInfo);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteBytes(Path(u"notes.qbx"), DataFileWith("<Comment><Chars Value=\"C\"/></Comment><Chars Value=\"ab\"/>"));
    auto document = Open(Path(u"notes.qbx"));
    TPlainRoot* root = document->DocumentRoot();
    TSheet* sheet = document->DocumentSheet();
    TRect padding;
    root->GetPadding(padding);
    // Right of the first row's end: the caret goes after "ab".
    const TVisualPoint rowEnd{root->Width() - 10, padding.Top + 2};
    Click(sheet, root, rowEnd);
    RunPaletteItem(sheet, insertFrame);
    auto* frame = EmbeddedIn<TElement_LogicFrame>(root);
    ASSERT_NE(frame, nullptr);
    uint16_t key = vkLeft;
    sheet->KeyDown(key, skShift);
    ASSERT_TRUE(frame->IsSelected());
    TPaletteList offered;
    ASSERT_TRUE(CollectPaletteItems(sheet->Focused(), offered));
    ASSERT_TRUE(Offers(offered, PaletteDescriptionItem));

    c.Leave(sheet, root);
    ASSERT_FALSE(root->IsFocused());
    EXPECT_FALSE(frame->IsSelected()) << "once the text is left";
    Click(sheet, root, rowEnd);
    ASSERT_TRUE(root->IsFocused());
    EXPECT_EQ(Caret(root), 3);
    EXPECT_FALSE(root->HasSelection());
    EXPECT_FALSE(frame->IsSelected());
    offered.clear();
    EXPECT_FALSE(CollectPaletteItems(sheet->Focused(), offered));
    EXPECT_TRUE(Offers(offered, insertFrame));
    EXPECT_FALSE(Offers(offered, PaletteDescriptionItem));
    EXPECT_FALSE(Offers(offered, PaletteCollapsedItem));
  }
}

TEST_F(TPlainDocumentTest, ArrowsCarryTheCaretPastAnEmbeddedElementInBothDirections) {
  const struct {
    const char* Name;
    const char* Element;  // between "ab" and "c"
    uint16_t Through;     // the key that walks through the element forward; its opposite walks back
  } cases[] = {
      {"table", "<Table><Row><Cell><Chars Value=\"t\"/></Cell><Cell/></Row></Table>", vkRight},
      {"comment", "<Comment><Chars Value=\"xy\"/></Comment>", vkRight},
      {"image", "<Image Type=\"bin\" Value=\"00017F80FF\"/>", vkRight},
      {"frame",
       "<LogicFrame><Content><Chars Value=\"in\"/></Content><Caption><Chars Value=\"F\"/></Caption></LogicFrame>",
       vkDown},
  };
  for (const auto& c : cases) {
    for (const bool forward : {true, false}) {
      SCOPED_TRACE(std::string(c.Name) + (forward ? " forward" : " backward"));
      WriteBytes(Path(u"notes.qbx"),
                 DataFileWith(std::string("<Chars Value=\"ab\"/>") + c.Element + "<Chars Value=\"c\"/>"));
      auto document = Open(Path(u"notes.qbx"));
      TPlainRoot* root = document->DocumentRoot();
      TSheet* sheet = document->DocumentSheet();
      const uint16_t step = forward ? vkRight : vkLeft;
      const uint16_t through = forward ? c.Through : uint16_t(c.Through == vkRight ? vkLeft : vkUp);
      root->SetFocus(fdForward, forward ? u"0,2,0,2" : u"0,3,0,3", nullptr, nullptr);
      Press(sheet, step);
      ASSERT_FALSE(root->IsFocused()) << "the element is entered";
      for (int i = 0; i < 20 && !root->IsFocused(); ++i) Press(sheet, through);
      ASSERT_TRUE(root->IsFocused());
      EXPECT_EQ(Caret(root), forward ? 3 : 2) << "on the far side of the element";
      Press(sheet, step);
      EXPECT_EQ(Caret(root), forward ? 4 : 1);
    }
  }
}

TEST_F(TPlainDocumentTest, ArrowsAndFindLeavingAFramesDescriptionGoOnAfterTheFrame) {
  WriteBytes(Path(u"notes.qbx"), DataFileWith("<LogicFrame><Description><Chars Value=\"desc\"/></Description>"
                                              "<Content><Chars Value=\"c\"/></Content></LogicFrame>"));
  for (const uint16_t key : {vkRight, vkDown}) {
    SCOPED_TRACE(key);
    auto document = Open(Path(u"notes.qbx"));
    TPlainRoot* root = document->DocumentRoot();
    auto* description = static_cast<TTextorElement*>(EmbeddedIn<TElement_LogicFrame>(root)->Description());
    description->SetFocus(fdForward, u"0,4,0,4", nullptr, nullptr);
    ASSERT_TRUE(description->IsFocused());
    Press(document->DocumentSheet(), key);
    ASSERT_TRUE(root->IsFocused());
    EXPECT_EQ(Caret(root), 1) << "after the frame";
  }
  // The sheet form's find loop over the whole document, from the frame's content, for a text that is nowhere.
  auto document = Open(Path(u"notes.qbx"));
  TSheet* sheet = document->DocumentSheet();
  EmbeddedIn<TElement_LogicFrame>(document->DocumentRoot())->Content()->Focus();
  TFindData data;
  data.FindScope = document->DocumentRoot();
  data.FindText = u"absent";
  bool found = false;
  std::vector<TVisualElement*> visited;
  for (TVisualElement* e = sheet->Focused(); e && visited.size() < 20;) {
    visited.push_back(e);
    TVisualElement* next = e->Find(&data, 0, found);
    if (found || !next || next == e) break;
    next->SetFocus(fdForward, {}, nullptr, nullptr);
    e = next;
  }
  EXPECT_FALSE(found);
  ASSERT_EQ(visited.size(), 3u) << "the content, the description, the root";
  EXPECT_EQ(visited[2], document->DocumentRoot());
}

// A data file's tree as the knot writer lays it out, so files written by hand compare with saved ones.
std::u16string KnotText(const std::string& ABytes) {
  TNodePtr<TKnot> knot(new TKnot);
  knot->LoadFromString(Utf8ToUtf16(std::string_view(ABytes).substr(ABytes.starts_with("\xEF\xBB\xBF") ? 3 : 0)));
  return knot->SaveToString();
}

TEST_F(TPlainDocumentTest, EveryUnknownElementOfTheTreeWritesOneLogLineAndRoundTrips) {
  const struct {
    const char* Name;
    const char* Body;
    std::vector<std::u16string> Reported;  // in document order
  } cases[] = {
      {"frame content", "<LogicFrame><Content><Widget Size=\"3\"/><Br/></Content></LogicFrame><Br/>", {u"Widget"}},
      {"comment", "<Comment><Chars Value=\"c\"/><Gadget/><Br/></Comment><Br/>", {u"Gadget"}},
      {"table cell", "<Table><Row><Cell><Widget Size=\"3\"/><Br/></Cell><Cell/></Row></Table><Br/>", {u"Widget"}},
      {"description",
       "<LogicFrame><Description><Widget Size=\"3\"/><Br/></Description><Content><Chars Value=\"c\"/><Br/>"
       "</Content></LogicFrame><Br/>",
       {u"Widget"}},
      {"every level",
       "<Widget A=\"1\"/><Comment><Gadget/><LogicFrame><Content><Widget A=\"3\"><Part/></Widget><Br/></Content>"
       "</LogicFrame><Br/></Comment><Br/>",
       {u"Widget", u"Gadget", u"Widget"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string text = DataFileWith(c.Body);
    const std::u16string notes = Path(u"notes.qbx");
    WriteBytes(notes, text);
    auto document = Open(notes);
    TElementMessages* log = document->LogRoot()->LogMessages();
    std::vector<std::u16string> reported;
    for (int i = 0; i < log->GetCount(); ++i) {
      const std::u16string& line = log->GetItem(i)->GetText();
      EXPECT_EQ(log->GetItem(i)->Kind(), mkElementError);
      const size_t open = line.find(u'"');
      reported.push_back(line.substr(open + 1, line.find(u'"', open + 1) - open - 1));
      const TElement* target = document->DocumentScheme()->FindByID(StrToIntDef(log->GetItem(i)->Parts()[0].Target, 0));
      EXPECT_TRUE(target && target->HasOptions(eoUnaccepted));
    }
    EXPECT_EQ(reported, c.Reported);
    document->SaveToFile(notes);
    EXPECT_EQ(KnotText(ReadBytes(notes)), KnotText(text));
  }
}

TEST_F(TPlainDocumentTest, TheWorkspaceFollowsADescriptionsRightEdgeAsItsFrameGrowsAndShrinks) {
  WriteBytes(Path(u"notes.qbx"),
             DataFileWith("<LogicFrame><Description><Chars Value=\"what the frame holds and why\"/></Description>"
                          "<Caption><Chars Value=\"F\"/></Caption></LogicFrame>"));
  auto document = Open(Path(u"notes.qbx"));
  TVisualElement* workspace = document->DocumentSheet()->Root();
  auto* frame = EmbeddedIn<TElement_LogicFrame>(document->DocumentRoot());
  TVisualElement* description = frame->Description();
  TRect padding;
  workspace->GetPadding(padding);
  const int32_t narrow = workspace->Width();
  // The caption is typed past the view's width, then back to one letter.
  for (const std::u16string& caption : {u"F" + std::u16string(80, u'w'), std::u16string(u"F")}) {
    SCOPED_TRACE(caption.size());
    frame->Caption()->SetText(caption);
    const int32_t edge = description->Left() + description->Width();
    EXPECT_EQ(edge + padding.Right > narrow, caption.size() > 1);
    EXPECT_EQ(workspace->Width(), std::max(narrow, edge + padding.Right));
  }
  EXPECT_EQ(workspace->Width(), narrow);
}

// ---------------------------------------------------------------------------------------------------------------
// Random edit sequences

class TEditRun {
 public:
  TEditRun(TPlainDocument& ADocument, uint32_t ASeed)
      : FDocument(ADocument), FRoot(ADocument.DocumentRoot()), FRandom(ASeed) {
    FRoot->SetEditClock([this] { return FClock; });
  }

  // One random edit, undo or redo, noted in Steps.
  void Step() {
    FClock += Pick(0, 1000);
    const int kind = Pick(0, 9);
    Steps += "\n" + std::to_string(kind) + " at " + std::to_string(FClock) + ":";
    switch (kind) {
      case 0:
      case 1:
      case 2: {
        const TTextRange range = RandomRange(Pick(0, 3) == 0);
        FRoot->InsertTypedText(emRange, &range, RandomText(), Pick(0, 1) == 1);
        break;
      }
      case 3: {
        const TTextRange range = RandomRange(true);
        FRoot->InsertTypedText(emRange, &range, u"", false);
        break;
      }
      case 4: {
        // Paste a copy of some stretch of the text somewhere.
        const TTextRange source = RandomRange(true);
        TNodePtr<TKnot> content(new TKnot(std::u16string(ContentKnotName)));
        content->SetAddedOptions(content->AddedOptions() | koOrderedChildren);
        FRoot->SaveRange(content.get(), fmCopy, &source, {});
        const TTextRange target = RandomRange(Pick(0, 2) == 0);
        FRoot->PerformEdit(emRange, &target, content.get(), fmCopy, {}, false);
        break;
      }
      case 5: {
        // A test element with its own text, or one of the real kinds: a logic frame, a sign, a new table or a picture.
        TVisualElement* e = nullptr;
        switch (Pick(0, 3)) {
          case 0: {
            auto* embedded = TElement::CreateIn<TTestEmbedded>(FRoot->Scheme(), nullptr);
            embedded->Text = RandomText();
            e = embedded;
            break;
          }
          case 1:
            e = TElement::CreateIn<TElement_LogicFrame>(FRoot->Scheme(), nullptr);
            break;
          case 2:
            e = TElement::CreateIn<TElement_Star>(FRoot->Scheme(), nullptr);
            break;
          default:
            if (Pick(0, 1) == 0) {
              e = TElement::CreateIn<TElement_Table>(FRoot->Scheme(), nullptr);
            } else {
              auto* image = TElement::CreateIn<TElement_Image>(FRoot->Scheme(), nullptr);
              TMemoryStream bytes;
              bytes.WriteBytes(std::string(Pick(1, 40), char(Pick(0, 255))));
              image->SetData(bytes, u"bin");
              e = image;
            }
            break;
        }
        std::vector<TVisualElement*> list{e};
        const TTextRange range = RandomRange(Pick(0, 2) == 0);
        FRoot->InsertElements(emRange, &range, list);
        break;
      }
      case 6: {
        // New bytes for a picture, or its content deleted, as the Load and Delete commands do.
        std::vector<TElement_Image*> images;
        for (TVisualElement* c = FRoot->FirstVisualChild(); c; c = c->NextVisualSibling())
          if (auto* image = dynamic_cast<TElement_Image*>(c)) images.push_back(image);
        if (!images.empty() && Pick(0, 2) == 0) {
          TElement_Image* image = images[Pick(0, static_cast<int>(images.size()) - 1)];
          if (Pick(0, 2) == 0 && image->CanDelete()) {
            image->DeleteSelection();
          } else {
            TMemoryStream bytes;
            bytes.WriteBytes(std::string(Pick(1, 40), char(Pick(0, 255))));
            image->SetPlainDataUndoable(bytes, Pick(0, 1) ? u"bin" : u"dat");
          }
          break;
        }
        std::vector<TVisualElement*> children;
        // As the Disabled command: only elements that can be disabled.
        for (TVisualElement* c = FRoot->FirstVisualChild(); c; c = c->NextVisualSibling())
          if (c->HasVisualOptions(voCanBeDisabled)) children.push_back(c);
        if (!children.empty()) {
          TVisualElement* e = children[Pick(0, static_cast<int>(children.size()) - 1)];
          e->SetDisabledUndoable(!e->IsDisabled());
        }
        break;
      }
      case 7:
      case 8:
        if (History()->CanUndo()) History()->Undo();
        break;
      default:
        if (History()->CanRedo()) History()->Redo();
        break;
    }
  }

  TUndoRedo* History() const { return FDocument.UndoRedo(); }
  // What the steps did: kind, clock and ranges.
  std::string Steps;

 private:
  int Pick(int ALow, int AHigh) { return std::uniform_int_distribution<int>(ALow, AHigh)(FRandom); }

  std::u16string RandomText() {
    static const char16_t* const pieces[] = {
        u"a", u"bc", u"xyz ", u"\r", u"\t", u"\u0416\u0423\u041A", u" ", u"long piece of text ", u"\r\nq", u"12"};
    std::u16string text;
    for (int i = Pick(1, 3); i > 0; --i) text += pieces[Pick(0, 9)];
    Steps += " \"";
    for (char16_t c : text) Steps += c < 128 ? std::string(1, char(c)) : std::string("?");
    Steps += "\"";
    return text;
  }

  TIndexPosition RandomPosition() {
    TTextor* textor = FRoot->Textor();
    const int32_t paragraph = Pick(0, textor->ParagraphCount() - 1);
    int32_t length = 0;
    for (TPortion* p = textor->ParagraphAt(paragraph)->FirstPortion(); p; p = p->Next()) length += p->Length();
    return {paragraph, Pick(0, length)};
  }

  TTextRange RandomRange(bool AWide) {
    TIndexPosition a = RandomPosition(), b = AWide ? RandomPosition() : a;
    if (b.ParagraphIndex < a.ParagraphIndex || (b.ParagraphIndex == a.ParagraphIndex && b.CharIndex < a.CharIndex))
      std::swap(a, b);
    TTextRange range;
    EXPECT_TRUE(FRoot->Textor()->IndexRangeToRange({a, b}, range));
    Steps += " " + std::to_string(a.ParagraphIndex) + "," + std::to_string(a.CharIndex) + "-" +
             std::to_string(b.ParagraphIndex) + "," + std::to_string(b.CharIndex);
    return range;
  }

  TPlainDocument& FDocument;
  TPlainRoot* FRoot;
  std::mt19937 FRandom;
  int64_t FClock = 0;
};

TEST_F(TPlainDocumentTest, UndoAllAndRedoAllOfRandomEditsGiveTheFirstAndLastBytes) {
  auto document = Open(Path(u"notes.qbx"));
  int withElements = 0, withDisabled = 0, withImages = 0;
  for (uint32_t seed = 1; seed <= 1000; ++seed) {
    if (document->DocumentRoot()->GetText().size() > 3000) document->DocumentRoot()->Clear();
    document->UndoRedo()->Clear();
    TEditRun run(*document, seed);
    const std::u16string first = SaveText(*document);
    for (int i = seed % 29 + 3; i > 0; --i) run.Step();
    // Steps may end undone: the last state is the one with every step redone, and the state the steps left is
    // as many undos from it.
    const std::u16string current = SaveText(*document);
    int pending = 0;
    for (; run.History()->CanRedo(); ++pending) run.History()->Redo();
    const std::u16string last = SaveText(*document);
    withElements += last.find(u"<Embedded") != std::u16string::npos;
    withDisabled += last.find(u"Disabled=\"1\"") != std::u16string::npos;
    withImages += last.find(u"<Image") != std::u16string::npos;
    while (run.History()->CanUndo()) run.History()->Undo();
    ASSERT_EQ(SaveText(*document), first) << "seed " << seed << run.Steps;
    while (run.History()->CanRedo()) run.History()->Redo();
    ASSERT_EQ(SaveText(*document), last) << "seed " << seed << run.Steps;
    for (int i = 0; i < pending; ++i) run.History()->Undo();
    ASSERT_EQ(SaveText(*document), current) << "seed " << seed << run.Steps;
  }
  // The sequences met embedded elements, disabled ones among them.
  EXPECT_GT(withElements, 300);
  EXPECT_GT(withDisabled, 100);
  EXPECT_GT(withImages, 100);
}

// ---------------------------------------------------------------------------------------------------------------
// Damaged data files

// Some damage to a data file: cut, flipped bytes, a foreign or repeated knot, huge values.
std::string Mutate(const std::string& AText, std::mt19937& ARandom) {
  auto pick = [&ARandom](size_t ALow, size_t AHigh) {
    return std::uniform_int_distribution<size_t>(ALow, AHigh)(ARandom);
  };
  std::string text = AText;
  for (size_t n = pick(1, 3); n > 0; --n) {
    switch (pick(0, 6)) {
      case 0:
        text.resize(pick(0, text.size()));
        break;
      case 1:
        for (size_t i = pick(1, 8); i > 0 && !text.empty(); --i)
          text[pick(0, text.size() - 1)] ^= char(1 << pick(0, 7));
        break;
      case 2:
        text.insert(pick(0, text.size()), "<Foreign a=\"1\"><Chars Value=\"in\"/></Foreign>");
        break;
      case 3: {
        const size_t start = text.find('<', pick(0, text.size()));
        const size_t end = start == std::string::npos ? start : text.find('>', start);
        if (end != std::string::npos) text.insert(end + 1, text.substr(start, end + 1 - start));
        break;
      }
      case 4:
        text.insert(pick(0, text.size()), "<Chars Value=\"" + std::string(pick(100, 3000), 'w') + "\"/>");
        break;
      case 5:
        text.insert(pick(0, text.size()), "<Sign Kind=\"99999999999999\"/><Embedded Left=\"-2147483649\"/><Br/><Br/>");
        break;
      default:
        text.insert(pick(0, text.size()), std::string(pick(1, 4), char(0xC3 + pick(0, 40))));
        break;
    }
  }
  return text;
}

TEST_F(TPlainDocumentTest, DamagedDataFilesLoadLayOutPaintAndSaveToWhatLoadsBackTheSame) {
  const std::u16string notes = Path(u"notes.qbx"), copy = Path(u"copy.qbx");
  const std::string base =
      "<Quillbox FormatVersion=\"1.1\">\r\n"
      "\t<Chars Value=\"Head line with a link http://example.invalid/x\"/><Br/>\r\n"
      "\t<Chars Value=\"tab\tand more\"/><Embedded Text=\"one\"/><Chars Value=\"tail\"/><Br/>\r\n"
      "\t<Embedded Text=\"two\" Disabled=\"1\"/><Br/>\r\n"
      "\t<Widget Size=\"3\"><Part Name=\"a\"/></Widget>\r\n"
      "\t<LogicFrame Expanded=\"0\"><Description><Chars Value=\"about\"/><Br/></Description>"
      "<Content><Chars Value=\"in \"/><Comment><Chars Value=\"c\"/><Br/></Comment><Br/></Content>"
      "<Caption><Chars Value=\"frame\"/><Br/></Caption></LogicFrame>\r\n"
      "\t<Star/><Stop/><Image Type=\"png\" Value=\"89504E470D0A1A0A\"/>"
      "<Chars Value=\"and \"/><Comment><Image Type=\"bin\" Value=\"0102\"/><Br/></Comment><Br/>\r\n"
      "\t<Table><Row><Cell><Chars Value=\"a\"/><Br/></Cell><Cell/></Row>"
      "<Row><Cell/><Cell><Chars Value=\"d\"/><Br/></Cell></Row></Table><Br/>\r\n"
      "\t<Chars Value=\"&#1046;&#1059;&#1050; last\"/><Br/>\r\n"
      "</Quillbox>\r\n";
  {
    // Intact, every kind but the unknown one is accepted.
    WriteBytes(notes, base);
    auto document = Open(notes);
    int frames = 0, signs = 0, tables = 0, images = 0;
    for (TVisualElement* c = document->DocumentRoot()->FirstVisualChild(); c; c = c->NextVisualSibling()) {
      frames += dynamic_cast<TElement_LogicFrame*>(c) != nullptr;
      signs += dynamic_cast<TElement_Star*>(c) != nullptr || dynamic_cast<TElement_Stop*>(c) != nullptr;
      tables += dynamic_cast<TElement_Table*>(c) != nullptr;
      images += dynamic_cast<TElement_Image*>(c) != nullptr;
    }
    EXPECT_EQ(images, 1);
    EXPECT_EQ((std::array<int, 3>{frames, signs, tables}), (std::array<int, 3>{1, 2, 1}));
  }
  std::mt19937 random(2026);
  HDC dc = CreateCompatibleDC(nullptr);
  for (int i = 0; i < 2000; ++i) {
    const std::string damaged = Mutate(base, random);
    WriteBytes(notes, damaged);
    std::u16string text;
    {
      std::unique_ptr<TPlainDocument> document;
      ASSERT_NO_THROW(document = Open(notes)) << i;
      document->DocumentSheet()->PaintTo(dc, {0, 0, 600, 400}, {});
      document->LogSheet()->PaintTo(dc, {0, 0, 600, 200}, {});
      ASSERT_NO_THROW(document->SaveToFile(copy)) << i << "\n" << damaged.substr(0, 800);
      text = document->DocumentRoot()->GetText();
    }
    auto back = Open(copy);
    ASSERT_EQ(back->DocumentRoot()->GetText(), text) << i;
  }
  DeleteDC(dc);
}

}  // namespace
