#include "controls/baAppCmpns.h"

#include "controls/baUtils.h"
#include "foundation/cuKnot.h"
#include "foundation/cuSystem.h"
#include "foundation/cuUnicode.h"
#include "foundation/cuUtils.h"
#include "foundation/cuWin32.h"
#include "framework/fwDialogs.h"
#include "framework/fwSubclass.h"
#include "framework/fwUtilityWindow.h"

namespace {

// The same English text in every interface language: it names the system's own pattern.
constexpr std::u16string_view AllFilesEntry = u"All Files (*.*)|*.*";

std::u16string EntryName(const TFileFilter& AFilter) {
  return AFilter.Text.empty() ? UpperCaseAscii(AFilter.FileExt) : AFilter.Text;
}

}  // namespace

std::u16string TFileFilter::DisplayName() const {
  if (FileExt.empty()) return {};
  return EntryName(*this) + u" (*." + LowerCaseAscii(FileExt) + u")";
}

TFileFilter& TFileFilters::Add() { return *FItems.emplace_back(std::make_unique<TFileFilter>()); }

TFileFilter& TFileFilters::AddFilter(std::u16string AFileExt, std::u16string AText) {
  TFileFilter& filter = Add();
  filter.FileExt = std::move(AFileExt);
  filter.Text = std::move(AText);
  return filter;
}

void TFileFilters::Assign(const TFileFilters& ASource) {
  if (&ASource == this) return;
  FItems.clear();
  for (const auto& item : ASource.FItems) Add() = *item;
}

std::u16string BuildFilterString(const TFileFilters& AFilters, bool AForOpen, bool AMerge,
                                 std::vector<std::u16string>* AExtList, bool AAllLast, bool AAllFirst) {
  struct TEntry {
    std::u16string Name;
    std::vector<std::u16string> Extensions;
  };
  std::vector<TEntry> entries;
  for (int i = 0; i < AFilters.Count(); ++i) {
    const TFileFilter& filter = AFilters.Items(i);
    if (!(AForOpen ? filter.UseForOpen : filter.UseForSave)) continue;
    std::u16string name = EntryName(filter);
    TEntry* entry = nullptr;
    if (AMerge)
      for (TEntry& e : entries)
        if (SameTextFolded(e.Name, name)) {
          entry = &e;
          break;
        }
    if (!entry) entry = &entries.emplace_back(TEntry{std::move(name), {}});
    entry->Extensions.push_back(LowerCaseAscii(filter.FileExt));
  }

  std::u16string result;
  auto append = [&result](std::u16string_view APart) {
    if (!result.empty()) result += u'|';
    result += APart;
  };
  if (AAllFirst) {
    append(AllFilesEntry);
    if (AExtList) AExtList->emplace_back();
  }
  for (const TEntry& entry : entries) {
    std::u16string shown, patterns;
    for (const std::u16string& extension : entry.Extensions) {
      if (!shown.empty()) {
        shown += u", ";
        patterns += u';';
      }
      shown += u"*." + extension;
      patterns += u"*." + extension;
    }
    append(entry.Name + u" (" + shown + u")|" + patterns);
    if (AExtList) AExtList->push_back(entry.Extensions.front());
  }
  if (AAllLast) {
    append(AllFilesEntry);
    if (AExtList) AExtList->emplace_back();
  }
  return result;
}

bool TOpenSaveDialog::ExecuteOpen() {
  const bool all = !FOptions.Contains(osoOpenNoAllFiles);
  const bool allFirst = all && FOptions.Contains(osoDefaultFilterAll);
  return Run<TOpenDialog>(ofFileMustExist, BuildFilterString(FFileFilters, true, !FOptions.Contains(osoNoMergeOpenFilters),
                                                              nullptr, all && !allFirst, allFirst),
                          u"");
}

bool TOpenSaveDialog::ExecuteSave() {
  std::vector<std::u16string> extensions;
  std::u16string filter =
      BuildFilterString(FFileFilters, false, false, &extensions, !FOptions.Contains(osoSaveNoAllFiles), false);
  // With no entries of its own the list holds only All Files: no default extension then.
  return Run<TSaveDialog>(ofOverwritePrompt, std::move(filter), extensions.empty() ? u"" : extensions.front());
}

template <class TDialog>
bool TOpenSaveDialog::Run(TOpenOption AOption, std::u16string AFilter, const std::u16string& ADefaultExt) {
  std::unique_ptr<TDialog, TComponentDeleter> dialog(New<TDialog>(nullptr));
  dialog->SetTitle(FTitle);
  dialog->SetOptions(dialog->Options() | AOption);
  dialog->SetFilter(std::move(AFilter));
  dialog->SetFilterIndex(1);
  dialog->SetDefaultExt(ADefaultExt);
  dialog->SetFileName(FFileName);
  if (!dialog->Execute()) return false;
  FFileName = dialog->FileName();
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Session file

TSessionFile::TSessionFile(TComponent* AOwner) : TComponent(AOwner), FKnot(std::make_unique<TKnot>()) {
  FKnot->SetOptions(koUniqueParams | koSkipEmptyChildren | koAllowUnquoted | koDoubleQuotes);
}

TSessionFile::~TSessionFile() = default;

void TSessionFile::Load() {
  try {
    FKnot->LoadFromFile(FFileName);
    FState = TState::sfLoaded;
  } catch (const std::exception&) {
    const DWORD attributes = GetFileAttributesW(WStr(FFileName));
    const DWORD error = GetLastError();
    FState = attributes == INVALID_FILE_ATTRIBUTES && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                 ? TState::sfMissing
                 : TState::sfUnreadable;
  }
}

bool TSessionFile::SaveToFile(const std::u16string& AFileName) {
  try {
    FKnot->SetName(KnotNameOfTitle(ExtractFileTitle(AFileName)));
    FKnot->SaveToFile(AFileName, TKnotEncoding::keUtf8);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::u16string KnotNameOfTitle(std::u16string_view ATitle) {
  std::u16string name;
  for (size_t i = 0; i < ATitle.size(); ++i) {
    // A surrogate pair is one character: it stays or goes whole.
    const bool pair = (ATitle[i] & 0xFC00) == 0xD800 && i + 1 < ATitle.size() && (ATitle[i + 1] & 0xFC00) == 0xDC00;
    const size_t length = pair ? 2 : 1;
    const std::u16string_view piece = ATitle.substr(i, length);
    name += IsValidKnotName(piece) ? piece : u"_";
    i += length - 1;
  }
  return name.empty() ? u"Quillbox" : name;
}

// ---------------------------------------------------------------------------------------------------------------
// Form place

TFormPlace::TFormPlace(TComponent* AOwner) : TComponent(AOwner), FForm(FindParentForm(AOwner)) {}

TFormPlace::~TFormPlace() {
  if (FHooked && FForm && !FForm->IsDestroying()) {
    FForm->OnCreate = FSavedOnCreate;
    FForm->OnCloseQuery = FSavedOnCloseQuery;
  }
}

void TFormPlace::Loaded() {
  TComponent::Loaded();
  if (!FForm || FHooked) return;
  FSavedOnCreate = FForm->OnCreate;
  FSavedOnCloseQuery = FForm->OnCloseQuery;
  FForm->OnCreate = MakeMethod<&TFormPlace::FormCreate>(this);
  FForm->OnCloseQuery = MakeMethod<&TFormPlace::FormCloseQuery>(this);
  FHooked = true;
}

void TFormPlace::SetSessionFile(TSessionFile* AValue) {
  if (AValue == FSessionFile) return;
  if (FSessionFile) FSessionFile->RemoveFreeNotification(this);
  FSessionFile = AValue;
  if (FSessionFile) FSessionFile->FreeNotification(this);
}

void TFormPlace::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FSessionFile) FSessionFile = nullptr;
}

TKnot* TFormPlace::GetKnot() {
  if (!FForm || !FSessionFile) return nullptr;
  TKnot* knot = &FSessionFile->Knot();
  if (!FKnotPath.empty()) knot = knot->FindKnotByPath(FKnotPath, true);
  return knot ? knot->FindOrAddKnot(FForm->Name()) : nullptr;
}

void TFormPlace::FormCreate(TObject* ASender) {
  if (FSavedOnCreate) FSavedOnCreate(ASender);
  if (TKnot* knot = GetKnot()) ReadFormPlacement(*knot, *FForm);
}

void TFormPlace::FormCloseQuery(TObject* ASender, bool& ACanClose) {
  if (TKnot* knot = GetKnot()) WriteFormPlacement(*knot, *FForm);
  if (FSavedOnCloseQuery) FSavedOnCloseQuery(ASender, ACanClose);
}

// ---------------------------------------------------------------------------------------------------------------
// Hooker

TCustomHooker::TCustomHooker(TComponent* AOwner) : TComponent(AOwner) {}

TCustomHooker::~TCustomHooker() {
  // A re-hook still queued dies with the window it was posted to.
  FRehookWindow.reset();
  FSubclass.reset();
}

void TCustomHooker::BeforeDestruction() {
  Destroying();
  SetControl(nullptr);
  FRehookWindow.reset();
  TComponent::BeforeDestruction();
}

void TCustomHooker::SetControl(TWinControl* AValue) {
  if (AValue == FControl) return;
  Unhook();
  if (FControl) FControl->RemoveFreeNotification(this);
  FControl = AValue;
  if (FControl) FControl->FreeNotification(this);
  Hook();
  if (FControl) ControlChanged();
}

bool TCustomHooker::Hooked() const {
  HWND window = FControl ? FControl->HandleIfAllocated() : nullptr;
  return window && FSubclass && FSubclass->Window() == window;
}

bool TCustomHooker::Going() const {
  if (IsDestroying()) return true;
  if (!FControl) return false;
  if (FControl->IsDestroying()) return true;
  const TCustomForm* form = FindParentForm(FControl);
  return form && form->IsDestroying();
}

void TCustomHooker::Hook() {
  if (!FControl || Going()) return;
  HWND window = FControl->Handle();
  if (FSubclass && FSubclass->Window() == window) return;
  FSubclass = std::make_unique<TWindowSubclass>(window, MakeMethod<&TCustomHooker::HookMessage>(this));
}

void TCustomHooker::Unhook() { FSubclass.reset(); }

void TCustomHooker::Notification(TComponent* AComponent, TComponentOperation AOperation) {
  TComponent::Notification(AComponent, AOperation);
  if (AOperation == TComponentOperation::opRemove && AComponent == FControl) {
    Unhook();
    FControl = nullptr;
  }
}

void TCustomHooker::HookMessage(TMessage& AMessage) {
  if (!FControl) return;
  bool handled = false;
  if (AMessage.Msg != WM_QUIT) DoMessage(AMessage, handled, true);
  if (FControl && (!handled || AMessage.Msg == WM_DESTROY)) {
    const TMessage passed = AMessage;
    try {
      AMessage.Result = DefSubclassProc(passed.Wnd, passed.Msg, passed.WParam, passed.LParam);
    } catch (...) {
      DoMessage(AMessage, handled, false);
      throw;
    }
    DoMessage(AMessage, handled, false);
  }
  AMessage.Handled = true;
  if (AMessage.Msg != WM_DESTROY || !FControl) return;
  if (Going()) {
    FControl->RemoveFreeNotification(this);
    FControl = nullptr;
    Unhook();
    return;
  }
  // The window is being made again: the watch goes with it and comes back on the new one.
  Unhook();
  if (!FRehookWindow)
    FRehookWindow = std::make_unique<TUtilityWindow>(MakeMethod<&TCustomHooker::RehookMessage>(this),
                                                     TUtilityWindow::TKind::ukMessageOnly);
  PostMessageW(FRehookWindow->Handle(), CM_REHOOK, 0, 0);
}

void TCustomHooker::RehookMessage(TMessage& AMessage) {
  if (AMessage.Msg != CM_REHOOK) return;
  AMessage.Answer();
  Hook();
  // The handler may free its own window: only the hooker's fields are used after it.
  FRehookWindow.reset();
  Rehooked();
}

void THooker::DoMessage(TMessage& AMessage, bool& AHandled, bool ABefore) {
  const THookerMessageEvent& handler = ABefore ? OnBeforeMessage : OnAfterMessage;
  if (handler) handler(this, AMessage, AHandled);
}
