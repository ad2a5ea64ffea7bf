#include "controls/baAppCmpns.h"

#include "foundation/cuSystem.h"
#include "foundation/cuUnicode.h"
#include "framework/fwDialogs.h"

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
