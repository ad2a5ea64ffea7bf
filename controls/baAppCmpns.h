// Application components: the file types of a form's open and save dialogs described once, knot files that keep
// state between runs, a form's place kept in one of them, and a watch on the messages of a windowed control.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuSet.h"
#include "framework/fwComponents.h"
#include "framework/fwDialogs.h"
#include "framework/fwForms.h"
#include "framework/fwMessages.h"

// One file type of the dialogs.
class TFileFilter {
 public:
  // Without a dot.
  std::u16string FileExt = u"txt";
  // The type's description.
  std::u16string Text;
  bool UseForOpen = true;
  bool UseForSave = true;

  // "Text (*.ext)" (the upper-cased extension for an empty Text); empty without an extension.
  std::u16string DisplayName() const;
};

class TFileFilters {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TFileFilter& Items(int AIndex) const { return *FItems.at(static_cast<size_t>(AIndex)); }
  TFileFilter& Add();
  TFileFilter& AddFilter(std::u16string AFileExt, std::u16string AText);
  void Assign(const TFileFilters& ASource);

 private:
  std::vector<std::unique_ptr<TFileFilter>> FItems;
};

// The filter string of the items used for opening (AForOpen) or saving: entries "Name (*.a, *.b)|*.a;*.b" joined
// by "|", items of one name (case ignored) merged into one entry with AMerge, and "All Files (*.*)|*.*" first
// and/or last. AExtList (may be nil) receives each entry's first extension, "" for All Files.
std::u16string BuildFilterString(const TFileFilters& AFilters, bool AForOpen, bool AMerge,
                                 std::vector<std::u16string>* AExtList, bool AAllLast, bool AAllFirst);

enum class TOpenSaveOption : uint8_t {
  osoOpenNoAllFiles = 0x01,
  osoSaveNoAllFiles = 0x02,
  osoNoMergeOpenFilters = 0x04,
  osoDefaultFilterAll = 0x08,  // All Files first when opening, and so the initial filter
};
constexpr bool IsFlagFamily(TOpenSaveOption) { return true; }
using enum TOpenSaveOption;
using TOpenSaveOptions = TSet<TOpenSaveOption>;

class TOpenSaveDialog : public TComponent {
 public:
  using TComponent::TComponent;

  TFileFilters& FileFilters() { return FFileFilters; }
  void SetFileFilters(const TFileFilters& AValue) { FFileFilters.Assign(AValue); }
  // In: the initial name; out: the chosen file.
  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(std::u16string AValue) { FFileName = std::move(AValue); }
  TOpenSaveOptions Options() const { return FOptions; }
  void SetOptions(TOpenSaveOptions AValue) { FOptions = AValue; }
  const std::u16string& Title() const { return FTitle; }
  void SetTitle(std::u16string AValue) { FTitle = std::move(AValue); }
  // Not filled by the dialogs.
  std::vector<std::u16string>& Files() { return FFiles; }

  // The system's dialogs: only existing files to open; a prompt before a file is replaced on saving, whose
  // default extension is the first entry's. True with the chosen name in FileName.
  bool ExecuteOpen();
  bool ExecuteSave();

 private:
  template <class TDialog>
  bool Run(TOpenOption AOption, std::u16string AFilter, const std::u16string& ADefaultExt);

  TFileFilters FFileFilters;
  std::u16string FFileName;
  TOpenSaveOptions FOptions;
  std::u16string FTitle;
  std::vector<std::u16string> FFiles;
};

// ---------------------------------------------------------------------------------------------------------------

class TKnot;
class TUtilityWindow;
class TWindowSubclass;

// A knot tree bound to a file name, loaded and saved without ever raising.
class TSessionFile : public TComponent {
 public:
  enum class TState : uint8_t { sfNotLoaded = 0, sfMissing = 1, sfUnreadable = 2, sfLoaded = 3 };

  explicit TSessionFile(TComponent* AOwner);
  ~TSessionFile() override;

  // Unique parameter names, empty children skipped, unquoted values allowed and quotes doubled, for every knot
  // loaded into or added to the tree.
  TKnot& Knot() const { return *FKnot; }
  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(std::u16string AValue) { FFileName = std::move(AValue); }
  TState State() const { return FState; }
  // The file's extension for its owner ("settings", "session").
  const std::u16string& CommandLineSearchExt() const { return FCommandLineSearchExt; }
  void SetCommandLineSearchExt(std::u16string AValue) { FCommandLineSearchExt = std::move(AValue); }

  // Replaces the tree with the file's: a missing file or path gives sfMissing, any other failure sfUnreadable; a
  // file that fails to parse is still loaded (the knot keeps what was read and carries the parse-error bit).
  void Load();
  bool Save() { return SaveToFile(FFileName); }
  // Names the root after the file (characters a knot name cannot hold become "_") and writes the tree as UTF-8
  // with a byte-order mark, replacing the file in one step. False when the file was not written; nothing raises.
  bool SaveToFile(const std::u16string& AFileName);

 private:
  std::unique_ptr<TKnot> FKnot;
  std::u16string FFileName;
  TState FState = TState::sfNotLoaded;
  std::u16string FCommandLineSearchExt;
};

// The knot name for a file's title: characters a name cannot hold become "_", and an empty title "Quillbox".
std::u16string KnotNameOfTitle(std::u16string_view ATitle);

// Kept on a form: stores the form's place in a session file when the form is asked to close and restores it
// when the form is created. The form is the first one along the owner chain.
class TFormPlace : public TComponent {
 public:
  explicit TFormPlace(TComponent* AOwner);
  ~TFormPlace() override;

  TSessionFile* SessionFile() const { return FSessionFile; }
  void SetSessionFile(TSessionFile* AValue);
  // A dotted knot path below the session root; empty: the root itself.
  const std::u16string& KnotPath() const { return FKnotPath; }
  void SetKnotPath(std::u16string AValue) { FKnotPath = std::move(AValue); }

  // The form's knot (named after the form, made when missing); nil without a form or a session file.
  TKnot* GetKnot();

 protected:
  // The form's own handlers are taken here: its constructor has set them, and OnCreate has not run yet.
  void Loaded() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  void FormCreate(TObject* ASender);
  void FormCloseQuery(TObject* ASender, bool& ACanClose);

  TCustomForm* FForm = nullptr;
  TSessionFile* FSessionFile = nullptr;
  std::u16string FKnotPath;
  TNotifyEvent FSavedOnCreate;
  TCloseQueryEvent FSavedOnCloseQuery;
  bool FHooked = false;
};

// ---------------------------------------------------------------------------------------------------------------

// Posted to the hooker's own window after the control's window went: the new window is hooked once it exists.
constexpr UINT CM_REHOOK = CM_BASE + 0x52;

// Watches the messages of one windowed control through the window's subclass chain: each is reported before
// and after the rest of the chain; a message handled before goes no further (WM_DESTROY always does). The watch
// follows the control into a window made again.
class TCustomHooker : public TComponent {
 public:
  explicit TCustomHooker(TComponent* AOwner);
  ~TCustomHooker() override;

  TWinControl* Control() const { return FControl; }
  void SetControl(TWinControl* AValue);
  // Whether the control's current window carries the watch.
  bool Hooked() const;

 protected:
  // After a new control was set and hooked.
  virtual void ControlChanged() {}
  // After the watch came back on a window made again.
  virtual void Rehooked() {}
  virtual void DoMessage(TMessage& AMessage, bool& AHandled, bool ABefore) = 0;

  void BeforeDestruction() override;
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override;

 private:
  void Hook();
  void Unhook();
  void HookMessage(TMessage& AMessage);
  void RehookMessage(TMessage& AMessage);
  // The hooker, its control or the form owning them is going: nothing is to be scheduled.
  bool Going() const;

  TWinControl* FControl = nullptr;
  std::unique_ptr<TWindowSubclass> FSubclass;
  std::unique_ptr<TUtilityWindow> FRehookWindow;
};

using THookerMessageEvent = TMethod<void(TObject* ASender, TMessage& AMessage, bool& AHandled)>;

class THooker : public TCustomHooker {
 public:
  using TCustomHooker::TCustomHooker;

  THookerMessageEvent OnBeforeMessage;
  THookerMessageEvent OnAfterMessage;

 protected:
  void DoMessage(TMessage& AMessage, bool& AHandled, bool ABefore) override;
};
