#include "app/sfSettingsForm.h"

#include "app/sfEditorSubForm.h"
#include "app/sfGeneralSubForm.h"
#include "app/sfPaletteSubForm.h"
#include "app/sfPrintSubForm.h"
#include "app/sfSoundsSubForm.h"
#include "app/unSettings.h"
#include "app/unUtils.h"
#include "controls/baAppCmpns.h"
#include "controls/baPropAssoc.h"
#include "controls/baStyledPainter.h"
#include "controls/baTreeViewEx.h"
#include "controls/baUserButtons.h"
#include "document/elements/diLog.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwScreen.h"

#include <memory>
#include <utility>

namespace {

constexpr int IdOK = 2012;
constexpr int IdCancel = 2013;
constexpr int IdApply = 2015;
constexpr int IdSettingsCaption = 2047;
constexpr int IdGeneralPage = 4161;
constexpr int IdPalettePage = 4170;
constexpr int IdEditorPage = 4174;
constexpr int IdSoundsPage = 4200;
constexpr int IdPrintPage = 4202;

// The result that ends a dialog whose language changed; ShowSettings never returns it.
constexpr TModalResult mrRecreateSettings = 0x5E77;

constexpr int Margin = 8;
constexpr int TreeWidth = 140;
constexpr int ButtonHeight = 25;
constexpr int ButtonMinWidth = 75;
constexpr int ButtonGap = 6;

// What ShowSettings keeps between its calls and while it runs.
struct TSettingsDialogState {
  // The page open when the last dialog closed, for the life of the process.
  int LastPageIndex = 0;
  std::u16string PageName;
  TSettingsForm* Dialog = nullptr;
};

TSettingsDialogState& DialogState() {
  static TSettingsDialogState state;
  return state;
}

TUserWinButton* NewDialogButton(TSettingsForm& AForm, int ACaptionId) {
  auto* button = new TUserWinButton(&AForm);
  button->SetParent(&AForm);
  button->Constraints().SetMinWidth(ButtonMinWidth);
  button->SetBounds(0, 0, ButtonMinWidth, ButtonHeight);
  button->SetPainter(StdBtnPainter);
  button->SetOptions(boAutoWidth);
  button->SetCaption(Localization->GetLocStr(ACaptionId));
  return button;
}

bool ShowsItself(const TControl& AControl, const TControl& AContainer) {
  for (const TControl* c = &AControl; c && c != &AContainer; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Pages

TSettingsSubForm::TSettingsSubForm(TComponent* AOwner) : TForm(AOwner) {
  if (Screen) Font().Assign(&Screen->MessageFont());
  SetClientSize(SettingsPageWidth, SettingsPageHeight);
}

TWinControl* TSettingsSubForm::FirstControl() {
  // Asked before the dialog shows, when nothing can take the focus yet: the page's own flags decide.
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  for (TWinControl* control : list)
    if (control->TabStop() && ShowsItself(*control, *this)) return control;
  return nullptr;
}

TLabel* TSettingsSubForm::NewGroupCaption() {
  TLabel* label = NewLabel();
  label->Font().SetStyle(label->Font().Style() | fsBold);
  return label;
}

TLabel* TSettingsSubForm::NewLabel(TWinControl* AFocusControl) {
  auto* label = new TLabel(this);
  label->SetParent(this);
  label->SetFocusControl(AFocusControl);
  return label;
}

TCheckBox* TSettingsSubForm::NewCheckBox() {
  auto* box = new TCheckBox(this);
  box->SetParent(this);
  box->SetBounds(0, 0, 100, 17);
  box->SetTabStop(true);
  return box;
}

TComboBox* TSettingsSubForm::NewComboBox(TComboBoxStyle AStyle) {
  auto* combo = new TComboBox(this);
  combo->SetParent(this);
  combo->SetStyle(AStyle);
  combo->SetTabStop(true);
  return combo;
}

int TSettingsSubForm::PlaceUnderLabel(TLabel& ALabel, TWinControl& AControl, int X, int Y, int AWidth) {
  ALabel.SetBounds(X, Y, ALabel.Width(), ALabel.Height());
  AControl.SetBounds(X, Y + ALabel.Height() + 3, AWidth, AControl.Height());
  return AControl.Top() + AControl.Height();
}

// ---------------------------------------------------------------------------------------------------------------
// The dialog

TSettingsForm::TSettingsForm(TComponent* AOwner, TSettings& ASettings, int APageIndex, std::u16string APageName,
                             TSettingsApplyHook AHook, void* AHookData)
    : TForm(AOwner), FSettings(ASettings), FPageName(std::move(APageName)), FHook(AHook), FHookData(AHookData) {
  SetName(u"SettingsForm");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poMainFormCenter);
  if (Screen) Font().Assign(&Screen->MessageFont());
  SetClientSize(Margin + TreeWidth + Margin + SettingsPageWidth + Margin,
                Margin + SettingsPageHeight + Margin + ButtonHeight + Margin);
  SetCaption(Localization->GetLocStr(IdSettingsCaption));

  pa1 = new TPropertyAssociator(this);
  pa1->SetName(u"pa1");

  tv1 = new TTreeViewEx(this);
  tv1->SetName(u"tv1");
  tv1->SetParent(this);
  tv1->SetBounds(Margin, Margin, TreeWidth, SettingsPageHeight);
  tv1->SetShowButtons(false);
  tv1->SetShowLines(false);
  tv1->SetShowRoot(false);
  tv1->SetRowSelect(true);
  tv1->SetHideSelection(false);
  tv1->SetReadOnly(true);
  tv1->SetToolTips(false);
  tv1->SetTabStop(true);

  // In the tree's order; each page follows the tree in tab order.
  TGeneralSubForm* general = nullptr;
  TPaletteSubForm* palette = nullptr;
  TEditorSubForm* editor = nullptr;
  TSoundsSubForm* sounds = nullptr;
  TPrintSubForm* print = nullptr;
  AddPage(CreateEmbeddedForm(general, *this, TAlign::alNone, false), IdGeneralPage);
  AddPage(CreateEmbeddedForm(palette, *this, TAlign::alNone, false), IdPalettePage);
  AddPage(CreateEmbeddedForm(editor, *this, TAlign::alNone, false), IdEditorPage);
  AddPage(CreateEmbeddedForm(sounds, *this, TAlign::alNone, false), IdSoundsPage);
  AddPage(CreateEmbeddedForm(print, *this, TAlign::alNone, false), IdPrintPage);

  ubOK = NewDialogButton(*this, IdOK);
  ubOK->SetName(u"ubOK");
  ubOK->SetDefault(true);
  ubOK->OnClick = MakeMethod<&TSettingsForm::OKClick>(this);
  ubCancel = NewDialogButton(*this, IdCancel);
  ubCancel->SetName(u"ubCancel");
  ubCancel->SetCancel(true);
  ubCancel->SetModalResult(mrCancel);
  ubApply = NewDialogButton(*this, IdApply);
  ubApply->SetName(u"ubApply");
  ubApply->OnClick = MakeMethod<&TSettingsForm::ApplyClick>(this);

  fp1 = new TFormPlace(this);
  fp1->SetName(u"fp1");
  if (Global) fp1->SetSessionFile(Global->SessionFile);

  int index = APageIndex;
  for (int i = 0; i < PageCount(); ++i)
    if (!FPageName.empty() && SameTextAscii(Pages(i)->Name(), FPageName)) index = i;
  if (index < 0 || index >= tv1->Items().Count()) index = 0;
  tv1->OnCollapsing = MakeMethod<&TSettingsForm::TreeCollapsing>(this);
  tv1->OnChange = MakeMethod<&TSettingsForm::TreeChange>(this);
  TTreeNode* node = tv1->Items().Item(index);
  tv1->SetSelected(node);
  ShowPage(static_cast<TSettingsSubForm*>(node->Data()));
}

void TSettingsForm::AddPage(TSettingsSubForm* APage, int ACaptionId) {
  APage->SetBounds(Margin + TreeWidth + Margin, Margin, SettingsPageWidth, SettingsPageHeight);
  APage->Bind(*pa1, FSettings);
  FPages.push_back(APage);
  tv1->Items().AddChild(nullptr, Localization->GetLocStr(ACaptionId), APage);
}

void TSettingsForm::DoCreate() {
  for (TSettingsSubForm* page : FPages) page->Arrange();
  PlaceButtons();
  TForm::DoCreate();
}

void TSettingsForm::PlaceButtons() {
  // Right to left from the corner; each button is as wide as its text needs.
  for (TUserWinButton* button : {ubApply, ubCancel, ubOK}) button->Client().AdjustControlSize();
  int right = ClientWidth() - Margin;
  const int top = ClientHeight() - Margin - ButtonHeight;
  for (TUserWinButton* button : {ubApply, ubCancel, ubOK}) {
    button->SetBounds(right - button->Width(), top, button->Width(), ButtonHeight);
    right = button->Left() - ButtonGap;
  }
}

int TSettingsForm::SelectedPageIndex() const {
  TTreeNode* node = tv1->Selected();
  return node ? node->AbsoluteIndex() : 0;
}

void TSettingsForm::ShowPage(TSettingsSubForm* APage) {
  if (!APage || APage == FCurrentPage) return;
  if (FCurrentPage) FCurrentPage->SetVisible(false);
  FCurrentPage = APage;
  FCurrentPage->SetVisible(true);
}

void TSettingsForm::TreeChange(TObject* ASender, TTreeNode* ANode) {
  if (ANode) ShowPage(static_cast<TSettingsSubForm*>(ANode->Data()));
}

void TSettingsForm::TreeCollapsing(TObject* ASender, TTreeNode* ANode, bool& AAllowCollapse) { AAllowCollapse = false; }

void TSettingsForm::DoShow() {
  // The page named by the caller is the one shown; its first control takes the focus once the dialog is active.
  if (!FPageName.empty() && FCurrentPage && SameTextAscii(FCurrentPage->Name(), FPageName))
    if (TWinControl* first = FCurrentPage->FirstControl()) SetActiveControl(first);
  TForm::DoShow();
}

bool TSettingsForm::Apply(bool ARecreate) {
  for (TSettingsSubForm* page : FPages)
    if (TWinControl* refused = page->CheckValues()) {
      for (TTreeNode* node = tv1->Items().GetFirstNode(); node; node = node->GetNext())
        if (node->Data() == page) tv1->SetSelected(node);
      ShowPage(page);
      if (refused->CanFocus()) refused->SetFocus();
      return false;
    }
  const std::u16string language = FSettings.General->Language->Value();
  {
    TBusyCursor busy;
    pa1->Apply();
    if (FHook) FHook(FHookData, this);
  }
  if (ARecreate && FSettings.General->Language->Value() != language) PostMessageW(Handle(), WM_SETTINGS_RECREATE, 0, 0);
  return true;
}

void TSettingsForm::OKClick(TObject* ASender) {
  if (Apply(false)) SetModalResult(mrOk);
}

void TSettingsForm::ApplyClick(TObject* ASender) { Apply(true); }

void TSettingsForm::WndProc(TMessage& AMessage) {
  if (AMessage.Msg == WM_SETTINGS_RECREATE) {
    // Ends the modal loop; ShowSettings frees this dialog only after the loop has returned.
    SetModalResult(mrRecreateSettings);
    AMessage.Answer();
    return;
  }
  TForm::WndProc(AMessage);
}

// ---------------------------------------------------------------------------------------------------------------

TModalResult ShowSettings(TComponent* AOwner, TSettings* ASettings, const std::u16string& APageName,
                          TSettingsApplyHook AHook, void* AHookData) {
  TSettingsDialogState& state = DialogState();
  state.PageName = APageName;
  struct TClear {
    TSettingsDialogState& State;
    ~TClear() { State.Dialog = nullptr; }
  } clear{state};
  for (;;) {
    std::unique_ptr<TSettingsForm, TComponentDeleter> dialog(
        New<TSettingsForm>(AOwner, *ASettings, state.LastPageIndex, state.PageName, AHook, AHookData));
    state.Dialog = dialog.get();
    const TModalResult result = dialog->ShowModal();
    state.LastPageIndex = dialog->SelectedPageIndex();
    state.Dialog = nullptr;
    dialog.reset();
    if (result != mrRecreateSettings) return result;
    // The new dialog speaks the new language and starts on the first page.
    state.LastPageIndex = 0;
    state.PageName.clear();
  }
}

TSettingsForm* RunningSettingsForm() { return DialogState().Dialog; }

std::u16string SettingsPageOfPath(std::u16string_view APath) {
  const std::u16string_view node = APath.substr(0, APath.find_first_of(u".\\/"));
  if (SameTextAscii(node, u"PaletteForm")) return u"PaletteSubForm";
  if (SameTextAscii(node, u"Sheet") || SameTextAscii(node, u"SheetForm")) return u"EditorSubForm";
  if (SameTextAscii(node, u"Sounds")) return u"SoundsSubForm";
  if (SameTextAscii(node, u"Print")) return u"PrintSubForm";
  return u"GeneralSubForm";
}

void InitializeSettingsForm() {
  SetSettingsLinkHandler([](const std::u16string& APath) {
    if (!Global || !Application || RunningSettingsForm()) {
      MessageBeep(0);
      return;
    }
    ShowSettings(Application->MainForm(), Global->Settings(), SettingsPageOfPath(APath));
  });
}

void FinalizeSettingsForm() {
  SetSettingsLinkHandler(nullptr);
  DialogState().PageName.clear();
}
