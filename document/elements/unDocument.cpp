#include "document/elements/unDocument.h"

#include "document/elements/diLog.h"
#include "document/elements/plElements.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "document/model/diSheet.h"
#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUnicode.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"

#include <cstdint>

namespace {

// A backup younger than this is left alone.
constexpr uint64_t BackupAge = uint64_t(5) * 24 * 60 * 60 * 10000000;  // in 100-nanosecond ticks

uint64_t Ticks(const FILETIME& ATime) { return (uint64_t(ATime.dwHighDateTime) << 32) | ATime.dwLowDateTime; }

std::wstring WinName(const std::u16string& AName) { return {AName.begin(), AName.end()}; }

// The last-write time of a file; false when it cannot be read (a missing file among others).
bool LastWriteTicks(const std::u16string& AFileName, uint64_t& ATicks) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WinName(AFileName).c_str(), GetFileExInfoStandard, &data)) return false;
  ATicks = Ticks(data.ftLastWriteTime);
  return true;
}

uint64_t NowTicks() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

// A file or a folder.
bool PathTaken(const std::u16string& AName) { return FileExists(AName) || DirectoryExists(AName); }

// AFileName without its extension.
std::u16string WithoutExtension(const std::u16string& AFileName) {
  const std::u16string name = ExtractFileName(AFileName);
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? AFileName : AFileName.substr(0, AFileName.size() - (name.size() - dot));
}

}  // namespace

std::u16string BackupFileName(const std::u16string& AFileName) { return WithoutExtension(AFileName) + u"Backup.qbx"; }

std::u16string DamagedCopyName(const std::u16string& AFileName, int ANumber) {
  return WithoutExtension(AFileName) + u"Damaged" + (ANumber > 1 ? IntToStr(ANumber) : std::u16string()) + u".qbx";
}

void MakeBackupCopy(const std::u16string& AFileName, bool AForce) {
  const std::u16string backup = BackupFileName(AFileName);
  uint64_t written;
  const uint64_t now = NowTicks();
  if (!AForce && LastWriteTicks(backup, written) && written + BackupAge > now) return;
  if (!CopyFileW(WinName(AFileName).c_str(), WinName(backup).c_str(), FALSE)) return;
  // The copy carries the source's date; left so, a backup would look old again at the next save.
  HANDLE file = CreateFileW(WinName(backup).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  FILETIME stamp;
  GetSystemTimeAsFileTime(&stamp);
  SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
}

// ---------------------------------------------------------------------------------------------------------------
// Plain document

TPlainDocument::TPlainDocument(TSheetSettings* ASheetSettings) : FSheetSettings(ASheetSettings) {
  FUndoRedo = std::make_unique<TUndoRedo>();
  FLogScheme = std::make_unique<TScheme>(&TLogRoot::ClassInfo, u"");
  FLogScheme->SetReadOnly(true);
  FDocumentScheme = std::make_unique<TScheme>(&TPlainRoot::ClassInfo, u"Quillbox");
  FDocumentScheme->SetMessages(LogRoot()->LogMessages());
  FDocumentScheme->SetUndoRedo(FUndoRedo.get());
}

TPlainDocument::~TPlainDocument() {
  if (FLogSheet) LogRoot()->SetVisualParent(nullptr);
  FLogSheet.reset();
  // The log's root owns the list the document reports to; the document's elements still report while they go.
  FDocumentScheme->SetMessages(nullptr);
  FLogScheme.reset();
  if (FDocumentSheet) DocumentRoot()->SetVisualParent(nullptr);
  FDocumentSheet.reset();
  FDocumentScheme.reset();
  FUndoRedo.reset();
}

TPlainRoot* TPlainDocument::DocumentRoot() const {
  return FDocumentScheme ? static_cast<TPlainRoot*>(FDocumentScheme->Root()) : nullptr;
}

TLogRoot* TPlainDocument::LogRoot() const { return FLogScheme ? static_cast<TLogRoot*>(FLogScheme->Root()) : nullptr; }

void TPlainDocument::LoadFromFile(const std::u16string& AFileName) {
  TBusyCursor busy;
  if (FLogSheet) LogRoot()->SetVisualParent(nullptr);
  FLogSheet.reset();
  if (FDocumentSheet) DocumentRoot()->SetVisualParent(nullptr);
  FDocumentSheet.reset();

  FLoadedInPart.clear();
  FReadInPart.clear();
  std::u16string read;
  // Only nothing at all is a first start: a folder in the file's place raises as an unreadable file does.
  if (PathTaken(AFileName)) {
    FDocumentScheme->LoadFromFile(AFileName);
    read = AFileName;
  } else {
    // The first start has no file; a file lost beside its backup comes back from the backup, or the next saves
    // would replace that backup with an empty document.
    const std::u16string backup = BackupFileName(AFileName);
    if (FileExists(backup)) {
      FDocumentScheme->LoadFromFile(backup);
      read = backup;
      LogRoot()->LogMessages()->Add(
          mkWarning, FormatLocStrOr(IdBackupLoaded, u"\"%1\" was missing; its backup \"%2\" was loaded instead",
                                    {QuoteMessageValue(AFileName), QuoteMessageValue(backup)}));
    }
    FDocumentScheme->SetFileName(AFileName);
  }
  if (!read.empty() && FDocumentScheme->LoadedInPart()) {
    FLoadedInPart = AFileName;
    FReadInPart = read;
  }
  RemoveStrayTempFiles(AFileName);

  FLogSheet = std::make_unique<TSheet>(FSheetSettings);
  PlaceOnSheet(FLogSheet.get(), LogRoot(), FLogViewSize);
  FLogSheet->SetReadOnly(true);
  FLogSheet->FocusFirst();
  FDocumentSheet = std::make_unique<TSheet>(FSheetSettings);
  PlaceOnSheet(FDocumentSheet.get(), DocumentRoot(), FDocumentViewSize);
  FDocumentSheet->FocusFirst();
}

void TPlainDocument::SetViewSizes(TVisualSize ADocument, TVisualSize ALog) {
  FDocumentViewSize = ADocument;
  FLogViewSize = ALog;
}

void TPlainDocument::SaveToFile(const std::u16string& AFileName, bool AKeepName) {
  // Without a load the tree is not the file's content: saving it would replace the file with less.
  if (!FDocumentSheet) throw EStreamError(u"The document \"" + AFileName + u"\" was not loaded and is not saved");
  if (AFileName == FLoadedInPart) {
    // The save writes only what was read: the file as it was goes first where no save reaches it, and the backup,
    // perhaps the one copy of what the load missed, stays as it is.
    if (!FReadInPart.empty()) KeepDamagedCopy(AFileName);
    if (!PathTaken(BackupFileName(AFileName))) MakeBackupCopy(AFileName);
  } else {
    MakeBackupCopy(AFileName, AFileName != FDocumentScheme->FileName());
  }
  FDocumentScheme->SaveToFile(AFileName, AKeepName);
}

void TPlainDocument::KeepDamagedCopy(const std::u16string& AFileName) {
  for (int n = 1;; ++n) {
    const std::u16string copy = DamagedCopyName(AFileName, n);
    // Never over an existing file: every earlier copy stays.
    if (CopyFileW(WinName(FReadInPart).c_str(), WinName(copy).c_str(), TRUE)) {
      LogRoot()->LogMessages()->Add(
          mkWarning, FormatLocStrOr(IdDamagedKept, u"\"%1\" was not read in full; it is kept unchanged as \"%2\"",
                                    {QuoteMessageValue(FReadInPart), QuoteMessageValue(copy)}));
      FReadInPart.clear();
      return;
    }
    const uint32_t error = GetLastOSError();
    // Gone since the load: no save can take it any more.
    if (!FileExists(FReadInPart)) {
      FReadInPart.clear();
      return;
    }
    if (PathTaken(copy) && n < 100000) continue;
    // The copy is a step of saving the data file, and what the user asked for.
    throw EFCreateError(SaveFailedMessage(AFileName, SysErrorMessage(error)), error);
  }
}

void TPlainDocument::RemoveStrayTempFiles(const std::u16string& AFileName) {
  // One instance runs at a time: a temporary file of ours found now belongs to a save that was cut off, unless it
  // is the data file itself, which may bear such a name (names of one folder compare without regard to case). The
  // backup and the damaged copies end in ".qbx" and never do.
  const std::u16string dataName = ExtractFileName(AFileName);
  TStringList found;
  ListFiles(ExtractFilePath(AFileName), u"Rplc*.tmp", found, true, true);
  for (int i = 0; i < found.Count(); ++i)
    if (IsReplaceTempName(ExtractFileName(found[i])) && !SameTextFolded(ExtractFileName(found[i]), dataName) &&
        !RemoveFile(found[i]))
      LogRoot()->LogMessages()->Add(
          mkWarning, FormatLocStrOr(IdTempNotRemoved,
                                    u"The temporary file \"%1\" left by an interrupted save could not be removed",
                                    {QuoteMessageValue(found[i])}));
}

void TPlainDocument::PlaceOnSheet(TSheet* ASheet, TVisualElement* ARoot, const std::optional<TVisualSize>& AViewSize) {
  if (AViewSize) ASheet->SetViewSize(*AViewSize);
  TRect padding;
  ASheet->Root()->GetPadding(padding);
  ARoot->SetBounds(padding.Left, padding.Top, ARoot->Width(), ARoot->Height(), ARoot->Descent());
  ARoot->SetVisualParent(ASheet->Root());
}
