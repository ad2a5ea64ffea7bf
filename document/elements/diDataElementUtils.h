// Editing a data element's bytes in another program: the "Data" settings node with an editor per category of data,
// the temporary file, the program started on it, Apply and Cancel, and the programs the system lists for a file
// type ("Open with"). Also the entry points of the data-type table and the pixel size of raw data.
#pragma once

#include "document/elements/diDataSupport.h"
#include "document/model/diPalette.h"
#include "foundation/cuProps.h"
#include "foundation/cuWin32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCustomDataElement;
class TStream;

// String identifiers of the unit.
enum : int {
  IdExternalEditorNotFound = 2806,
};

// What a category's editor is by default.
enum TExternalEditorAction : int32_t {
  eaAssociated = 0,    // the program the system associates with the file
  eaCustomEditor = 1,  // the program named by CustomEditor
  eaNone = 2,          // no external editing by default
};

// One category's editor.
class TExternalEditorSettings : public TProperty {
 public:
  TExternalEditorSettings(TProperty* AParent, std::u16string AName);

  TEnumProperty* DefaultAction;  // "", "CustomEditor", "None": a TExternalEditorAction
  TStringProperty* CustomEditor;  // full path of a program
};

// "Data": the editors of the five categories, in the order of TDataCategory. On the first start (no settings file)
// the bitmaps' custom editor becomes the system's paint program.
class TDataElementSettings : public TProperty {
 public:
  explicit TDataElementSettings(TProperty* AParent);

  TExternalEditorSettings* Bitmaps;
  TExternalEditorSettings* Icons;
  TExternalEditorSettings* Cursors;
  TExternalEditorSettings* Metafiles;
  TExternalEditorSettings* Other;

  TExternalEditorSettings* Category(TDataCategory ACategory) const;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
};

// The program's data settings, alive between InitializeDataElementUtils and FinalizeDataElementUtils, not attached
// to a tree: the settings tree takes it in when it is built.
extern std::unique_ptr<TDataElementSettings, TNodeDeleter> DataElementSettings;
// Makes the settings node and installs the external editing the data elements call; after the data element's
// own start-up.
void InitializeDataElementUtils();
void FinalizeDataElementUtils();

// ---------------------------------------------------------------------------------------------------------------
// Starting programs.

// How the shell is asked; tests replace it. Execute is ShellExecuteW (an empty verb: the default one), OpenWith
// the shell's Open With dialog for a file; both return the shell's result, above 32 on success.
struct TShellLauncher {
  std::function<intptr_t(const std::u16string& AFile, const std::u16string& AParams, const std::u16string& AVerb)>
      Execute;
  std::function<intptr_t(const std::u16string& AFile)> OpenWith;
};
// Returns the previous launcher; one with empty members restores the system's.
TShellLauncher SetShellLauncher(TShellLauncher ALauncher);

// The data goes to a new temporary file File<n>.<type> in the document's folder (the temporary folder while the
// document has no file), File<n>.bin for a type the system would run, and a program is started on it; then, in one
// undo group, an element without data becomes the blank PNG written and the mode is entered. An element already in
// editing mode has the program started again on its file. A launch that fails deletes the new file and raises,
// with the document unchanged.
void StartExternalEditing(TCustomDataElement* AElement, const std::u16string& AProgram, bool AOpenWithDialog);
// AOpenWithDialog: the shell's Open With dialog. AProgram: that program with the quoted file name. Otherwise by
// the category's default: the custom editor (which must exist: "Specified external editor not found"), else the
// file's associated program through the verb "edit", then the default verb, then the Open With dialog. A file
// whose own extension is of type 0 is never started itself, whatever the element's type: the Open With dialog
// opens instead.
void LaunchExternalEditor(TCustomDataElement* AElement, const std::u16string& AFileName, const std::u16string& AProgram,
                          bool AOpenWithDialog);
// One undo group: the file read back under the element's own type, then the mode left; the file is deleted. A
// file is only ever deleted when IsEditingFileName holds for it, never the document's file or its backup.
void ApplyExternalEditing(TCustomDataElement* AElement);
// The file deleted as Apply deletes it and the mode left undoably.
void CancelExternalEditing(TCustomDataElement* AElement);

// ---------------------------------------------------------------------------------------------------------------
// The programs the system lists for a file type.

// Where the class keys are read: HKEY_CLASSES_ROOT, or (tests) a key under which the same paths stand.
struct TOpenWithRegistry {
  HKEY ClassesRoot = HKEY_CLASSES_ROOT;
  std::u16string ClassesPath;  // prefix of every class key path, ending in "\" when not empty
};

// The programs registered to open files of AExtension (without the dot) through one of AVerbs, each once, with
// their display names; ADefaultIndex is the preferred one's index, -1 when none. Registry read only.
void GetOpenWithPrograms(std::u16string_view AExtension, const std::vector<std::u16string>& AVerbs, int& ADefaultIndex,
                         std::vector<std::u16string>& ANames, std::vector<std::u16string>& APrograms,
                         const TOpenWithRegistry& ARegistry = {});
// The program file of a registered command line (environment strings expanded; the program rundll32 runs, when it
// is that); empty when it is no existing file.
std::u16string OpenWithProgramOfCommand(std::u16string_view ACommand);
// The Edit item's menu: the programs for the element's type (png for an element without a type that accepts PNG),
// a separator "-" when there are any, then "Open with..." with an empty parameter.
void GetEditSubCommands(TCustomDataElement* AElement, std::vector<TPaletteSubCommand>& AList,
                        const TOpenWithRegistry& ARegistry = {});

// ---------------------------------------------------------------------------------------------------------------
// Data types and sizes of a stream.

// The pixel size of the data from AStream's position: the headers of BMP, ICO, CUR, JPEG, GIF and PNG, metafiles
// through the system; the default (the system's icon size for icons and cursors, else 100) and false when unread.
bool GetImageSize(TStream& AStream, TDataType AType, TImageSize& ASize);
