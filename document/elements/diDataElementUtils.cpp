#include "document/elements/diDataElementUtils.h"

#include "document/elements/diDataElement.h"
#include "document/model/diClasses.h"
#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtils.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwBitmaps.h"
#include "framework/fwRuntime.h"

#include <algorithm>
#include <exception>
#include <utility>

std::unique_ptr<TDataElementSettings, TNodeDeleter> DataElementSettings;

namespace {

// The settings tree's message for a start without a settings file.
constexpr int ApplyFirstStartDefaultsMessage = 2;

const std::u16string FileExtsKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.";

TShellLauncher SystemLauncher() {
  TShellLauncher launcher;
  launcher.Execute = [](const std::u16string& AFile, const std::u16string& AParams, const std::u16string& AVerb) {
    TBusyCursor busy;
    return reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, AVerb.empty() ? nullptr : WStr(AVerb), WStr(AFile),
                                                    AParams.empty() ? nullptr : WStr(AParams), nullptr,
                                                    SW_SHOWNORMAL));
  };
  launcher.OpenWith = [](const std::u16string& AFile) { return ShellOpenWithDialog(AFile); };
  return launcher;
}

TShellLauncher& Launcher() {
  static TShellLauncher launcher = SystemLauncher();
  return launcher;
}

std::u16string Quoted(const std::u16string& AText) { return u"\"" + AText + u"\""; }

[[noreturn]] void RaiseLaunchError(const std::u16string& AFile, intptr_t AResult) {
  throw EOSError(Format(u"Cannot launch \"%s\": %s", {AFile, SysErrorMessage(static_cast<uint32_t>(AResult))}),
                 static_cast<uint32_t>(AResult));
}

void OpenWithDialog(const std::u16string& AFileName) {
  const intptr_t result = Launcher().OpenWith(AFileName);
  if (result <= 32) RaiseLaunchError(AFileName, result);
}

// A program the user chose: its default verb, so a program is run rather than opened for editing itself.
void RunProgram(const std::u16string& AProgram, const std::u16string& AFileName) {
  const intptr_t result = Launcher().Execute(AProgram, Quoted(AFileName), {});
  if (result <= 32) RaiseLaunchError(AProgram, result);
}

// The associated program: its edit verb where it has one, else its default verb, else the user picks one.
void RunAssociated(const std::u16string& AFileName) {
  if (Launcher().Execute(AFileName, {}, u"edit") > 32) return;
  if (Launcher().Execute(AFileName, {}, {}) > 32) return;
  OpenWithDialog(AFileName);
}

// Only a temporary file of ours is ever deleted: File<n>.<type> in the document's or the temporary folder, never
// the document's file or its backup, whatever name the element was given.
void DeleteEditingFile(TCustomDataElement* AElement, const std::u16string& AFileName) {
  const TScheme* scheme = AElement->Scheme();
  if (IsEditingFileName(AFileName, AElement->TypeName(), scheme ? scheme->FileName() : std::u16string()))
    RemoveFile(AFileName);
}

// A scheme's undo group for one scope, ended also when an exception leaves it.
class TSchemeGroup {
 public:
  TSchemeGroup(TScheme* AScheme, std::u16string ACaption) : FScheme(AScheme) {
    if (FScheme) FScheme->BeginGroup(false, std::move(ACaption));
  }
  ~TSchemeGroup() {
    if (FScheme) FScheme->EndGroup();
  }
  TSchemeGroup(const TSchemeGroup&) = delete;
  TSchemeGroup& operator=(const TSchemeGroup&) = delete;

 private:
  TScheme* FScheme;
};

std::u16string ReadRegistryString(TRegistry& ARegistry, std::u16string_view APath, std::u16string_view AName) {
  std::u16string value;
  if (ARegistry.OpenKeyReadOnly(APath)) ARegistry.ReadString(AName, value);
  ARegistry.CloseKey();
  return value;
}

// The name the shell shows for a program: its entry in the first cache of program names that exists; the file's
// title when that entry is empty; the full path when there is no cache.
std::u16string ProgramDisplayName(const std::u16string& AProgram, const TOpenWithRegistry& ARegistry) {
  struct TCache {
    HKEY Root;
    std::u16string Path;
  };
  const TCache caches[] = {
      {HKEY_CURRENT_USER, u"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache"},
      {HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\ShellNoRoam\\MUICache"},
      {ARegistry.ClassesRoot, ARegistry.ClassesPath + u"Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache"},
  };
  for (const TCache& cache : caches) {
    TRegistry registry(cache.Root);
    if (!registry.OpenKeyReadOnly(cache.Path)) continue;
    std::u16string name;
    registry.ReadString(AProgram, name);
    return name.empty() ? ExtractFileTitle(AProgram) : name;
  }
  return AProgram;
}

class TOpenWithList {
 public:
  TOpenWithList(std::vector<std::u16string>& ANames, std::vector<std::u16string>& APrograms,
                const TOpenWithRegistry& ARegistry)
      : FNames(ANames), FPrograms(APrograms), FRegistry(ARegistry) {}

  // The index of the command's program in the list, added when new; -1 when it is no program of ours to run.
  int Add(std::u16string_view ACommand) {
    const std::u16string program = OpenWithProgramOfCommand(ACommand);
    if (program.empty()) return -1;
    for (size_t i = 0; i < FPrograms.size(); ++i)
      if (SameTextAscii(FPrograms[i], program)) return static_cast<int>(i);
    FNames.push_back(ProgramDisplayName(program, FRegistry));
    FPrograms.push_back(program);
    return static_cast<int>(FPrograms.size() - 1);
  }

 private:
  std::vector<std::u16string>& FNames;
  std::vector<std::u16string>& FPrograms;
  const TOpenWithRegistry& FRegistry;
};

// The command line of the first of AVerbs that AKeyPath (a class key) has; false when none.
bool FindVerbCommand(TRegistry& AClasses, const std::u16string& AKeyPath, const std::vector<std::u16string>& AVerbs,
                     std::u16string& ACommand) {
  for (const std::u16string& verb : AVerbs) {
    if (!AClasses.OpenKeyReadOnly(AKeyPath + u"\\shell\\" + verb + u"\\command")) continue;
    AClasses.ReadString(u"", ACommand);
    AClasses.CloseKey();
    return true;
  }
  return false;
}

// The extension the Edit item's programs are looked up for: the type name with letters and digits only.
std::u16string FileExtensionOf(const TCustomDataElement& AElement) { return SanitizeTypeName(AElement.TypeName()); }

class TDataExternalEditing : public IDataExternalEditing {
 public:
  bool EditsByDefault(TDataType AType) override {
    return DataElementSettings &&
           DataElementSettings->Category(DataTypeCategory(AType))->DefaultAction->Value() != eaNone;
  }
  void StartExternalEditing(TCustomDataElement* AElement, const std::u16string& AProgram,
                            bool AOpenWithDialog) override {
    ::StartExternalEditing(AElement, AProgram, AOpenWithDialog);
  }
  void ApplyExternalEditing(TCustomDataElement* AElement) override { ::ApplyExternalEditing(AElement); }
  void CancelExternalEditing(TCustomDataElement* AElement) override { ::CancelExternalEditing(AElement); }
  void GetEditSubCommands(TCustomDataElement* AElement, std::vector<TPaletteSubCommand>& AList) override {
    ::GetEditSubCommands(AElement, AList);
  }
  void RunEditSubCommand(TCustomDataElement* AElement, const std::u16string& AParameter) override {
    ::StartExternalEditing(AElement, AParameter, AParameter.empty());
  }
};

TDataExternalEditing ExternalEditing;

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Settings

TExternalEditorSettings::TExternalEditorSettings(TProperty* AParent, std::u16string AName)
    : TProperty(AParent, std::move(AName)) {
  DefaultAction = new TEnumProperty(this, u"DefaultAction", {u"", u"CustomEditor", u"None"});
  CustomEditor = new TStringProperty(this, u"CustomEditor", u"");
}

TDataElementSettings::TDataElementSettings(TProperty* AParent) : TProperty(AParent, u"Data") {
  Bitmaps = new TExternalEditorSettings(this, u"ExternalEditorBitmaps");
  Icons = new TExternalEditorSettings(this, u"ExternalEditorIcons");
  Cursors = new TExternalEditorSettings(this, u"ExternalEditorCursors");
  Metafiles = new TExternalEditorSettings(this, u"ExternalEditorMetafiles");
  Other = new TExternalEditorSettings(this, u"ExternalEditorOther");
}

TExternalEditorSettings* TDataElementSettings::Category(TDataCategory ACategory) const {
  switch (ACategory) {
    case TDataCategory::dcBitmaps:
      return Bitmaps;
    case TDataCategory::dcIcons:
      return Icons;
    case TDataCategory::dcCursors:
      return Cursors;
    case TDataCategory::dcMetafiles:
      return Metafiles;
    case TDataCategory::dcOther:
      break;
  }
  return Other;
}

bool TDataElementSettings::HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) {
  const bool handled = TProperty::HandleMessage(AMsg, AParam1, AParam2);
  if (AMsg == ApplyFirstStartDefaultsMessage) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      std::u16string path = FromWide(folder);
      if (!HasTrailingPathDelimiter(path)) path += u'\\';
      Bitmaps->CustomEditor->SetValue(path + u"mspaint.exe");
    }
  }
  return handled;
}

void InitializeDataElementUtils() {
  DataElementSettings.reset(new TDataElementSettings(nullptr));
  DataExternalEditing = &ExternalEditing;
}

void FinalizeDataElementUtils() {
  if (DataExternalEditing == &ExternalEditing) DataExternalEditing = nullptr;
  DataElementSettings.reset();
}

// ---------------------------------------------------------------------------------------------------------------
// Starting programs

TShellLauncher SetShellLauncher(TShellLauncher ALauncher) {
  TShellLauncher previous = std::move(Launcher());
  Launcher() = ALauncher.Execute && ALauncher.OpenWith ? std::move(ALauncher) : SystemLauncher();
  return previous;
}

namespace {

// The category's editor is chosen by AType.
void LaunchEditorFor(TDataType AType, const std::u16string& AFileName, const std::u16string& AProgram,
                     bool AOpenWithDialog) {
  if (AOpenWithDialog) return OpenWithDialog(AFileName);
  if (!AProgram.empty()) return RunProgram(AProgram, AFileName);
  const TExternalEditorSettings* editor =
      DataElementSettings ? DataElementSettings->Category(DataTypeCategory(AType)) : nullptr;
  if (editor && editor->DefaultAction->Value() == eaCustomEditor) {
    const std::u16string& path = editor->CustomEditor->Value();
    if (path.empty() || !FileExists(path))
      throw Exception(FormatLocStrOr(IdExternalEditorNotFound, u"Specified external editor not found: \"%1\"", {path}));
    return RunProgram(path, AFileName);
  }
  // What starting the file runs is decided by its own extension, whatever the element's type says: a file of no
  // known type may be a program or a script and is never started itself.
  if (DataTypeOfFileName(AFileName) == dtOther) return OpenWithDialog(AFileName);
  RunAssociated(AFileName);
}

}  // namespace

void LaunchExternalEditor(TCustomDataElement* AElement, const std::u16string& AFileName, const std::u16string& AProgram,
                          bool AOpenWithDialog) {
  LaunchEditorFor(AElement->DataType(), AFileName, AProgram, AOpenWithDialog);
}

void StartExternalEditing(TCustomDataElement* AElement, const std::u16string& AProgram, bool AOpenWithDialog) {
  // The document changes only once the program was started: a launch that fails leaves no conversion, no undo step
  // and the Modified flag as it was. An element without data is edited as the blank PNG it then becomes.
  TScheme* scheme = AElement->Scheme();
  const std::u16string caption = FormatLocStrOr(IdPaletteEdit, u"Edit", {});
  const bool blank = !AElement->HasValue();
  const TDataType type = blank ? dtPng : AElement->DataType();
  if (AElement->IsExternalEditing()) {
    LaunchEditorFor(type, AElement->ExternalEditingFileName(), AProgram, AOpenWithDialog);
    if (blank) {
      TSchemeGroup group(scheme, caption);
      AElement->SetFormatUndoable(dtPng);
    }
    return;
  }

  TMemoryStream picture;
  if (blank) WriteBlankPng(picture);
  const std::u16string folder =
      scheme && !scheme->FileName().empty() ? ExtractFilePath(scheme->FileName()) : GetTempFolder();
  std::unique_ptr<TFileStream> stream;
  const std::u16string fileName = CreateUniqueFile(
      u"File%d", EditingFileExtension(blank ? DataTypeExtension(dtPng) : AElement->TypeName()), stream, folder);
  try {
    if (blank)
      stream->CopyFrom(picture, 0);
    else
      AElement->WriteDataTo(*stream);
    stream.reset();
    LaunchEditorFor(type, fileName, AProgram, AOpenWithDialog);
  } catch (...) {
    stream.reset();
    RemoveFile(fileName);
    throw;
  }
  TSchemeGroup group(scheme, caption);
  if (blank) {
    picture.SetPosition(0);
    AElement->SetPlainDataUndoable(picture, std::u16string(DataTypeExtension(dtPng)));
  }
  AElement->SetExternalEditingUndoable(fileName);
}

void ApplyExternalEditing(TCustomDataElement* AElement) {
  const std::u16string fileName = AElement->ExternalEditingFileName();
  if (fileName.empty()) return;
  {
    TSchemeGroup group(AElement->Scheme(), FormatLocStrOr(IdPaletteApply, u"Apply", {}));
    // The element keeps its type: data of a type not known to be inert was written as ".bin".
    TBusyCursor busy;
    TFileStream file(fileName, TFileMode::fmOpenRead);
    AElement->SetPlainDataUndoable(file, AElement->TypeName());
    AElement->SetExternalEditingUndoable({});
  }
  DeleteEditingFile(AElement, fileName);
}

void CancelExternalEditing(TCustomDataElement* AElement) {
  const std::u16string fileName = AElement->ExternalEditingFileName();
  if (fileName.empty()) return;
  AElement->SetExternalEditingUndoable({});
  DeleteEditingFile(AElement, fileName);
}

// ---------------------------------------------------------------------------------------------------------------
// Open with

std::u16string OpenWithProgramOfCommand(std::u16string_view ACommand) {
  std::u16string command(ACommand);
  const DWORD length = ExpandEnvironmentStringsW(WStr(command), nullptr, 0);
  if (length > 0) {
    std::wstring expanded(length, L'\0');
    if (ExpandEnvironmentStringsW(WStr(command), expanded.data(), length) == length) {
      expanded.resize(length - 1);
      command = FromWide(expanded.data(), expanded.size());
    }
  }
  // What rundll32 runs is a library entry, never an editor to hand a file to.
  if (LowerCaseAscii(command).find(u"rundll32") != std::u16string::npos) return {};
  size_t start = 0;
  while (start < command.size() && command[start] == u' ') ++start;
  std::u16string program;
  if (start < command.size() && command[start] == u'"') {
    const size_t close = command.find(u'"', start + 1);
    program = command.substr(start + 1, close == std::u16string::npos ? std::u16string::npos : close - start - 1);
  } else {
    const size_t space = command.find(u' ', start);
    program = command.substr(start, space == std::u16string::npos ? std::u16string::npos : space - start);
  }
  return !program.empty() && FileExists(program) ? program : std::u16string();
}

void GetOpenWithPrograms(std::u16string_view AExtension, const std::vector<std::u16string>& AVerbs, int& ADefaultIndex,
                         std::vector<std::u16string>& ANames, std::vector<std::u16string>& APrograms,
                         const TOpenWithRegistry& ARegistry) {
  ADefaultIndex = -1;
  ANames.clear();
  APrograms.clear();
  const std::u16string ext(AExtension);
  TRegistry classes(ARegistry.ClassesRoot);
  TRegistry user(HKEY_CURRENT_USER);

  std::vector<std::u16string> applications;
  if (classes.OpenKeyReadOnly(ARegistry.ClassesPath + u"." + ext + u"\\OpenWithList"))
    applications = classes.GetKeyNames();
  classes.CloseKey();
  std::vector<std::u16string> progIds;
  if (classes.OpenKeyReadOnly(ARegistry.ClassesPath + u"." + ext + u"\\OpenWithProgids"))
    progIds = classes.GetValueNames();
  classes.CloseKey();

  const std::u16string fileExts = FileExtsKey + ext;
  if (user.OpenKeyReadOnly(fileExts + u"\\OpenWithList")) {
    // Most recently used first.
    const std::u16string order = user.ReadString(u"MRUList");
    size_t next = 0;
    for (const char16_t letter : order) {
      std::u16string application;
      if (!user.ReadString(std::u16string(1, letter), application) || application.empty()) continue;
      applications.insert(applications.begin() + static_cast<std::ptrdiff_t>(next++), application);
    }
  }
  user.CloseKey();
  if (user.OpenKeyReadOnly(fileExts + u"\\OpenWithProgids"))
    for (std::u16string& name : user.GetValueNames()) progIds.push_back(std::move(name));
  user.CloseKey();
  const std::u16string chosen = ReadRegistryString(user, fileExts + u"\\UserChoice", u"Progid");
  if (!chosen.empty()) progIds.push_back(chosen);
  const std::u16string preferred = ReadRegistryString(user, fileExts, u"Application");

  TOpenWithList list(ANames, APrograms, ARegistry);
  std::u16string command;
  for (const std::u16string& application : applications) {
    if (!FindVerbCommand(classes, ARegistry.ClassesPath + u"Applications\\" + application, AVerbs, command)) continue;
    const int index = list.Add(command);
    if (index >= 0 && ADefaultIndex < 0 && !preferred.empty() && SameTextAscii(application, preferred))
      ADefaultIndex = index;
  }
  for (const std::u16string& progId : progIds) {
    if (progId.empty() || !FindVerbCommand(classes, ARegistry.ClassesPath + progId, AVerbs, command)) continue;
    const int index = list.Add(command);
    if (index >= 0 && ADefaultIndex < 0 && preferred.empty()) ADefaultIndex = index;
  }
}

void GetEditSubCommands(TCustomDataElement* AElement, std::vector<TPaletteSubCommand>& AList,
                        const TOpenWithRegistry& ARegistry) {
  std::u16string extension = AElement ? FileExtensionOf(*AElement) : std::u16string();
  if (extension.empty() && (!AElement || AElement->AcceptsType(dtPng))) extension = u"png";
  std::vector<std::u16string> names, programs;
  int defaultIndex;
  if (!extension.empty())
    GetOpenWithPrograms(extension, {u"edit", u"open", u"view"}, defaultIndex, names, programs, ARegistry);
  for (size_t i = 0; i < programs.size(); ++i) AList.push_back({names[i], programs[i]});
  if (!programs.empty()) AList.push_back({u"-", {}});
  AList.push_back({FormatLocStrOr(IdPaletteOpenWith, u"Open with...", {}), {}});
}

// ---------------------------------------------------------------------------------------------------------------
// Sizes

bool GetImageSize(TStream& AStream, TDataType AType, TImageSize& ASize) {
  const TImageSize iconSize{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
  if (AType == dtEmf || AType == dtWmf) {
    ASize = {};
    try {
      TMetafile metafile;
      metafile.LoadFromStream(AStream);
      ASize = {metafile.Width(), metafile.Height()};
    } catch (const Exception&) {
      ASize = {};
    }
    const bool read = ASize.Width > 0 && ASize.Height > 0;
    if (ASize.Width <= 0) ASize.Width = 100;
    if (ASize.Height <= 0) ASize.Height = 100;
    return read;
  }
  const int64_t size = AStream.Size();
  const int64_t position = std::min(AStream.Position(), size);
  const size_t rest = static_cast<size_t>(size - position);
  if (auto* memory = dynamic_cast<TMemoryStream*>(&AStream))
    return GetImageSize(std::span<const uint8_t>(memory->Memory() + position, rest), AType, ASize, iconSize);
  // A JPEG's frame header may follow any number of segments: the whole rest is read.
  std::vector<uint8_t> bytes(rest);
  bytes.resize(AStream.Read(bytes.data(), bytes.size()));
  AStream.SetPosition(position);
  return GetImageSize(bytes, AType, ASize, iconSize);
}
