// Application components: the file types of a form's open and save dialogs described once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuSet.h"
#include "framework/fwComponents.h"
#include "framework/fwDialogs.h"

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
