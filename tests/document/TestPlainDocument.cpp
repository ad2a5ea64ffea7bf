#include "tests/document/TestPlainDocument.h"

#include "document/elements/diCommonElements.h"
#include "document/elements/diDataElement.h"
#include "document/elements/diLog.h"
#include "document/elements/diTableElement.h"
#include "document/elements/diTitled.h"
#include "document/model/diClassesGroups.h"
#include "document/model/diPalette.h"
#include "document/model/diSchemeImagesWin.h"
#include "document/model/diSheet.h"
#include "foundation/cuFiles.h"
#include "foundation/cuKnot.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"

#include <atomic>

const TElementClassInfo TTestEmbedded::ClassInfo{u"TElement_Embedded", &TVisualElement::ClassInfo,
                                                 &ElementFactory<TTestEmbedded>};

TTestEmbedded::TTestEmbedded(TScheme* AScheme) : TVisualElement(AScheme) {
  SetOptions(Options() | eoValue);
  SetVisualOptions(voCanBeDisabled);
  SetBounds(0, 0, 20, 10, 2);
}

void TTestEmbedded::LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) {
  TVisualElement::LoadFromKnot(ALoader, AKnot);
  Text = AKnot->ReadString(u"Text", u"");
}

void TTestEmbedded::SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) {
  TVisualElement::SaveToKnot(ASaver, AKnot);
  if (!Text.empty()) AKnot->WriteString(u"Text", Text);
}

namespace {

std::wstring Wide(const std::u16string& AText) { return {AText.begin(), AText.end()}; }

uint64_t NowTicks() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void RemoveFolder(const std::u16string& AFolder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Wide(AFolder + u"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(Wide(AFolder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Wide(AFolder + name).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(Wide(AFolder).c_str());
}

}  // namespace

TPlainDocumentFixture::TPlainDocumentFixture() {
  InitializePalette();
  InitializeSchemeImages();
  InitializeClassesGroups();
  InitializeSoundsSettings();
  InitializeTextorElement();
  InitializeLog();
  InitializeDisableItem(ClassesLargeImagesIndex + 1);
  InitializeTitled();
  InitializeCommonElements();
  InitializeTableElement();
  InitializeDataElement();
  ClassesGroups->GetGroup(1).push_back(&TTestEmbedded::ClassInfo);
  FPreviousSounds = SetSoundPlayer([](std::u16string_view) {});
  static std::atomic<int> counter{0};
  for (;;) {
    Folder = GetTempFolder() + u"qbdoc" + IntToStr(GetCurrentProcessId()) + u"_" + IntToStr(++counter) + u"\\";
    if (CreateDirectoryW(Wide(Folder).c_str(), nullptr)) break;
  }
}

TPlainDocumentFixture::~TPlainDocumentFixture() {
  RemoveFolder(Folder);
  SetSoundPlayer(std::move(FPreviousSounds));
  FinalizeDataElement();
  FinalizeTableElement();
  FinalizeCommonElements();
  FinalizeTitled();
  FinalizeDisableItem();
  FinalizeLog();
  FinalizeTextorElement();
  FinalizeSoundsSettings();
  FinalizeClassesGroups();
  FinalizeSchemeImages();
  FinalizePalette();
}

std::u16string TPlainDocumentFixture::Path(std::u16string_view AName) const { return Folder + std::u16string(AName); }

void TPlainDocumentFixture::WriteBytes(const std::u16string& AFileName, const std::string& ABytes) {
  TFileHandle file(AFileName, TFileMode::fmCreate);
  file.Write(ABytes.data(), ABytes.size());
}

std::string TPlainDocumentFixture::ReadBytes(const std::u16string& AFileName) {
  std::string bytes;
  if (!FileExists(AFileName)) return bytes;
  TFileHandle file(AFileName, TFileMode::fmOpenRead);
  char buffer[4096];
  for (size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

void TPlainDocumentFixture::SetAgeDays(const std::u16string& AFileName, double ADays) {
  const uint64_t ticks = NowTicks() - static_cast<uint64_t>(ADays * 24 * 60 * 60 * 1e7);
  FILETIME stamp{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE file = CreateFileW(Wide(AFileName).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &stamp));
  CloseHandle(file);
}

double TPlainDocumentFixture::AgeSeconds(const std::u16string& AFileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(AFileName).c_str(), GetFileExInfoStandard, &data)) return -1;
  const uint64_t written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  return (static_cast<double>(NowTicks()) - static_cast<double>(written)) / 1e7;
}

std::u16string TPlainDocumentFixture::SaveText(TPlainDocument& ADocument) {
  TNodePtr<TKnot> knot(new TKnot);
  ADocument.DocumentScheme()->SaveElement(ADocument.DocumentScheme()->Root(), fmDocument, knot.get(), {});
  return knot->SaveToString();
}

std::unique_ptr<TPlainDocument> TPlainDocumentFixture::Open(const std::u16string& AFileName) {
  auto document = std::make_unique<TPlainDocument>(&Settings);
  document->LoadFromFile(AFileName);
  document->DocumentSheet()->SetViewSize({600, 400});
  document->LogSheet()->SetViewSize({600, 200});
  return document;
}
