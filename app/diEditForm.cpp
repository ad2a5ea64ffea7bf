#include "app/diEditForm.h"

#include "app/diPaletteForm.h"
#include "app/diSheetForm.h"
#include "app/unMenuImages.h"
#include "controls/baSaper.h"
#include "document/elements/diLog.h"
#include "document/model/diCanvas.h"
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "document/model/diSheet.h"
#include "document/model/diVisualElement.h"
#include "foundation/cuKnot.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwActions.h"
#include "framework/fwBitmaps.h"
#include "framework/fwDialogs.h"
#include "framework/fwExtCtrls.h"
#include "framework/fwImageList.h"
#include "framework/fwThemes.h"

#include <climits>
#include <memory>

namespace {

constexpr int IdFind = 2941;
constexpr int IdFindNext = 2942;
constexpr int IdReplace = 2943;
constexpr int IdPalette = 2947;
constexpr int IdClearLog = 2949;

// The edit control's background of the visual style (class "Edit", part 0, normal state).
constexpr TThemedElementDetails kFrameDetails{TThemedElement::teEdit, 0, 1};

template <class T>
T* Make(TComponent* AOwner) {
  return New<T>(AOwner);
}

TAction* MakeAction(TComponent* AOwner, TActionList* AList, const char16_t* AName, TShortCut AShortCut) {
  TAction* action = New<TAction>(AOwner);
  action->SetName(AName);
  action->SetShortCut(AShortCut);
  action->SetActionList(AList);
  return action;
}

// The two image lists of the log button, drawn from the program's bitmaps.
void LoadLogButtonImages(TImageList& AButtons, TImageList& AClear) {
  TBitmap strip;
  strip.LoadFromResourceName(GetModuleHandleW(nullptr), u"LogButton");
  AButtons.AddImageStrip(strip);
  strip.LoadFromResourceName(GetModuleHandleW(nullptr), u"LogClear");
  AClear.AddImageStrip(strip);
}

}  // namespace

TEditForm::TEditForm(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(TFormBorderStyle::bsNone);

  al1 = Make<TActionList>(this);
  al1->OnExecute = MakeMethod<&TEditForm::al1Execute>(this);
  const TShiftState ctrl = ssCtrl;
  const TShiftState ctrlShift = ssCtrl | ssShift;
  EditFind = MakeAction(this, al1, u"EditFind", MakeShortCut('F', ctrl));
  // The form has no image list: its pictures are those of the menu strip, where the main window's menus find them.
  EditFind->SetImageIndex(imFind);
  EditFind->OnExecute = MakeMethod<&TEditForm::EditFindExecute>(this);
  EditFindNext = MakeAction(this, al1, u"EditFindNext", MakeShortCut(VK_F3));
  EditFindNext->SetImageIndex(imFindNext);
  EditFindNext->OnExecute = MakeMethod<&TEditForm::EditFindNextExecute>(this);
  EditReplace = MakeAction(this, al1, u"EditReplace", MakeShortCut('H', ctrl));
  EditReplace->SetImageIndex(imReplace);
  EditReplace->SetSecondaryShortCuts({MakeShortCut('R', ctrl)});
  EditReplace->OnExecute = MakeMethod<&TEditForm::EditReplaceExecute>(this);
  EditCode = MakeAction(this, al1, u"EditCode", MakeShortCut(VK_F6));
  ToolsCollapseAll = MakeAction(this, al1, u"ToolsCollapseAll", MakeShortCut('J', ctrlShift));
  ToolsCollapseAll->OnExecute = MakeMethod<&TEditForm::ToolsCollapseAllExecute>(this);
  ToolsExpandedNotEmpty = MakeAction(this, al1, u"ToolsExpandedNotEmpty", MakeShortCut('K', ctrlShift));
  ToolsExpandedNotEmpty->OnExecute = MakeMethod<&TEditForm::ToolsExpandedNotEmptyExecute>(this);
  ToolsExpandAll = MakeAction(this, al1, u"ToolsExpandAll", MakeShortCut('L', ctrlShift));
  ToolsExpandAll->OnExecute = MakeMethod<&TEditForm::ToolsExpandAllExecute>(this);
  ToolsRefresh = MakeAction(this, al1, u"ToolsRefresh", MakeShortCut(VK_F5));
  ToolsRefresh->OnExecute = MakeMethod<&TEditForm::ToolsRefreshExecute>(this);
  ToolsCheck = MakeAction(this, al1, u"ToolsCheck", MakeShortCut(VK_F5));
  ToolsCheck->OnExecute = MakeMethod<&TEditForm::ToolsCheckExecute>(this);
  ToolsClearLog = MakeAction(this, al1, u"ToolsClearLog", MakeShortCut(VK_F5, ctrl));
  ToolsClearLog->OnExecute = MakeMethod<&TEditForm::ToolsClearLogExecute>(this);
  ViewPalette = MakeAction(this, al1, u"ViewPalette", MakeShortCut(VK_F4));
  ViewPalette->SetImageIndex(imPalette);
  ViewPalette->SetAutoCheck(true);
  ViewPalette->OnExecute = MakeMethod<&TEditForm::ViewPaletteExecute>(this);

  fd1 = Make<TFindDialog>(this);
  fd1->SetOptions(frDown | frHideWholeWord);
  fd1->OnFind = MakeMethod<&TEditForm::fd1Find>(this);
  rd1 = Make<TReplaceDialog>(this);
  rd1->SetOptions(frDown | frHideWholeWord);
  rd1->OnFind = MakeMethod<&TEditForm::rd1Find>(this);
  rd1->OnReplace = MakeMethod<&TEditForm::rd1Replace>(this);

  imlLogButtons = New<TImageList>(this, 58, 18);
  imlLogClear = New<TImageList>(this, 14, 13);
  LoadLogButtonImages(*imlLogButtons, *imlLogClear);

  pbLogButton = Make<TPlaceBox>(this);
  pbLogButton->SetVisible(false);
  pbLogButton->SetCursor(crHandPoint);
  pbLogButton->SetShowHint(true);
  pbLogButton->SetBounds(0, 0, imlLogButtons->Width(), imlLogButtons->Height());
  pbLogButton->OnPaint = MakeMethod<&TEditForm::LogButtonPaint>(this);
  pbLogButton->OnClick = MakeMethod<&TEditForm::LogButtonClick>(this);
  pbLogButton->SetParent(this);

  splLog = Make<TSplitter>(this);
  splLog->SetVisible(false);
  splLog->SetAlign(TAlign::alBottom);
  splLog->SetHeight(SplitterHeight);
  splLog->OnPaint = MakeMethod<&TEditForm::SplitterPaint>(this);
  splLog->OnMoved = MakeMethod<&TEditForm::SplitterMoved>(this);
  splLog->SetParent(this);

  CreateEmbeddedForm(FPaletteForm, *this, TAlign::alTop, true);
  CreateEmbeddedForm(FSheetForm, *this, TAlign::alClient, true);
  CreateEmbeddedForm(FLogForm, *this, TAlign::alBottom, true);

  FSheetForm->rb1->SetBorderStyle(TControlBorderStyle::bsNone);
  FSheetForm->OnKeyDownHook = MakeMethod<&TEditForm::PaletteKeyDown>(this);
  FSheetForm->OnKeyPressHook = MakeMethod<&TEditForm::PaletteKeyPress>(this);
  FSheetForm->OnKeyUpHook = MakeMethod<&TEditForm::PaletteKeyUp>(this);

  FLogForm->Hide();
  FLogForm->SetHeight(DefaultLogHeight);
  FLogForm->rb1->SetBorderStyle(TControlBorderStyle::bsNone);

  if (Localization) Localization->AddNotifyEvent(MakeMethod<&TEditForm::LocalizationChanged>(this));
  EditCode->SetVisible(false);
  ToolsCheck->SetVisible(false);
  UpdateCaptions();
  UpdateActions();
  ToolsClearLog->SetEnabled(false);
}

TEditForm::~TEditForm() = default;

void TEditForm::BeforeDestruction() {
  // The sheets belong to the document, which may go first: nothing of them is touched after this.
  SetDocument(nullptr, nullptr, nullptr, nullptr);
  if (Localization) Localization->RemoveNotifyEvent(MakeMethod<&TEditForm::LocalizationChanged>(this));
  FreeAndNil(FLogForm);
  FreeAndNil(FSheetForm);
  FreeAndNil(FPaletteForm);
  TForm::BeforeDestruction();
}

void TEditForm::LocalizationChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == 1) UpdateCaptions();
}

void TEditForm::UpdateCaptions() {
  EditFind->SetCaption(FormatLocStrOr(IdFind, u"Find...", {}));
  EditFindNext->SetCaption(FormatLocStrOr(IdFindNext, u"Find Next", {}));
  EditReplace->SetCaption(FormatLocStrOr(IdReplace, u"Replace...", {}));
  ViewPalette->SetCaption(FormatLocStrOr(IdPalette, u"Palette", {}));
  pbLogButton->SetHint(FormatLocStrOr(IdClearLog, u"Clear and close log", {}) + u" (" +
                       ShortCutToText(ToolsClearLog->ShortCut()) + u")");
}

// ---------------------------------------------------------------------------------------------------------------
// Binding

TLogRoot* TEditForm::BoundLogRoot() const { return FLogScheme ? dynamic_cast<TLogRoot*>(FLogScheme->Root()) : nullptr; }

void TEditForm::BindLogRoot(TLogRoot* ARoot) {
  if (!ARoot) return;
  ARoot->OnChange = [this](TLogRoot* ASender) { LogChanged(ASender); };
  ARoot->OnElementsLink = [this](TLogRoot* ASender, const std::vector<int32_t>& AIds) {
    LogElementsLink(ASender, AIds);
  };
  ARoot->OnFileLink = [this](TLogRoot* ASender, const std::u16string& AName) { LogFileLink(ASender, AName); };
}

void TEditForm::SetDocument(TScheme* AScheme, TSheet* ASheet, TScheme* ALogScheme, TSheet* ALogSheet) {
  if (FScheme) FScheme->RemoveNotifyEvent(MakeMethod<&TEditForm::SchemeChanged>(this));
  if (TLogRoot* old = BoundLogRoot()) {
    old->OnChange = nullptr;
    old->OnElementsLink = nullptr;
    old->OnFileLink = nullptr;
  }
  FScheme = AScheme;
  FLogScheme = ALogScheme;
  FPaletteForm->SetSheet(ASheet);
  FSheetForm->SetSheet(AScheme, ASheet);
  FLogForm->SetSheet(ALogScheme, ALogSheet);
  if (FScheme) FScheme->AddNotifyEvent(MakeMethod<&TEditForm::SchemeChanged>(this));
  BindLogRoot(BoundLogRoot());
  if (!IsDestroying()) {
    UpdateLog();
    UpdateActions();
  }
}

void TEditForm::SchemeChanged(TObject*, intptr_t ANotify, intptr_t, intptr_t) {
  if (ANotify == scReadOnlyChanged) UpdateActions();
}

void TEditForm::UpdateActions() {
  const bool bound = FScheme != nullptr;
  for (TAction* action : {EditFind, EditFindNext, EditReplace, ToolsCollapseAll, ToolsExpandedNotEmpty, ToolsExpandAll})
    action->SetEnabled(bound);
}

void TEditForm::al1Execute(TAction*, bool&) {
  if (TSheet* sheet = FSheetForm ? FSheetForm->Sheet() : nullptr) sheet->CommitFocusedValue();
}

// ---------------------------------------------------------------------------------------------------------------
// Find and replace

namespace {

// The search over the whole element tree of the document's sheet with a dialog's text and match-case option.
std::unique_ptr<TFindData> MakeFindData(TSheetForm& AForm, const TFindDialog& ADialog) {
  auto data = std::make_unique<TFindData>();
  TSheet* sheet = AForm.Sheet();
  data->FindScope = sheet ? sheet->Root() : nullptr;
  data->FindText = ADialog.FindText();
  data->MatchCase = ADialog.Options().Contains(frMatchCase);
  return data;
}

}  // namespace

void TEditForm::EditFindExecute(TObject*) {
  rd1->CloseDialog();
  fd1->Execute();
}

void TEditForm::EditFindNextExecute(TObject*) {
  if (!fd1->FindText().empty())
    fd1Find(fd1);
  else
    EditFind->Execute(nullptr);
}

void TEditForm::EditReplaceExecute(TObject*) {
  fd1->CloseDialog();
  rd1->Execute();
}

void TEditForm::fd1Find(TObject*) {
  const auto data = MakeFindData(*FSheetForm, *fd1);
  FSheetForm->FindAgain(1, data.get(), fd1->Options().Contains(frDown));
}

void TEditForm::rd1Find(TObject*) {
  const auto data = MakeFindData(*FSheetForm, *rd1);
  FSheetForm->FindAgain(1, data.get(), rd1->Options().Contains(frDown));
}

void TEditForm::rd1Replace(TObject*) {
  const auto data = MakeFindData(*FSheetForm, *rd1);
  const TFindOptions options = rd1->Options();
  FSheetForm->Replace(data.get(), rd1->ReplaceText(), options.Contains(frReplaceAll), options.Contains(frDown));
}

// ---------------------------------------------------------------------------------------------------------------
// Tools

void TEditForm::ToolsCollapseAllExecute(TObject*) { FSheetForm->ExpandCollapseAll(false, false); }
void TEditForm::ToolsExpandedNotEmptyExecute(TObject*) { FSheetForm->ExpandCollapseAll(true, true); }
void TEditForm::ToolsExpandAllExecute(TObject*) { FSheetForm->ExpandCollapseAll(false, true); }

// Two actions carry F5: the user's run of either runs the other without a sender, which never calls back, so one
// key press refreshes once.
void TEditForm::ToolsRefreshExecute(TObject* ASender) {
  if (ASender && ToolsCheck->Enabled()) ToolsCheck->Execute(nullptr);
  if (TSheet* sheet = FSheetForm->Sheet())
    if (TSheetSettings* settings = sheet->Settings()) settings->Perform(1, 0, 0);
}

void TEditForm::ToolsCheckExecute(TObject* ASender) {
  if (ASender && ToolsRefresh->Enabled()) ToolsRefresh->Execute(nullptr);
}

void TEditForm::ToolsClearLogExecute(TObject*) { ClearLog(); }

void TEditForm::ViewPaletteExecute(TObject*) { FPaletteForm->SetVisible(ViewPalette->Checked()); }

void TEditForm::PaletteKeyDown(TObject*, uint16_t& AKey, TShiftState AShift) { FPaletteForm->KeyDown(AKey, AShift); }
void TEditForm::PaletteKeyPress(TObject*, char16_t& AKey) { FPaletteForm->KeyPress(AKey); }
void TEditForm::PaletteKeyUp(TObject*, uint16_t& AKey, TShiftState AShift) { FPaletteForm->KeyUp(AKey, AShift); }

// ---------------------------------------------------------------------------------------------------------------
// Log pane

void TEditForm::ClearLog() {
  if (FScheme && FScheme->Messages()) FScheme->Messages()->Clear();
}

void TEditForm::LogButtonClick(TObject*) { ClearLog(); }

void TEditForm::LogChanged(TLogRoot*) { UpdateLog(); }

void TEditForm::LogElementsLink(TLogRoot*, const std::vector<int32_t>& AIdentifiers) {
  FSheetForm->GoToElements(AIdentifiers);
  if (FSheetForm->rb1->CanFocus()) FSheetForm->rb1->SetFocus();
}

void TEditForm::LogFileLink(TLogRoot*, const std::u16string& AFileName) { ShellExecuteFile(AFileName); }

void TEditForm::UpdateLog() {
  TElementMessages* messages = FScheme ? FScheme->Messages() : nullptr;
  const int count = messages ? messages->GetCount() : 0;
  ToolsClearLog->SetEnabled(count >= 1);
  if ((count >= 1) != FLogVisible) SetLogVisible(count >= 1);
  if (!FLogVisible) return;
  const auto severity = static_cast<uint8_t>(messages->GetSeverity());
  if (severity == FLogSeverity) return;
  FLogSeverity = severity;
  pbLogButton->Invalidate();
}

void TEditForm::SetLogVisible(bool AValue) {
  if (AValue == FLogVisible) return;
  FLogVisible = AValue;
  DisableAlign();
  try {
    if (AValue) {
      ApplyStoredLogHeight();
      const int height = FLogForm->Height();
      FLogForm->SetBounds(0, ClientHeight() - height, ClientWidth(), height);
      FLogForm->Show();
      splLog->SetBounds(0, FLogForm->Top() - splLog->Height(), ClientWidth(), splLog->Height());
      splLog->Show();
      pbLogButton->Show();
      PlaceLogButton();
    } else {
      pbLogButton->Hide();
      splLog->Hide();
      FLogForm->Hide();
    }
  } catch (...) {
    EnableAlign();
    throw;
  }
  EnableAlign();
  Realign();
  if (AValue) PlaceLogButton();
  Invalidate();
}

// The stored height was chosen in the placed main window; it is judged against this form's size there, not
// against the designed one the layout is read into.
void TEditForm::ApplyStoredLogHeight() {
  if (!FStoredLogHeightPending || !FLogVisible || !Showing()) return;
  FStoredLogHeightPending = false;
  if (FStoredLogHeight >= MinLogHeight && FStoredLogHeight <= ClientHeight() / 2) {
    FLogForm->SetHeight(FStoredLogHeight);
    if (FLogForm->Visible()) {
      FLogForm->SetTop(ClientHeight() - FStoredLogHeight);
      splLog->SetTop(FLogForm->Top() - splLog->Height());
      Realign();
      PlaceLogButton();
    }
  }
}

void TEditForm::PlaceLogButton() {
  const int width = imlLogButtons->Width(), height = imlLogButtons->Height();
  pbLogButton->SetBounds((ClientWidth() - width) / 2, splLog->Top() + (splLog->Height() - height) / 2, width, height);
  pbLogButton->BringToFront();
}

void TEditForm::SplitterMoved(TObject*) { PlaceLogButton(); }

void TEditForm::LogButtonPaint(TObject*, TCanvas& ACanvas, const RECT& ARect) {
  ACanvas.Brush().SetColor(splLog->Color());
  ACanvas.FillRect(ARect);
  imlLogButtons->Draw(ACanvas, 0, 0, 0);
  const int image = FLogSeverity >= 1 && FLogSeverity <= 3 ? FLogSeverity : 0;
  const int width = pbLogButton->ClientWidth(), height = pbLogButton->ClientHeight();
  imlLogClear->Draw(ACanvas, (width - imlLogClear->Width()) / 2, (height - imlLogClear->Height()) / 2, image);
}

void TEditForm::CreateWnd() {
  TForm::CreateWnd();
  HRGN region = CreateRoundRectRgn(0, 0, imlLogButtons->Width() + 1, imlLogButtons->Height() + 1, 7, 7);
  // The window owns the region from here on.
  if (!SetWindowRgn(pbLogButton->Handle(), region, TRUE)) DeleteObject(region);
}

// ---------------------------------------------------------------------------------------------------------------
// Frame and layout

void TEditForm::SetFrameWidth(int AValue) {
  if (AValue == FFrameWidth) return;
  FFrameWidth = AValue;
  Padding().SetBounds(AValue, AValue, AValue, AValue);
  Realign();
  Invalidate();
}

void TEditForm::DrawFrame(HDC ADC, const RECT& ARect) {
  if (ThemeServices && ThemeServices->Enabled()) {
    ThemeServices->DrawElement(ADC, kFrameDetails, ARect);
    return;
  }
  RECT r = ARect;
  DrawEdge(ADC, &r, EDGE_SUNKEN, BF_RECT);
}

void TEditForm::Paint() {
  TForm::Paint();
  if (FFrameWidth <= 0) return;
  HDC dc = Canvas().Handle();
  DrawFrame(dc, RECT{0, 0, ClientWidth(), FSheetForm->Top() + FSheetForm->Height() + Padding().Bottom()});
  if (splLog->Visible()) {
    Canvas().Brush().SetColor(splLog->Color());
    Canvas().FillRect(RECT{splLog->Left(), splLog->Top() + 1, splLog->Left() + splLog->Width(),
                           splLog->Top() + splLog->Height() - 1});
  }
  if (FLogForm->Visible()) DrawFrame(dc, RECT{0, FLogForm->Top() - Padding().Top(), ClientWidth(), ClientHeight()});
}

void TEditForm::SplitterPaint(TObject*) {
  TCanvas& canvas = splLog->Canvas();
  const int width = splLog->Width(), height = splLog->Height();
  canvas.Brush().SetColor(splLog->Color());
  canvas.FillRect(RECT{0, 0, width, height});
  if (FFrameWidth <= 0) return;
  // The ends of the frames above and below, so that both look closed.
  DrawFrame(canvas.Handle(), RECT{-1, -1, width + 1, 1});
  DrawFrame(canvas.Handle(), RECT{-1, height - 1, width + 1, height + 1});
}

void TEditForm::Resize() {
  TForm::Resize();
  if (FFrameWidth > 0) {
    Realign();
    Invalidate();
  }
  if (FLogVisible) PlaceLogButton();
  ApplyStoredLogHeight();
}

void TEditForm::DoShow() {
  TForm::DoShow();
  ApplyStoredLogHeight();
}

void TEditForm::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == WM_ERASEBKGND) {
    AMessage.Answer(1);
    return;
  }
  if (AMessage.Msg == CM_FOCUSCHANGED) FocusChanged(LParamObject<TWinControl>(AMessage));
  TForm::WndProc(AMessage);
}

// Embedding makes the range boxes' windows again, and their hookers come back only through a posted message: the
// focus the first showing gives the document's box comes before that, unseen by its sheet form, which would leave
// the sheet inactive (no caret, an empty palette, no Ctrl-typing) until the focus left and came back.
void TEditForm::FocusChanged(TWinControl* AControl) {
  for (TSheetForm* form : {FSheetForm, FLogForm})
    if (form && AControl == form->rb1 && form->Sheet() && !form->Sheet()->Active()) form->Sheet()->SetActive(true);
}

void TEditForm::LoadLayout(TKnot& ASessionKnot) {
  TKnot* palette = ASessionKnot.FindOrAddKnot(EditLayoutPaletteKnot);
  ViewPalette->SetChecked(palette->ReadBool(u"Visible", false));
  FPaletteForm->SetVisible(ViewPalette->Checked());
  TKnot* log = ASessionKnot.FindOrAddKnot(EditLayoutLogKnot);
  FStoredLogHeight = log->ReadInteger(u"Height", FLogForm->Height(), INT_MIN, INT_MAX);
  FStoredLogHeightPending = true;
  ApplyStoredLogHeight();
}

void TEditForm::SaveLayout(TKnot& ASessionKnot) {
  ASessionKnot.FindOrAddKnot(EditLayoutPaletteKnot)->WriteBool(u"Visible", ViewPalette->Checked());
  // A height never judged (the log did not show in this run) is kept as it was stored.
  ASessionKnot.FindOrAddKnot(EditLayoutLogKnot)
      ->WriteInteger(u"Height", FStoredLogHeightPending ? FStoredLogHeight : FLogForm->Height());
}
