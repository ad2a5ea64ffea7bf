// The system's common dialogs as components: open and save, find and replace (modeless), print and page set-up.
// Every dialog is shown through DialogRunners, so tests answer them without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/cuSet.h"
#include "foundation/cuWin32.h"
#include "framework/fwComponents.h"

class TWindowSubclass;
struct TMessage;

// A common dialog failed (CommDlgExtendedError not 0); a cancelled dialog is no failure.
class ECommonDialogError : public Exception {
 public:
  ECommonDialogError(std::u16string AMessage, uint32_t ACode) : Exception(std::move(AMessage)), FCode(ACode) {}
  uint32_t Code() const { return FCode; }

 private:
  uint32_t FCode;
};

// A modal dialog's answer: confirmed, or not, with CommDlgExtendedError's code (0: the user cancelled).
struct TDialogAnswer {
  bool Confirmed = false;
  DWORD Error = 0;
};
// A modeless dialog's answer: its window, or none with CommDlgExtendedError's code.
struct TModelessAnswer {
  HWND Window = nullptr;
  DWORD Error = 0;
};

// What shows each dialog, given the record the component filled. An empty member shows the system's dialog; a
// test puts its own answer in place (and takes it out again).
struct TDialogRunners {
  std::function<TDialogAnswer(OPENFILENAMEW&)> Open;
  std::function<TDialogAnswer(OPENFILENAMEW&)> Save;
  std::function<TModelessAnswer(FINDREPLACEW&)> Find;
  std::function<TModelessAnswer(FINDREPLACEW&)> Replace;
  std::function<TDialogAnswer(PRINTDLGW&)> Print;
  std::function<TDialogAnswer(PAGESETUPDLGW&)> PageSetup;
};
extern TDialogRunners DialogRunners;

// The window a modal dialog belongs to: the active form's, else the main form's when it is shown, else none.
HWND DialogOwnerWindow();

// ---------------------------------------------------------------------------------------------------------------
// Open and save

enum class TOpenOption : uint16_t {
  ofReadOnly = 0x01,         // in and out: the read-only box is checked
  ofHideReadOnly = 0x02,     // no read-only box
  ofOverwritePrompt = 0x04,  // save: asks before an existing file is replaced
  ofFileMustExist = 0x08,    // open: only existing files
  ofPathMustExist = 0x10,    // only existing folders
  ofNoValidate = 0x20,       // names with invalid characters pass
  ofEnableSizing = 0x40      // the dialog can be resized
};
constexpr bool IsFlagFamily(TOpenOption) { return true; }
using enum TOpenOption;
using TOpenOptions = TSet<TOpenOption>;

class TOpenDialog : public TComponent {
 public:
  // The name buffer the dialog writes into, in characters.
  static constexpr size_t FileNameBufferSize = 32768;

  explicit TOpenDialog(TComponent* AOwner);

  const std::u16string& Title() const { return FTitle; }
  void SetTitle(std::u16string AValue) { FTitle = std::move(AValue); }
  // Pairs of description and patterns separated by "|": "Notes (*.qbx)|*.qbx|All Files (*.*)|*.*".
  const std::u16string& Filter() const { return FFilter; }
  void SetFilter(std::u16string AValue) { FFilter = std::move(AValue); }
  // The pair shown first, from 1; the user's choice afterwards.
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int AValue) { FFilterIndex = AValue; }
  // Without dot; added to a typed name that has no extension.
  const std::u16string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(std::u16string AValue) { FDefaultExt = std::move(AValue); }
  const std::u16string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(std::u16string AValue) { FInitialDir = std::move(AValue); }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions AValue) { FOptions = AValue; }
  // In: the name the dialog starts with; out: the chosen file.
  const std::u16string& FileName() const { return FFileName; }
  void SetFileName(std::u16string AValue) { FFileName = std::move(AValue); }

  // Shows the dialog, owned by DialogOwnerWindow. True with the chosen name in FileName; false when the user
  // cancelled. A failing dialog raises ECommonDialogError; an initial name that does not fit the buffer raises
  // before anything is shown.
  virtual bool Execute();

 protected:
  // The save dialog runs through its own runner and its own system call.
  virtual TDialogAnswer Run(OPENFILENAMEW& ARecord);
  virtual const char16_t* DialogName() const { return u"open"; }

 private:
  std::u16string FTitle, FFilter, FDefaultExt, FInitialDir, FFileName;
  int FFilterIndex = 1;
  TOpenOptions FOptions = ofHideReadOnly | ofEnableSizing;
};

class TSaveDialog : public TOpenDialog {
 public:
  using TOpenDialog::TOpenDialog;

 protected:
  TDialogAnswer Run(OPENFILENAMEW& ARecord) override;
  const char16_t* DialogName() const override { return u"save"; }
};

// ---------------------------------------------------------------------------------------------------------------
// Find and replace: modeless; the keys of the shown dialog go through Application->AddDialogWindow.

enum class TFindOption : uint16_t {
  frDown = 0x01,           // in and out: search towards the end
  frMatchCase = 0x02,      // in and out
  frWholeWord = 0x04,      // in and out
  frHideMatchCase = 0x08,  // in: the dialog offers no match-case box
  frHideWholeWord = 0x10,  // in: no whole-word box
  frHideUpDown = 0x20,     // in: no direction buttons
  frFindNext = 0x40,       // out: the user asked for the next match
  frReplace = 0x80,        // out: replace this match
  frReplaceAll = 0x100     // out: replace every match
};
constexpr bool IsFlagFamily(TFindOption) { return true; }
using enum TFindOption;
using TFindOptions = TSet<TFindOption>;

class TFindDialog : public TComponent {
 public:
  // The longest text the dialog takes, in characters.
  static constexpr size_t TextBufferSize = 1024;

  explicit TFindDialog(TComponent* AOwner);
  // A shown dialog is closed first; the record it writes into lives until then.
  ~TFindDialog() override;

  // The text to find; the shown dialog's edit follows a new one.
  std::u16string FindText() const;
  void SetFindText(const std::u16string& AValue);
  TFindOptions Options() const { return FOptions; }
  void SetOptions(TFindOptions AValue) { FOptions = AValue; }

  // Shows the dialog, owned by the form that owns this component (else DialogOwnerWindow), or brings the shown
  // one to the front. A failing dialog raises ECommonDialogError.
  void Execute();
  void CloseDialog();
  // The dialog's window while it is shown.
  HWND Handle() const { return FHandle; }

  // Find Next was pressed; FindText and Options hold the user's input.
  TNotifyEvent OnFind;
  // The dialog was closed by the user or by CloseDialog.
  TNotifyEvent OnClose;

 protected:
  virtual TModelessAnswer Run(FINDREPLACEW& ARecord);
  virtual const char16_t* DialogName() const { return u"find"; }
  // A notification other than find and close (the replace dialog's).
  virtual void Notified(TFindOptions AAction);
  // The replace text lives in the same record as the find text; the replace dialog makes these public.
  std::u16string ReplaceText() const;
  void SetReplaceText(const std::u16string& AValue);

 private:
  struct TRecord;
  HWND OwnerWindow() const;
  void OwnerMessage(TMessage& AMessage);
  void DialogMessage(TMessage& AMessage);
  void Forget();

  TFindOptions FOptions = frDown;
  UINT FFindMessage;
  HWND FHandle = nullptr;
  std::unique_ptr<TRecord> FRecord;
  std::unique_ptr<TWindowSubclass> FOwnerHook;
  std::unique_ptr<TWindowSubclass> FDialogHook;
};

class TReplaceDialog : public TFindDialog {
 public:
  explicit TReplaceDialog(TComponent* AOwner);

  using TFindDialog::ReplaceText;
  using TFindDialog::SetReplaceText;

  // Replace or Replace All was pressed: Options holds frReplace or frReplaceAll.
  TNotifyEvent OnReplace;

 protected:
  TModelessAnswer Run(FINDREPLACEW& ARecord) override;
  const char16_t* DialogName() const override { return u"replace"; }
  void Notified(TFindOptions AAction) override;
};

// ---------------------------------------------------------------------------------------------------------------
// Print and page set-up: both start from the printer object's current printer and set the one chosen.

class TPrintDialog : public TComponent {
 public:
  explicit TPrintDialog(TComponent* AOwner);

  int Copies() const { return FCopies; }
  void SetCopies(int AValue) { FCopies = AValue; }

  // True when confirmed (the printer object then prints on the chosen printer); false when cancelled.
  // A failing dialog (no default printer, for one) raises ECommonDialogError.
  bool Execute();

 private:
  int FCopies = 1;
};

class TPageSetupDialog : public TComponent {
 public:
  explicit TPageSetupDialog(TComponent* AOwner);

  // Margins in hundredths of a millimetre (2500 = 25 mm): in and out.
  const RECT& Margins() const { return FMargins; }
  void SetMargins(const RECT& AValue) { FMargins = AValue; }
  // The smallest margins the user may set.
  const RECT& MinMargins() const { return FMinMargins; }
  void SetMinMargins(const RECT& AValue) { FMinMargins = AValue; }
  // The paper size of the chosen form, in hundredths of a millimetre (out).
  SIZE PaperSize() const { return FPaperSize; }

  // True when confirmed; false when cancelled. Raises EPrinter without a printer (the system's dialog would
  // wait for one), ECommonDialogError when the dialog fails.
  bool Execute();

 private:
  RECT FMargins{2500, 2500, 2500, 2500};
  RECT FMinMargins{0, 0, 0, 0};
  SIZE FPaperSize{0, 0};
};
