// The document behind the main window: the document scheme with its plain root and undo history, the read-only log
// scheme whose root writes the document's reports, a sheet for each, and the data file with its backup.
#pragma once

#include "document/model/diVisualElement.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUndoRedo.h"

#include <memory>
#include <optional>
#include <string>

class TLogRoot;
class TPlainRoot;
class TScheme;
class TSheet;
class TSheetSettings;
class TVisualElement;

// "%1 was missing; its backup %2 was loaded instead": the warning of a load from the backup.
constexpr int IdBackupLoaded = 2339;
// "%1 was not read in full; it is kept unchanged as %2": the warning of the first save after such a load.
constexpr int IdDamagedKept = 2060;
// "The temporary file %1 left by an interrupted save could not be removed".
constexpr int IdTempNotRemoved = 2061;

// The backup beside a data file: its extension replaced by "Backup.qbx" (notes.qbx gives notesBackup.qbx).
std::u16string BackupFileName(const std::u16string& AFileName);
// The ANumber-th copy kept of a data file that was not read in full: its extension replaced by "Damaged.qbx" for
// the first, "Damaged2.qbx" for the second and so on (notes.qbx gives notesDamaged.qbx, notesDamaged2.qbx).
std::u16string DamagedCopyName(const std::u16string& AFileName, int ANumber);
// Copies AFileName over its backup unless the backup was written less than five days ago (or AForce); the copy is
// dated now, not with the source's date, so it is not renewed at every save after a pause. A missing source copies
// nothing. A backup that cannot be made does not stop the save it comes before.
void MakeBackupCopy(const std::u16string& AFileName, bool AForce = false);

class TPlainDocument : public TObject {
 public:
  // The sheets show with ASheetSettings, which outlive the document.
  explicit TPlainDocument(TSheetSettings* ASheetSettings);
  ~TPlainDocument() override;

  TScheme* DocumentScheme() const { return FDocumentScheme.get(); }
  TScheme* LogScheme() const { return FLogScheme.get(); }
  // Nil until a load succeeded.
  TSheet* DocumentSheet() const { return FDocumentSheet.get(); }
  TSheet* LogSheet() const { return FLogSheet.get(); }
  TUndoRedo* UndoRedo() const { return FUndoRedo.get(); }
  TPlainRoot* DocumentRoot() const;
  TLogRoot* LogRoot() const;

  // A missing file starts an empty document, or the document of its backup when one exists (with a warning in
  // the log); anything else at the path that cannot be read as a file (a locked file, a folder) raises and leaves
  // the document without sheets. A load removes the temporary files that interrupted saves left beside the file;
  // only one that cannot be removed is reported.
  void LoadFromFile(const std::u16string& AFileName);
  // The sizes of the views that will show the two sheets: the sheets a later load makes have them before their
  // roots are placed, so the document is laid out once, at the width it is shown at, and not again when the views
  // take the sheets.
  void SetViewSizes(TVisualSize ADocument, TVisualSize ALog);
  const std::optional<TVisualSize>& DocumentViewSize() const { return FDocumentViewSize; }
  // Backup copy, then the scheme's replacing save; the document takes AFileName as its name unless AKeepName.
  // Raises without touching the file when no load succeeded. The backup is renewed whatever its age when
  // AFileName is not the document's file, which was never read. After a load that did not read everything, the
  // first save of the document's file keeps what was loaded under a new DamagedCopyName first (raising when it
  // cannot), and until the next load the backup is made only when there is none.
  void SaveToFile(const std::u16string& AFileName, bool AKeepName = false);

 private:
  // Makes ASheet hold ARoot at its padding, at AViewSize when it is known, and focuses its first focusable element.
  void PlaceOnSheet(TSheet* ASheet, TVisualElement* ARoot, const std::optional<TVisualSize>& AViewSize);
  // Copies FReadInPart to the first DamagedCopyName of AFileName not taken and says so in the log.
  void KeepDamagedCopy(const std::u16string& AFileName);
  // Removes the temporary files of cut-off saves beside AFileName, never AFileName itself.
  void RemoveStrayTempFiles(const std::u16string& AFileName);

  TSheetSettings* FSheetSettings;
  // After a load that did not read everything: the document's file, whose backup is then left alone, and the
  // file that was read (it or its backup) until a copy of it is kept.
  std::u16string FLoadedInPart;
  std::u16string FReadInPart;
  std::optional<TVisualSize> FDocumentViewSize;
  std::optional<TVisualSize> FLogViewSize;
  std::unique_ptr<TScheme> FDocumentScheme;
  std::unique_ptr<TSheet> FDocumentSheet;
  std::unique_ptr<TScheme> FLogScheme;
  std::unique_ptr<TSheet> FLogSheet;
  std::unique_ptr<TUndoRedo> FUndoRedo;
};
