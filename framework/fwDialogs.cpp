#include "framework/fwDialogs.h"

#include <algorithm>
#include <utility>

#include "framework/fwApplication.h"
#include "framework/fwPrinters.h"
#include "framework/fwScreen.h"
#include "framework/fwSubclass.h"

TDialogRunners DialogRunners;

namespace {

// A modal dialog raises the application's modal level while it is shown.
class TModalDialogScope {
 public:
  TModalDialogScope() {
    if (Application) Application->ModalStarted();
  }
  ~TModalDialogScope() {
    if (Application) Application->ModalFinished();
  }
  TModalDialogScope(const TModalDialogScope&) = delete;
  TModalDialogScope& operator=(const TModalDialogScope&) = delete;
};

// The device mode and names a print or page set-up record carries: the dialog may replace them, so whatever the
// record holds at the end is freed.
class TDeviceGlobals {
 public:
  TDeviceGlobals(HGLOBAL& ADevMode, HGLOBAL& ADevNames) : FDevMode(ADevMode), FDevNames(ADevNames) {
    FDevMode = Printer->DevModeGlobal();
    FDevNames = Printer->DevNamesGlobal();
  }
  ~TDeviceGlobals() {
    if (FDevMode) GlobalFree(FDevMode);
    if (FDevNames) GlobalFree(FDevNames);
  }
  TDeviceGlobals(const TDeviceGlobals&) = delete;
  TDeviceGlobals& operator=(const TDeviceGlobals&) = delete;

 private:
  HGLOBAL& FDevMode;
  HGLOBAL& FDevNames;
};

const char16_t* DialogErrorReason(DWORD ACode) {
  switch (ACode) {
    case CDERR_DIALOGFAILURE:
      return u"the dialog could not be created";
    case CDERR_INITIALIZATION:
      return u"the dialog could not be initialised (out of memory?)";
    case CDERR_STRUCTSIZE:
      return u"the record has a wrong size";
    case CDERR_MEMALLOCFAILURE:
      return u"out of memory";
    case FNERR_BUFFERTOOSMALL:
      return u"the file name does not fit the name buffer";
    case FNERR_INVALIDFILENAME:
      return u"the file name is not valid";
    case FRERR_BUFFERLENGTHZERO:
      return u"the text buffer has no length";
    case PDERR_NODEFAULTPRN:
      return u"there is no default printer";
    case PDERR_NODEVICES:
      return u"no printer is installed";
    case PDERR_PRINTERNOTFOUND:
      return u"the printer was not found";
    case PDERR_LOADDRVFAILURE:
      return u"the printer driver could not be loaded";
    case PDERR_INITFAILURE:
      return u"the printer could not be initialised";
    default:
      return u"the system reported an error";
  }
}

[[noreturn]] void RaiseDialogError(const char16_t* ADialog, DWORD ACode) {
  throw ECommonDialogError(Format(u"The %s dialog failed: %s (code 0x%X).", {ADialog, DialogErrorReason(ACode), ACode}),
                           ACode);
}

void CheckAnswer(const char16_t* ADialog, const TDialogAnswer& AAnswer) {
  if (!AAnswer.Confirmed && AAnswer.Error != 0) RaiseDialogError(ADialog, AAnswer.Error);
}

TPrinter& RequirePrinter() {
  if (!Printer) throw EPrinter(u"The printer object is not started");
  return *Printer;
}

}  // namespace

HWND DialogOwnerWindow() {
  if (Screen)
    if (auto* form = dynamic_cast<IApplicationForm*>(Screen->ActiveForm())) return form->FormHandle();
  if (Application)
    if (IApplicationForm* form = Application->MainFormInterface()) {
      HWND window = form->FormHandle();
      if (IsWindowVisible(window)) return window;
    }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------------------------

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TOpenDialog::Execute() {
  if (FFileName.size() >= FileNameBufferSize)
    throw ECommonDialogError(Format(u"The %s dialog cannot start with a file name of %u characters: its buffer "
                                    u"holds %u.",
                                    {DialogName(), FFileName.size(), FileNameBufferSize - 1}),
                             FNERR_BUFFERTOOSMALL);
  std::u16string name(FileNameBufferSize, u'\0');
  name.replace(0, FFileName.size(), FFileName);
  // The filter pairs are separated by NULs and end with two.
  std::u16string filter = FFilter;
  for (char16_t& c : filter)
    if (c == u'|') c = u'\0';
  filter.append(2, u'\0');

  OPENFILENAMEW record{};
  record.lStructSize = sizeof(record);
  record.hwndOwner = DialogOwnerWindow();
  record.lpstrFilter = FFilter.empty() ? nullptr : WStr(filter);
  record.nFilterIndex = static_cast<DWORD>(FFilterIndex);
  record.lpstrFile = WBuf(name);
  record.nMaxFile = static_cast<DWORD>(FileNameBufferSize);
  record.lpstrInitialDir = WStrOrNull(FInitialDir);
  record.lpstrTitle = WStrOrNull(FTitle);
  record.lpstrDefExt = WStrOrNull(FDefaultExt);
  // The working folder is the process's: a dialog must not move it.
  record.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
  static constexpr std::pair<TOpenOption, DWORD> flags[] = {{ofReadOnly, OFN_READONLY},
                                                            {ofHideReadOnly, OFN_HIDEREADONLY},
                                                            {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
                                                            {ofFileMustExist, OFN_FILEMUSTEXIST},
                                                            {ofPathMustExist, OFN_PATHMUSTEXIST},
                                                            {ofNoValidate, OFN_NOVALIDATE},
                                                            {ofEnableSizing, OFN_ENABLESIZING}};
  for (auto [option, flag] : flags)
    if (FOptions.Contains(option)) record.Flags |= flag;

  TDialogAnswer answer;
  {
    TModalDialogScope modal;
    answer = Run(record);
  }
  CheckAnswer(DialogName(), answer);
  if (!answer.Confirmed) return false;
  FFileName = FromWide(record.lpstrFile);
  FFilterIndex = static_cast<int>(record.nFilterIndex);
  FOptions.Set(ofReadOnly, (record.Flags & OFN_READONLY) != 0);
  return true;
}

TDialogAnswer TOpenDialog::Run(OPENFILENAMEW& ARecord) {
  if (DialogRunners.Open) return DialogRunners.Open(ARecord);
  if (GetOpenFileNameW(&ARecord)) return {true, 0};
  return {false, CommDlgExtendedError()};
}

TDialogAnswer TSaveDialog::Run(OPENFILENAMEW& ARecord) {
  if (DialogRunners.Save) return DialogRunners.Save(ARecord);
  if (GetSaveFileNameW(&ARecord)) return {true, 0};
  return {false, CommDlgExtendedError()};
}

// ---------------------------------------------------------------------------------------------------------------

// The record and its buffers: the shown dialog writes into them until its window is gone.
struct TFindDialog::TRecord {
  FINDREPLACEW Record{};
  char16_t FindWhat[TextBufferSize]{};
  char16_t ReplaceWith[TextBufferSize]{};
};

namespace {

std::u16string BufferText(const char16_t* ABuffer) {
  return std::u16string(ABuffer, std::char_traits<char16_t>::length(ABuffer));
}

void SetBufferText(char16_t* ABuffer, const std::u16string& AValue) {
  const size_t n = std::min(AValue.size(), TFindDialog::TextBufferSize - 1);
  AValue.copy(ABuffer, n);
  ABuffer[n] = u'\0';
}

// The controls of the system's find and replace dialogs that show the two texts.
constexpr int FindTextControl = 0x480;     // edt1
constexpr int ReplaceTextControl = 0x481;  // edt2

}  // namespace

TFindDialog::TFindDialog(TComponent* AOwner)
    : TComponent(AOwner), FFindMessage(RegisterWindowMessageW(FINDMSGSTRINGW)), FRecord(std::make_unique<TRecord>()) {}

TFindDialog::~TFindDialog() {
  // The dialog goes before the record it writes into.
  if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
  Forget();
  FOwnerHook.reset();
}

std::u16string TFindDialog::FindText() const { return BufferText(FRecord->FindWhat); }

void TFindDialog::SetFindText(const std::u16string& AValue) {
  SetBufferText(FRecord->FindWhat, AValue);
  if (FHandle) SetDlgItemTextW(FHandle, FindTextControl, WStr(FindText()));
}

std::u16string TFindDialog::ReplaceText() const { return BufferText(FRecord->ReplaceWith); }

void TFindDialog::SetReplaceText(const std::u16string& AValue) {
  SetBufferText(FRecord->ReplaceWith, AValue);
  if (FHandle) SetDlgItemTextW(FHandle, ReplaceTextControl, WStr(ReplaceText()));
}

HWND TFindDialog::OwnerWindow() const {
  // The notifications go to the owning form's top-level window, which the dialog stays above.
  if (auto* form = dynamic_cast<IApplicationForm*>(Owner())) return GetAncestor(form->FormHandle(), GA_ROOT);
  return DialogOwnerWindow();
}

void TFindDialog::Execute() {
  if (FHandle) {
    ShowWindow(FHandle, SW_SHOW);
    SetForegroundWindow(FHandle);
    SetActiveWindow(FHandle);
    return;
  }
  FINDREPLACEW& record = FRecord->Record;
  const HWND owner = OwnerWindow();
  record = FINDREPLACEW{};
  record.lStructSize = sizeof(record);
  record.hwndOwner = owner;
  record.lpstrFindWhat = reinterpret_cast<wchar_t*>(FRecord->FindWhat);
  record.wFindWhatLen = static_cast<WORD>(sizeof(FRecord->FindWhat));
  record.lpstrReplaceWith = reinterpret_cast<wchar_t*>(FRecord->ReplaceWith);
  record.wReplaceWithLen = static_cast<WORD>(sizeof(FRecord->ReplaceWith));
  static constexpr std::pair<TFindOption, DWORD> flags[] = {{frDown, FR_DOWN},
                                                            {frMatchCase, FR_MATCHCASE},
                                                            {frWholeWord, FR_WHOLEWORD},
                                                            {frHideMatchCase, FR_HIDEMATCHCASE},
                                                            {frHideWholeWord, FR_HIDEWHOLEWORD},
                                                            {frHideUpDown, FR_HIDEUPDOWN}};
  for (auto [option, flag] : flags)
    if (FOptions.Contains(option)) record.Flags |= flag;

  if (owner) FOwnerHook = std::make_unique<TWindowSubclass>(owner, MakeMethod<&TFindDialog::OwnerMessage>(this));
  const TModelessAnswer answer = Run(record);
  if (!answer.Window) {
    FOwnerHook.reset();
    RaiseDialogError(DialogName(), answer.Error ? answer.Error : CDERR_DIALOGFAILURE);
  }
  FHandle = answer.Window;
  FDialogHook = std::make_unique<TWindowSubclass>(FHandle, MakeMethod<&TFindDialog::DialogMessage>(this));
  if (Application) Application->AddDialogWindow(FHandle);
}

TModelessAnswer TFindDialog::Run(FINDREPLACEW& ARecord) {
  if (DialogRunners.Find) return DialogRunners.Find(ARecord);
  HWND window = FindTextW(&ARecord);
  return {window, window ? 0 : CommDlgExtendedError()};
}

void TFindDialog::CloseDialog() {
  if (!FHandle) return;
  DestroyWindow(FHandle);
  Forget();
  if (OnClose) OnClose(this);
}

void TFindDialog::Forget() {
  if (FHandle && Application) Application->RemoveDialogWindow(FHandle);
  FHandle = nullptr;
  FDialogHook.reset();
}

void TFindDialog::DialogMessage(TMessage& AMessage) {
  // The dialog also goes with its owner window, without a word to us.
  if (AMessage.Msg == WM_NCDESTROY) Forget();
}

void TFindDialog::OwnerMessage(TMessage& AMessage) {
  if (AMessage.Msg != FFindMessage || AMessage.LParam != reinterpret_cast<LPARAM>(&FRecord->Record)) return;
  AMessage.Answer(0);
  const DWORD flags = FRecord->Record.Flags;
  FOptions.Set(frDown, (flags & FR_DOWN) != 0);
  FOptions.Set(frMatchCase, (flags & FR_MATCHCASE) != 0);
  FOptions.Set(frWholeWord, (flags & FR_WHOLEWORD) != 0);
  FOptions -= frFindNext | frReplace | frReplaceAll;
  // The dialog sent this: the handlers' exceptions are reported here and never reach it. Each handler may free
  // this component, so nothing of it is touched after one ran.
  if (flags & FR_DIALOGTERM) {
    Forget();
    FOwnerHook.reset();
    if (OnClose) CallGuarded([&] { OnClose(this); });
  } else if (flags & FR_FINDNEXT) {
    FOptions |= frFindNext;
    if (OnFind) CallGuarded([&] { OnFind(this); });
  } else if (flags & (FR_REPLACE | FR_REPLACEALL)) {
    const TFindOptions action = (flags & FR_REPLACEALL) ? frReplaceAll : frReplace;
    FOptions |= action;
    CallGuarded([&] { Notified(action); });
  }
}

void TFindDialog::Notified(TFindOptions) {}

TReplaceDialog::TReplaceDialog(TComponent* AOwner) : TFindDialog(AOwner) {}

TModelessAnswer TReplaceDialog::Run(FINDREPLACEW& ARecord) {
  if (DialogRunners.Replace) return DialogRunners.Replace(ARecord);
  HWND window = ReplaceTextW(&ARecord);
  return {window, window ? 0 : CommDlgExtendedError()};
}

void TReplaceDialog::Notified(TFindOptions) {
  if (OnReplace) OnReplace(this);
}

// ---------------------------------------------------------------------------------------------------------------

TPrintDialog::TPrintDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TPrintDialog::Execute() {
  TPrinter& printer = RequirePrinter();
  PRINTDLGW record{};
  record.lStructSize = sizeof(record);
  record.hwndOwner = DialogOwnerWindow();
  record.Flags = PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE;
  record.nCopies = static_cast<WORD>(FCopies);
  TDeviceGlobals globals(record.hDevMode, record.hDevNames);
  TDialogAnswer answer;
  {
    TModalDialogScope modal;
    if (DialogRunners.Print)
      answer = DialogRunners.Print(record);
    else if (PrintDlgW(&record))
      answer = {true, 0};
    else
      answer = {false, CommDlgExtendedError()};
  }
  CheckAnswer(u"print", answer);
  if (!answer.Confirmed) return false;
  printer.SetPrinterFromGlobals(record.hDevMode, record.hDevNames);
  const DEVMODEW* mode = printer.DevMode();
  FCopies = mode && (mode->dmFields & DM_COPIES) ? mode->dmCopies : record.nCopies;
  return true;
}

TPageSetupDialog::TPageSetupDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TPageSetupDialog::Execute() {
  TPrinter& printer = RequirePrinter();
  if (printer.PrinterName().empty()) throw EPrinter(u"Page set-up needs a printer, and none is installed");
  PAGESETUPDLGW record{};
  record.lStructSize = sizeof(record);
  record.hwndOwner = DialogOwnerWindow();
  record.Flags = PSD_INHUNDREDTHSOFMILLIMETERS | PSD_MARGINS | PSD_MINMARGINS;
  record.rtMargin = FMargins;
  record.rtMinMargin = FMinMargins;
  TDeviceGlobals globals(record.hDevMode, record.hDevNames);
  TDialogAnswer answer;
  {
    TModalDialogScope modal;
    if (DialogRunners.PageSetup)
      answer = DialogRunners.PageSetup(record);
    else if (PageSetupDlgW(&record))
      answer = {true, 0};
    else
      answer = {false, CommDlgExtendedError()};
  }
  CheckAnswer(u"page set-up", answer);
  if (!answer.Confirmed) return false;
  printer.SetPrinterFromGlobals(record.hDevMode, record.hDevNames);
  FMargins = record.rtMargin;
  FPaperSize = SIZE{record.ptPaperSize.x, record.ptPaperSize.y};
  return true;
}
