#include "document/elements/diDataElement.h"
#include "document/elements/diDataElementUtils.h"
#include "document/elements/plElements.h"
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "document/model/diPalette.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"
#include "tests/document/TestPlainDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring Wide(const std::u16string& AText) { return {AText.begin(), AText.end()}; }
std::string Narrow(const std::u16string& AText) { return {AText.begin(), AText.end()}; }

int KnotCount(const TKnot& AKnot) {
  int count = 0;
  for (TKnot* k = AKnot.FirstKnot(); k; k = k->NextKnot()) ++count;
  return count;
}

std::u16string Hex(const std::string& ABytes) {
  static const char16_t Digits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (const unsigned char b : ABytes) {
    text += Digits[b >> 4];
    text += Digits[b & 15];
  }
  return text;
}

// A 2 x 1 PNG header: enough for its type and size.
const std::string SmallPng("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x02\0\0\0\x01\x08\x06\0\0\0", 29);

std::u16string StubEditorPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u16string path = FromWide(self);
  return ExtractFilePath(path) + u"document_data_editor_stub.exe";
}

// The shell as the tests see it: every request recorded, nothing started.
struct TLaunchRecord {
  std::vector<std::u16string> Executed;  // "verb|file|params"
  std::vector<std::u16string> OpenedWith;
};

class TDataElementUtilsTest : public TPlainDocumentFixture {
 protected:
  TDataElementUtilsTest() {
    InitializeDataElement();
    InitializeDataElementUtils();
  }
  ~TDataElementUtilsTest() override {
    if (FRecording) SetShellLauncher(std::move(FPreviousLauncher));
    Document.reset();
    FinalizeDataElementUtils();
    FinalizeDataElement();
  }

  // Replaces the shell for the rest of the test.
  void RecordLaunches() {
    TShellLauncher launcher;
    launcher.Execute = [this](const std::u16string& AFile, const std::u16string& AParams, const std::u16string& AVerb) {
      Launches.Executed.push_back(AVerb + u"|" + AFile + u"|" + AParams);
      return intptr_t(42);
    };
    launcher.OpenWith = [this](const std::u16string& AFile) {
      Launches.OpenedWith.push_back(AFile);
      return intptr_t(42);
    };
    FPreviousLauncher = SetShellLauncher(std::move(launcher));
    FRecording = true;
  }

  // A saved document "notes.qbx" in the test's folder holding the given element knots, loaded.
  void OpenWith(const std::string& AElements) {
    WriteBytes(Path(u"notes.qbx"), "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n" + AElements + "</Quillbox>\r\n");
    Document = Open(Path(u"notes.qbx"));
  }
  static std::string ImageKnot(const std::string& AType, const std::string& ABytes, const std::string& AExtra = {}) {
    return "\t<Image Type=\"" + AType + "\" Value=\"" + Narrow(Hex(ABytes)) + "\"" + AExtra + "/>\r\n";
  }

  std::vector<TCustomDataElement*> DataElements() const {
    std::vector<TCustomDataElement*> list;
    for (TVisualElement* e = Document->DocumentRoot()->FirstVisualChild(); e; e = e->NextVisualSibling())
      if (auto* data = dynamic_cast<TCustomDataElement*>(e)) list.push_back(data);
    return list;
  }
  static std::string DataOf(const TCustomDataElement& AElement) {
    TMemoryStream data;
    AElement.WriteDataTo(data);
    return std::string(reinterpret_cast<const char*>(data.Memory()), static_cast<size_t>(data.Size()));
  }
  size_t UndoSteps() const {
    size_t count = 0;
    for (TNode* n = Document->UndoRedo()->UndoStack().FirstChild(); n; n = n->NextSibling()) ++count;
    return count;
  }
  static bool ReportsEditingMode(TCustomDataElement& AElement) {
    AElement.Check();
    if (!AElement.Messages()) return false;
    for (int i = 0; i < AElement.Messages()->GetCount(); ++i)
      if (AElement.Messages()->GetItem(i)->GetText().find(u"editing by third-party program") != std::u16string::npos)
        return true;
    return false;
  }
  // The names of the files in the test's folder that start with "File".
  std::vector<std::u16string> TemporaryFiles() const {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(Folder + u"File*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(FromWide(data.cFileName));
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
  }
  void UseCustomEditor(TDataCategory ACategory, const std::u16string& AProgram) {
    DataElementSettings->Category(ACategory)->DefaultAction->SetValue(eaCustomEditor);
    DataElementSettings->Category(ACategory)->CustomEditor->SetValue(AProgram);
  }

  std::unique_ptr<TPlainDocument> Document;
  TLaunchRecord Launches;

 private:
  TShellLauncher FPreviousLauncher;
  bool FRecording = false;
};

TEST_F(TDataElementUtilsTest, TheFirstStartSetsOnlyThePaintProgramAsTheBitmapsEditor) {
  TDataElementSettings settings(nullptr);
  settings.Broadcast(2, 0, 0, true, true);
  TNodePtr<TKnot> root(new TKnot(u"Settings"));
  settings.Save(*root);

  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string expected = FromWide(system) + u"\\mspaint.exe";
  EXPECT_EQ(settings.Bitmaps->CustomEditor->Value(), expected);
  EXPECT_EQ(settings.Bitmaps->DefaultAction->Value(), eaAssociated);

  TKnot* data = root->FindKnot(u"Data");
  ASSERT_NE(data, nullptr);
  // Group nodes are written empty; of the values only the one set.
  ASSERT_EQ(KnotCount(*data), 5);
  for (TKnot* category = data->FirstKnot(); category; category = category->NextKnot())
    EXPECT_EQ(KnotCount(*category), category->Name() == u"ExternalEditorBitmaps" ? 1 : 0) << Narrow(category->Name());
  TKnot* bitmaps = data->FindKnot(u"ExternalEditorBitmaps");
  ASSERT_NE(bitmaps, nullptr);
  ASSERT_NE(bitmaps->FindKnot(u"CustomEditor"), nullptr);
  EXPECT_EQ(bitmaps->FindKnot(u"CustomEditor")->ReadString(u"Value", u""), expected);

  // Categories map onto the five nodes in their order.
  const TDataCategory categories[] = {TDataCategory::dcBitmaps, TDataCategory::dcIcons, TDataCategory::dcCursors,
                                      TDataCategory::dcMetafiles, TDataCategory::dcOther};
  TProperty* node = settings.FirstProperty();
  for (const TDataCategory c : categories) {
    EXPECT_EQ(settings.Category(c), node);
    node = node->NextProperty();
  }
  EXPECT_EQ(node, nullptr);
}

TEST_F(TDataElementUtilsTest, AnEmptyCustomEditorIsNotFoundAndLeavesNoFile) {
  OpenWith(ImageKnot("png", SmallPng));
  UseCustomEditor(TDataCategory::dcBitmaps, u"");
  TCustomDataElement* e = DataElements().at(0);
  try {
    StartExternalEditing(e, {}, false);
    ADD_FAILURE() << "no error raised";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), u"Specified external editor not found: \"\"");
  }
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_FALSE(e->IsExternalEditing());
}

TEST_F(TDataElementUtilsTest, TwoElementsEditedAtOnceGetTheirOwnFilesInTheDocumentsFolder) {
  OpenWith(ImageKnot("png", SmallPng) + ImageKnot("png", SmallPng + "x"));
  RecordLaunches();
  const std::vector<TCustomDataElement*> elements = DataElements();
  ASSERT_EQ(elements.size(), 2u);
  for (TCustomDataElement* e : elements) StartExternalEditing(e, {}, false);

  const std::u16string first = Path(u"File1.png"), second = Path(u"File2.png");
  EXPECT_EQ(elements[0]->ExternalEditingFileName(), first);
  EXPECT_EQ(elements[1]->ExternalEditingFileName(), second);
  EXPECT_EQ(ReadBytes(first), SmallPng);
  EXPECT_EQ(ReadBytes(second), SmallPng + "x");
  // The associated program, asked for its edit verb first.
  EXPECT_EQ(Launches.Executed, (std::vector<std::u16string>{u"edit|" + first + u"|", u"edit|" + second + u"|"}));
  for (TCustomDataElement* e : elements) EXPECT_TRUE(ReportsEditingMode(*e));

  const std::u16string saved = SaveText(*Document);
  EXPECT_NE(saved.find(u"ExternalEditingFileName=\"" + first + u"\""), std::u16string::npos);
  EXPECT_NE(saved.find(u"ExternalEditingFileName=\"" + second + u"\""), std::u16string::npos);
  TNodePtr<TKnot> copy(new TKnot);
  Document->DocumentScheme()->SaveElement(elements[0], fmCopy, copy.get(), {});
  EXPECT_EQ(copy->SaveToString().find(u"ExternalEditingFileName"), std::u16string::npos);

  // Started again, an element in editing mode reuses its file.
  StartExternalEditing(elements[0], {}, false);
  EXPECT_EQ(Launches.Executed.back(), u"edit|" + first + u"|");
  EXPECT_EQ(TemporaryFiles().size(), 2u);
}

TEST_F(TDataElementUtilsTest, TheAssociatedProgramFallsBackToTheDefaultVerbThenToOpenWith) {
  OpenWith(ImageKnot("png", SmallPng));
  int refused = 0;
  std::vector<std::u16string> calls;
  TShellLauncher launcher;
  launcher.Execute = [&](const std::u16string& AFile, const std::u16string& AParams, const std::u16string& AVerb) {
    calls.push_back(AVerb.empty() ? u"default" : AVerb);
    return intptr_t(calls.size() <= static_cast<size_t>(refused) ? SE_ERR_NOASSOC : 42);
  };
  launcher.OpenWith = [&](const std::u16string& AFile) {
    calls.push_back(u"open with");
    return intptr_t(42);
  };
  TShellLauncher previous = SetShellLauncher(std::move(launcher));
  TCustomDataElement* e = DataElements().at(0);
  const std::u16string file = Path(u"File1.png");
  WriteBytes(file, SmallPng);
  const std::vector<std::vector<std::u16string>> expected = {
      {u"edit"}, {u"edit", u"default"}, {u"edit", u"default", u"open with"}};
  for (refused = 0; refused < 3; ++refused) {
    calls.clear();
    LaunchExternalEditor(e, file, {}, false);
    EXPECT_EQ(calls, expected[static_cast<size_t>(refused)]) << refused;
  }
  // A chosen program runs with its default verb and the quoted file name.
  std::vector<std::u16string> executed;
  launcher.Execute = [&](const std::u16string& AFile, const std::u16string& AParams, const std::u16string& AVerb) {
    executed.push_back(AVerb + u"|" + AFile + u"|" + AParams);
    return intptr_t(42);
  };
  launcher.OpenWith = [](const std::u16string&) { return intptr_t(42); };
  SetShellLauncher(launcher);
  LaunchExternalEditor(e, file, u"C:\\Tools\\draw.exe", false);
  EXPECT_EQ(executed, (std::vector<std::u16string>{u"|C:\\Tools\\draw.exe|\"" + file + u"\""}));
  SetShellLauncher(std::move(previous));
}

TEST_F(TDataElementUtilsTest, ALaunchThatFailsDeletesItsNewFile) {
  OpenWith(ImageKnot("png", SmallPng));
  TShellLauncher launcher;
  launcher.Execute = [](const std::u16string&, const std::u16string&, const std::u16string&) {
    return intptr_t(SE_ERR_NOASSOC);
  };
  launcher.OpenWith = [](const std::u16string&) { return intptr_t(ERROR_FILE_NOT_FOUND); };
  TShellLauncher previous = SetShellLauncher(std::move(launcher));
  TCustomDataElement* e = DataElements().at(0);
  EXPECT_THROW(StartExternalEditing(e, {}, false), EOSError);
  EXPECT_TRUE(TemporaryFiles().empty());
  EXPECT_FALSE(e->IsExternalEditing());
  SetShellLauncher(std::move(previous));
}

TEST_F(TDataElementUtilsTest, AnEditOfAnEmptyImageThatFailsToStartLeavesTheDocumentAsItWas) {
  const struct {
    const char* Name;
    bool CustomEditor;  // else the shell refuses every way of starting the file
    bool ModifiedBefore;
  } cases[] = {
      {"editor not found", true, false},
      {"editor not found, modified before", true, true},
      {"shell refused", false, false},
      {"shell refused, modified before", false, true},
  };
  TShellLauncher launcher;
  launcher.Execute = [](const std::u16string&, const std::u16string&, const std::u16string&) {
    return intptr_t(SE_ERR_NOASSOC);
  };
  launcher.OpenWith = [](const std::u16string&) { return intptr_t(ERROR_FILE_NOT_FOUND); };
  TShellLauncher previous = SetShellLauncher(std::move(launcher));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    OpenWith("\t<Image/>\r\n");
    if (c.CustomEditor)
      UseCustomEditor(TDataCategory::dcBitmaps, Path(u"missing.exe"));
    else
      DataElementSettings->Bitmaps->DefaultAction->SetValue(eaAssociated);
    TCustomDataElement* e = DataElements().at(0);
    ASSERT_FALSE(e->HasValue());
    Document->UndoRedo()->SetModified(c.ModifiedBefore);
    const size_t steps = UndoSteps();
    EXPECT_THROW(StartExternalEditing(e, {}, false), Exception);
    EXPECT_FALSE(e->HasValue());
    EXPECT_EQ(e->TypeName(), u"");
    EXPECT_FALSE(e->IsExternalEditing());
    EXPECT_EQ(UndoSteps(), steps);
    EXPECT_EQ(Document->UndoRedo()->Modified(), c.ModifiedBefore);
    EXPECT_TRUE(TemporaryFiles().empty());
  }
  SetShellLauncher(std::move(previous));
}

TEST_F(TDataElementUtilsTest, UndoingEditRemovesItsFileAndRedoMakesItAgainFromTheData) {
  const struct {
    const char* Name;
    std::string Knot;
  } cases[] = {
      {"picture", ImageKnot("png", SmallPng)},
      {"empty image", "\t<Image/>\r\n"},
  };
  RecordLaunches();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    OpenWith(c.Knot);
    TCustomDataElement* e = DataElements().at(0);
    StartExternalEditing(e, {}, false);
    const std::u16string file = Path(u"File1.png");
    ASSERT_EQ(e->ExternalEditingFileName(), file);
    const std::string data = DataOf(*e);
    EXPECT_EQ(ReadBytes(file), data);

    Document->UndoRedo()->Undo();
    EXPECT_FALSE(e->IsExternalEditing());
    EXPECT_TRUE(TemporaryFiles().empty());
    Document->UndoRedo()->Redo();
    EXPECT_EQ(e->ExternalEditingFileName(), file);
    EXPECT_EQ(DataOf(*e), data);
    EXPECT_EQ(ReadBytes(file), data);
    EXPECT_EQ(TemporaryFiles().size(), 1u);

    // Cancel, undone into editing and redone: the file follows the mode the same way.
    CancelExternalEditing(e);
    Document->UndoRedo()->Undo();
    EXPECT_EQ(ReadBytes(file), data);
    Document->UndoRedo()->Redo();
    EXPECT_FALSE(e->IsExternalEditing());
    EXPECT_TRUE(TemporaryFiles().empty());
    Document.reset();
    for (const std::u16string& left : TemporaryFiles()) RemoveFile(Path(left));
  }
}

TEST_F(TDataElementUtilsTest, TheStubEditorsPictureIsAppliedInOneStepAndUndoneIntoEditingAgain) {
  OpenWith(ImageKnot("png", SmallPng));
  UseCustomEditor(TDataCategory::dcBitmaps, StubEditorPath());
  TCustomDataElement* e = DataElements().at(0);
  StartExternalEditing(e, {}, false);
  const std::u16string file = Path(u"File1.png");
  ASSERT_EQ(e->ExternalEditingFileName(), file);

  // The stub moves its picture over the file: wait until it is there, as long as a hang would take (a loaded
  // machine took over 15 s to start the stub). Wine's loader sometimes gives up on a new process before it runs
  // (a full run on a loaded machine never saw the picture): halfway, the stub is started once more on the file, as
  // a user would open the editor again.
  std::string edited;
  for (int attempt = 0; attempt < 2 && edited.size() != 157; ++attempt) {
    if (attempt > 0)
      ShellExecuteW(nullptr, nullptr, Wide(StubEditorPath()).c_str(), Wide(u"\"" + file + u"\"").c_str(), nullptr,
                    SW_SHOWNORMAL);
    for (int i = 0; i < 600 && edited.size() != 157; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      edited = ReadBytes(file);
    }
  }
  ASSERT_EQ(edited.size(), 157u) << "the stub editor did not write the file";

  const size_t steps = UndoSteps();
  ApplyExternalEditing(e);
  EXPECT_EQ(DataOf(*e), edited);
  EXPECT_EQ(e->TypeName(), u"png");
  std::u16string hint;
  e->GetHint(hint);
  EXPECT_NE(hint.find(u"png 64x64"), std::u16string::npos) << Narrow(hint);
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(e->IsExternalEditing());
  EXPECT_EQ(UndoSteps(), steps + 1);

  Document->UndoRedo()->Undo();
  EXPECT_EQ(DataOf(*e), SmallPng);
  EXPECT_EQ(e->ExternalEditingFileName(), file);
  EXPECT_TRUE(FileExists(file));

  // Cancel deletes the file and leaves the mode.
  CancelExternalEditing(e);
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(e->IsExternalEditing());
  EXPECT_EQ(DataOf(*e), SmallPng);
}

TEST_F(TDataElementUtilsTest, ALoadedNameOutsideThePatternDropsTheModeAndTheFileIsNeverTouched) {
  const std::u16string foreign = Path(u"notes-keep.png");
  WriteBytes(foreign, "keep");
  OpenWith(ImageKnot("png", SmallPng, " ExternalEditingFileName=\"" + Narrow(foreign) + "\""));
  TCustomDataElement* e = DataElements().at(0);
  EXPECT_FALSE(e->IsExternalEditing());
  RecordLaunches();
  ApplyExternalEditing(e);
  CancelExternalEditing(e);
  EXPECT_EQ(ReadBytes(foreign), "keep");
  EXPECT_EQ(DataOf(*e), SmallPng);
  EXPECT_TRUE(Launches.Executed.empty());
}

// A document that names its own data file (or the backup) as an editing file, spelled as the file system would
// still find it: the name is refused on load, and should it be set anyway Cancel and Apply leave the file alone.
TEST_F(TDataElementUtilsTest, TheDataFileAndItsBackupAreNeverEditingFilesUnderAnySpelling) {
  const std::u16string folder = Path(u"J\u00F6rg \u00C4\\");
  ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
  const std::u16string data = folder + u"File1.png";
  const std::u16string backup = folder + u"File1Backup.qbx";
  WriteBytes(backup, "backup");
  const auto shortName = [](const std::u16string& AName) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetShortPathNameW(Wide(AName).c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? FromWide(buffer) : AName;
  };
  const auto slashes = [](std::u16string AName) {
    std::replace(AName.begin(), AName.end(), u'\\', u'/');
    return AName;
  };
  wchar_t previousFolder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previousFolder);
  SetCurrentDirectoryW(Wide(folder).c_str());
  const std::u16string spellings[] = {
      data,
      folder + u"FILE1.png",
      LowerCaseAscii(Folder) + u"j\u00F6rg \u00E4\\file1.png",
      Path(u"J\u00D6RG \u00C4\\File1.PNG"),
      folder + u".\\File1.png",
      folder + u"..\\J\u00F6rg \u00C4\\File1.png",
      Path(u"J\u00F6rg \u00C4\\sub\\..\\File1.png"),
      slashes(data),
      folder + u"/File1.png",
      data + u".",
      data + u" ",
      data + u". .",
      shortName(folder) + u"File1.png",
      u"File1.png",
      u".\\File1.png",
      u"\\\\?\\" + data,
      u"\\\\.\\" + data,
      data + u"::$DATA",
      backup,
      folder + u"FILE1BACKUP.QBX",
      shortName(backup),
  };
  for (const std::u16string& spelling : spellings) {
    SCOPED_TRACE(Utf16ToUtf8(spelling));
    const std::string document =
        "\xEF\xBB\xBF<Quillbox FormatVersion=\"1.1\">\r\n" +
        ImageKnot("png", SmallPng, " ExternalEditingFileName=\"" + Utf16ToUtf8(spelling) + "\"") + "</Quillbox>\r\n";
    WriteBytes(data, document);
    Document = Open(data);
    TCustomDataElement* e = DataElements().at(0);
    EXPECT_FALSE(e->IsExternalEditing());

    e->SetExternalEditingFileName(spelling);
    CancelExternalEditing(e);
    e->SetExternalEditingFileName(spelling);
    try {
      ApplyExternalEditing(e);
    } catch (const Exception&) {
      // A spelling the system cannot open is not read back; what counts is that no file went.
    }
    Document.reset();
    EXPECT_EQ(ReadBytes(data), document);
    EXPECT_EQ(ReadBytes(backup), "backup");
  }
  SetCurrentDirectoryW(previousFolder);
  RemoveFile(data);
  RemoveFile(backup);
  RemoveDirectoryW(Wide(folder).c_str());
}

TEST_F(TDataElementUtilsTest, DataOfAnUnknownTypeOpensTheOpenWithDialogAndStartsNothing) {
  OpenWith(ImageKnot("exe", "MZ\x90"));
  RecordLaunches();
  TCustomDataElement* e = DataElements().at(0);
  uint16_t key = VK_RETURN;
  e->KeyDown(key, {});
  const std::u16string file = Path(u"File1.bin");
  EXPECT_EQ(Launches.OpenedWith, (std::vector<std::u16string>{file}));

  // The Edit item does the same on the element's file.
  TPaletteList items;
  e->GetPaletteItems(items);
  TPaletteItem* edit = nullptr;
  for (TPaletteNode* node : items)
    if (auto* item = dynamic_cast<TSubExecutablePaletteItem*>(node)) edit = item;
  ASSERT_NE(edit, nullptr);
  e->ExecutePaletteItem(e, edit, 0);
  EXPECT_EQ(Launches.OpenedWith, (std::vector<std::u16string>{file, file}));
  EXPECT_TRUE(Launches.Executed.empty());

  // A custom editor chosen for the category still runs.
  UseCustomEditor(TDataCategory::dcOther, StubEditorPath());
  StartExternalEditing(e, {}, false);
  EXPECT_EQ(Launches.Executed, (std::vector<std::u16string>{u"|" + StubEditorPath() + u"|\"" + file + u"\""}));
}

TEST_F(TDataElementUtilsTest, ALoadedEditingFileKeepsTheModeOnlyUnderTheElementsOwnType) {
  const struct {
    const char* Type;
    const char16_t* File;
    bool Kept;
  } cases[] = {
      {"png", u"File1.png", true},  {"png", u"File1.exe", false}, {"png", u"File1.bat", false},
      {"png", u"File1.jpg", false}, {"exe", u"File1.exe", false}, {"exe", u"File1.bin", true},
      {"txt", u"File1.txt", true},
  };
  for (const auto& c : cases) {
    const std::u16string file = Path(c.File);
    WriteBytes(file, "MZ planted");
    OpenWith(ImageKnot(c.Type, SmallPng, " ExternalEditingFileName=\"" + Narrow(file) + "\""));
    EXPECT_EQ(DataElements().at(0)->IsExternalEditing(), c.Kept) << c.Type << " " << Narrow(file);
    Document.reset();
    RemoveFile(file);
  }
}

TEST_F(TDataElementUtilsTest, AnEditingFileOfARunnableTypeIsNeverStartedWhateverTheElementsType) {
  OpenWith(ImageKnot("png", SmallPng));
  RecordLaunches();
  TCustomDataElement* e = DataElements().at(0);
  std::vector<std::u16string> files;
  for (const char16_t* name : {u"File1.exe", u"File1.bat", u"File1.lnk", u"File1.url", u"File1.js", u"File1.EXE"}) {
    files.push_back(Path(name));
    WriteBytes(files.back(), "MZ planted");
    e->SetExternalEditingFileName(files.back());
    uint16_t key = VK_RETURN;
    e->KeyDown(key, {});
  }
  EXPECT_TRUE(Launches.Executed.empty());
  EXPECT_EQ(Launches.OpenedWith, files);
}

TEST_F(TDataElementUtilsTest, DataOfARunnableTypeIsWrittenAsBinAndKeepsItsTypeOnApply) {
  const struct {
    const char* Type;
    const char16_t* Extension;
  } cases[] = {
      {"exe", u"bin"}, {"com", u"bin"}, {"bat", u"bin"}, {"cmd", u"bin"}, {"scr", u"bin"},
      {"pif", u"bin"}, {"lnk", u"bin"}, {"url", u"bin"}, {"js", u"bin"},  {"jse", u"bin"},
      {"vbs", u"bin"}, {"vbe", u"bin"}, {"wsf", u"bin"}, {"hta", u"bin"}, {"msi", u"bin"},
      {"ps1", u"bin"}, {"reg", u"bin"}, {"cpl", u"bin"}, {"txt", u"txt"},
  };
  RecordLaunches();
  const std::string bytes = "MZ\x90 runnable";
  for (const auto& c : cases) {
    Launches = {};
    OpenWith(ImageKnot(c.Type, bytes));
    TCustomDataElement* e = DataElements().at(0);
    uint16_t key = VK_RETURN;
    e->KeyDown(key, {});
    const std::u16string file = Path(u"File1." + std::u16string(c.Extension));
    EXPECT_EQ(e->ExternalEditingFileName(), file) << c.Type;
    EXPECT_EQ(ReadBytes(file), bytes) << c.Type;
    EXPECT_EQ(TemporaryFiles().size(), 1u) << c.Type;
    EXPECT_EQ(Launches.OpenedWith, (std::vector<std::u16string>{file})) << c.Type;
    EXPECT_TRUE(Launches.Executed.empty()) << c.Type;

    ApplyExternalEditing(e);
    EXPECT_EQ(Narrow(e->TypeName()), c.Type);
    EXPECT_EQ(DataOf(*e), bytes) << c.Type;
    EXPECT_FALSE(e->IsExternalEditing()) << c.Type;
    Document.reset();
    for (const std::u16string& left : TemporaryFiles()) RemoveFile(Path(left));
  }
}

// Only types known to open without running anything keep their extension; every other type, known or not, is
// written as ".bin".
TEST(EditingFileExtension, OnlyTypesThatOpenWithoutRunningAnythingKeepTheirExtension) {
  const struct {
    const char16_t* Type;
    const char16_t* Extension;
  } cases[] = {
      {u"png", u"png"},  {u"JPG", u"jpg"},  {u"jfif", u"jfif"},     {u"tiff", u"tiff"}, {u"ico", u"ico"},
      {u"cur", u"cur"},  {u"emf", u"emf"},  {u"wmf", u"wmf"},       {u"webp", u"webp"}, {u"txt", u"txt"},
      {u"rtf", u"rtf"},  {u"pdf", u"pdf"},  {u"docx", u"docx"},     {u"xlsx", u"xlsx"}, {u"pptx", u"pptx"},
      {u"odt", u"odt"},  {u"ods", u"ods"},  {u"mp3", u"mp3"},       {u"wav", u"wav"},   {u"mp4", u"mp4"},
      {u"zip", u"zip"},  {u"docm", u"bin"}, {u"dotm", u"bin"},      {u"xlsm", u"bin"},  {u"xltm", u"bin"},
      {u"xlam", u"bin"}, {u"pptm", u"bin"}, {u"ppsm", u"bin"},      {u"potm", u"bin"},  {u"ppam", u"bin"},
      {u"doc", u"bin"},  {u"xls", u"bin"},  {u"xlsb", u"bin"},      {u"ppt", u"bin"},   {u"iqy", u"bin"},
      {u"slk", u"bin"},  {u"rdp", u"bin"},  {u"iso", u"bin"},       {u"img", u"bin"},   {u"vhd", u"bin"},
      {u"one", u"bin"},  {u"htm", u"bin"},  {u"html", u"bin"},      {u"mht", u"bin"},   {u"svg", u"bin"},
      {u"wsb", u"bin"},  {u"ppkg", u"bin"}, {u"themepack", u"bin"}, {u"exe", u"bin"},   {u"lnk", u"bin"},
      {u"js", u"bin"},   {u"tmp", u"bin"},  {u"qbx", u"bin"},       {u"x.exe", u"bin"}, {u"", u"bin"},
  };
  for (const auto& c : cases) EXPECT_EQ(EditingFileExtension(c.Type), c.Extension) << Narrow(c.Type);
}

TEST(DataStreamImageSize, ReadsFromThePositionAndAsksTheSystemForIconsAndMetafiles) {
  TMemoryStream png;
  png.WriteBytes("abc" + SmallPng);
  png.SetPosition(3);
  TImageSize size;
  EXPECT_TRUE(GetImageSize(png, dtPng, size));
  EXPECT_EQ(size, (TImageSize{2, 1}));
  EXPECT_EQ(png.Position(), 3);

  TMemoryStream icon;
  icon.WriteBytes(std::string("\0\0\1\0\0\0", 6));
  icon.SetPosition(0);
  EXPECT_FALSE(GetImageSize(icon, dtIco, size));
  EXPECT_EQ(size, (TImageSize{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)}));

  RECT frame{0, 0, 2000, 1000};  // hundredths of a millimetre
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  ASSERT_NE(dc, nullptr);
  Rectangle(dc, 0, 0, 50, 25);
  HENHMETAFILE metafile = CloseEnhMetaFile(dc);
  std::string bytes(GetEnhMetaFileBits(metafile, 0, nullptr), '\0');
  GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), reinterpret_cast<BYTE*>(bytes.data()));
  DeleteEnhMetaFile(metafile);
  TMemoryStream emf;
  emf.WriteBytes(bytes);
  emf.SetPosition(0);
  EXPECT_TRUE(GetImageSize(emf, dtEmf, size));
  EXPECT_GT(size.Width, size.Height);
  emf.SetSize(10);
  emf.SetPosition(0);
  EXPECT_FALSE(GetImageSize(emf, dtEmf, size));
  EXPECT_EQ(size, (TImageSize{100, 100}));
}

// Keys under HKEY_CURRENT_USER that a test writes and deletes again.
class TTestKeys {
 public:
  ~TTestKeys() {
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) RegDeleteTreeW(HKEY_CURRENT_USER, Wide(*it).c_str());
    for (const auto& [key, name] : FValues) Remove(key, name);
  }
  // ARoot is deleted with everything under it at the end.
  void Own(const std::u16string& ARoot) { FCreated.push_back(ARoot); }
  // A value in a key others share, deleted at the end.
  void OwnValue(const std::u16string& AKey, const std::u16string& AName) { FValues.emplace_back(AKey, AName); }
  static void Set(const std::u16string& AKey, const std::u16string& AName, const std::u16string& AValue) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(AKey).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring value = Wide(AValue);
    RegSetValueExW(key, AName.empty() ? nullptr : Wide(AName).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(key);
  }
  static void Remove(const std::u16string& AKey, const std::u16string& AName) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(AKey).c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, Wide(AName).c_str());
    RegCloseKey(key);
  }

 private:
  std::vector<std::u16string> FCreated;
  std::vector<std::pair<std::u16string, std::u16string>> FValues;
};

TEST_F(TDataElementUtilsTest, OpenWithListsComeFromTheRegistryEachProgramOnce) {
  const std::u16string ext = u"qbtst" + IntToStr(GetCurrentProcessId() % 1000);
  const std::u16string classesPath = u"Software\\QuillboxTests\\Classes" + IntToStr(GetCurrentProcessId()) + u"\\";
  const std::u16string fileExts = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\." + ext;
  const std::u16string muiCache = u"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache";
  TTestKeys keys;
  keys.Own(classesPath);
  keys.Own(fileExts);
  const TOpenWithRegistry registry{HKEY_CURRENT_USER, classesPath};

  const std::u16string one = Path(u"Editor One.exe"), two = Path(u"EditorTwo.exe"), library = Path(u"Viewer.dll");
  for (const std::u16string& program : {one, two, library}) WriteBytes(program, "MZ");
  keys.Set(classesPath + u"." + ext + u"\\OpenWithList\\one.exe", u"", u"");
  keys.Set(classesPath + u"." + ext + u"\\OpenWithList\\gone.exe", u"", u"");
  keys.Set(classesPath + u"." + ext + u"\\OpenWithProgids", u"QbTest.Doc", u"");
  keys.Set(classesPath + u"." + ext + u"\\OpenWithProgids", u"QbTest.Dll", u"");
  keys.Set(classesPath + u"Applications\\one.exe\\shell\\open\\command", u"", u"\"" + one + u"\" \"%1\"");
  keys.Set(classesPath + u"Applications\\two.exe\\shell\\edit\\command", u"", two + u" %1");
  keys.Set(classesPath + u"Applications\\two.exe\\shell\\open\\command", u"", u"\"" + one + u"\" /open");
  keys.Set(classesPath + u"Applications\\gone.exe\\shell\\open\\command", u"", u"C:\\nowhere\\gone.exe %1");
  keys.Set(classesPath + u"QbTest.Doc\\shell\\open\\command", u"", u"\"" + one + u"\" /doc \"%1\"");
  keys.Set(classesPath + u"QbTest.Dll\\shell\\view\\command", u"",
           u"%SystemRoot%\\system32\\rundll32.exe " + library + u",Show %1");
  keys.Set(fileExts + u"\\OpenWithList", u"MRUList", u"a");
  keys.Set(fileExts + u"\\OpenWithList", u"a", u"two.exe");
  keys.Set(fileExts, u"Application", u"TWO.EXE");
  keys.Set(muiCache, one, u"First Editor");
  keys.Set(muiCache, two, u"");
  keys.OwnValue(muiCache, one);
  keys.OwnValue(muiCache, two);

  int defaultIndex = -2;
  std::vector<std::u16string> names, programs;
  const std::vector<std::u16string> verbs{u"edit", u"open", u"view"};
  GetOpenWithPrograms(ext, verbs, defaultIndex, names, programs, registry);
  // Most recently used first; the unquoted command's program, the quoted one's, the rest skipped.
  EXPECT_EQ(programs, (std::vector<std::u16string>{two, one}));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"EditorTwo", u"First Editor"}));
  EXPECT_EQ(defaultIndex, 0);

  // Without a preferred application the first program identifier's program is the default.
  keys.Remove(fileExts, u"Application");
  GetOpenWithPrograms(ext, verbs, defaultIndex, names, programs, registry);
  EXPECT_EQ(defaultIndex, 1);

  // The Edit item's menu for an element of that type, and for a type nothing is registered for.
  OpenWith(ImageKnot(Narrow(ext), "data") + ImageKnot("qbnone", "data"));
  std::vector<TPaletteSubCommand> menu;
  GetEditSubCommands(DataElements().at(0), menu, registry);
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[0].Caption, u"EditorTwo");
  EXPECT_EQ(menu[0].Parameter, two);
  EXPECT_EQ(menu[1].Parameter, one);
  EXPECT_EQ(menu[2].Caption, u"-");
  EXPECT_EQ(menu[3].Caption, u"Open with...");
  EXPECT_EQ(menu[3].Parameter, u"");
  menu.clear();
  GetEditSubCommands(DataElements().at(1), menu, registry);
  ASSERT_EQ(menu.size(), 1u);
  EXPECT_EQ(menu[0].Caption, u"Open with...");
}

}  // namespace
