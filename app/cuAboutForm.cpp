#include "app/cuAboutForm.h"

#include "app/cuWeb.h"
#include "app/unUtils.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "foundation/cuLocalization.h"
#include "foundation/cuLocalizationWin.h"
#include "foundation/cuUtilsWin.h"
#include "foundation/cuWin32.h"
#include "framework/fwExtCtrls.h"
#include "framework/fwScreen.h"
#include "framework/fwStdCtrls.h"
#include "graphics/images/umUniversalImage.h"
#include "graphics/pixels/pxBackendsGDI.h"

#include <vector>

namespace {

constexpr int IdOKCaption = 2012;   // "OK"
constexpr int IdAboutTitle = 2059;  // "About %1"
constexpr int IconSize = 64;

// The value at APath of a version block; empty when it is not there.
std::u16string QueryVersionString(const std::vector<uint8_t>& ABlock, const std::u16string& APath) {
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(ABlock.data(), WStr(APath), &value, &length) || !value || length == 0) return {};
  std::u16string text(static_cast<const char16_t*>(value), length);
  // The length counts the terminating zero.
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

std::u16string StringFileInfoPath(uint16_t ALanguage, uint16_t ACodePage, std::u16string_view AName) {
  static constexpr char16_t Digits[] = u"0123456789ABCDEF";
  const uint32_t both = uint32_t(ALanguage) << 16 | ACodePage;
  std::u16string hex(8, u'0');
  for (int i = 0; i < 8; ++i) hex[7 - i] = Digits[both >> (i * 4) & 0xF];
  return u"\\StringFileInfo\\" + hex + u"\\" + std::u16string(AName);
}

bool GetVersionInfoStrings(const std::u16string& AFileName, std::u16string& ACompany, std::u16string& AProduct,
                           std::u16string& AVersion) {
  try {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(WStr(AFileName), &handle);
    if (size == 0) return true;
    std::vector<uint8_t> block(size);
    if (!GetFileVersionInfoW(WStr(AFileName), 0, size, block.data())) return true;
    void* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation, &length) || length < 4) return true;
    const auto* pair = static_cast<const uint16_t*>(translation);
    ACompany = QueryVersionString(block, StringFileInfoPath(pair[0], pair[1], u"CompanyName"));
    AProduct = QueryVersionString(block, StringFileInfoPath(pair[0], pair[1], u"ProductName"));
    AVersion = QueryVersionString(block, StringFileInfoPath(pair[0], pair[1], u"ProductVersion"));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::u16string GetProgramFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) return FromWide(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::u16string GetProgramVersion() {
  std::u16string company, product, version;
  GetVersionInfoStrings(GetProgramFileName(), company, product, version);
  return version;
}

// ---------------------------------------------------------------------------------------------------------------

TAboutForm::TAboutForm(TComponent* AOwner, const std::u16string& ALogoName)
    : TForm(AOwner),
      Browser([](const std::u16string& AAddress) { return OpenInDefaultBrowser(AAddress); }),
      MessageBox([](const std::u16string& AText, UINT AFlags) { return ShowMessageBox(AText, {}, AFlags); }),
      FLogo(std::make_unique<TBitmap32>()) {
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poOwnerFormCenter);
  if (Screen) Font().Assign(&Screen->MessageFont());
  SetClientSize(420, 290);

  pnTopWhite = new TPaintBox(this);
  pnTopWhite->SetParent(this);
  pnTopWhite->SetAlign(TAlign::alTop);
  pnTopWhite->SetHeight(97);
  pnTopWhite->OnPaint = MakeMethod<&TAboutForm::TopWhitePaint>(this);

  pbProductIcon = new TPaintBox(this);
  pbProductIcon->SetParent(this);
  pbProductIcon->SetBounds(16, 16, IconSize, IconSize);
  pbProductIcon->OnPaint = MakeMethod<&TAboutForm::ProductIconPaint>(this);

  const std::u16string title = Localization->GetLocStr(ApplicationTitleId);
  edProduct = new TEdit(this);
  edProduct->SetParent(this);
  edProduct->SetBorderStyle(TBorderStyle::bsNone);
  edProduct->SetReadOnly(true);
  edProduct->SetColor(clWindow);
  edProduct->Font().SetSize(Font().Size() + 10);
  edProduct->SetBounds(96, 30, 308, 40);
  edProduct->SetText(title + u" " + GetProgramVersion());

  mm1 = new TMemo(this);
  mm1->SetParent(this);
  mm1->SetBorderStyle(TBorderStyle::bsNone);
  mm1->SetReadOnly(true);
  mm1->SetParentColor(true);
  mm1->SetBounds(16, 109, 388, 100);

  pbLogo = new TPaintBox(this);
  pbLogo->SetParent(this);
  pbLogo->SetBounds(16, 219, 260, 60);
  pbLogo->SetCursor(crHandPoint);
  pbLogo->SetShowHint(true);
  pbLogo->OnPaint = MakeMethod<&TAboutForm::LogoPaint>(this);
  pbLogo->OnClick = MakeMethod<&TAboutForm::LogoClick>(this);

  ubOK = new TUserWinButton(this);
  ubOK->SetParent(this);
  ubOK->SetBounds(324, 253, 80, 26);
  ubOK->SetCaption(Localization->GetLocStr(IdOKCaption));
  ubOK->SetPainter(StdBtnPainter);
  ubOK->SetDefault(true);
  ubOK->SetCancel(true);
  ubOK->SetModalResult(mrOk);
  // Not the notice: its caret would blink in a box the user only reads.
  SetActiveControl(ubOK);

  SetCaption(Localization->FormatLocStr(IdAboutTitle, {title}));
  FIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, IconSize, IconSize, 0));
  LoadLogo(ALogoName);
}

TAboutForm::~TAboutForm() {
  if (FIcon) DestroyIcon(FIcon);
}

void TAboutForm::LoadLogo(const std::u16string& ALogoName) {
  TUniversalImage image;
  try {
    std::unique_ptr<TStream> stream = CreateResourceStream(nullptr, WStr(ALogoName), RT_RCDATA);
    image.LoadFromStream(*stream);
  } catch (const std::exception&) {
    // No logo: its area stays empty.
  }
  const TBitmap32* frame = image.First();
  if (!frame || frame->Empty()) return;
  FLogo->SetSize(frame->Width(), frame->Height());
  FLogo->Clear(Color32(ColorToRef(Color())));
  const_cast<TBitmap32*>(frame)->DrawTo(FLogo.get(), 0, 0);
}

void TAboutForm::TopWhitePaint(TObject* ASender) {
  TCanvas& canvas = pnTopWhite->Canvas();
  RECT r = pnTopWhite->ClientRect();
  r.bottom -= 1;
  canvas.Brush().SetColor(clWindow);
  canvas.FillRect(r);
  canvas.Pen().SetColor(static_cast<TColor>(0xC0C0C0));
  canvas.MoveTo(r.left, r.bottom);
  canvas.LineTo(r.right, r.bottom);
}

void TAboutForm::ProductIconPaint(TObject* ASender) {
  if (!FIcon) return;
  const int x = (pbProductIcon->Width() - IconSize) / 2;
  const int y = (pbProductIcon->Height() - IconSize) / 2;
  DrawIconEx(pbProductIcon->Canvas().Handle(), x, y, FIcon, IconSize, IconSize, 0, nullptr, DI_NORMAL);
}

void TAboutForm::LogoPaint(TObject* ASender) {
  if (FLogo->Empty()) return;
  FLogo->DrawToDC(pbLogo->Canvas().Handle(), (pbLogo->Width() - FLogo->Width()) / 2,
                  (pbLogo->Height() - FLogo->Height()) / 2);
}

void TAboutForm::LogoClick(TObject* ASender) {
  const std::u16string address = pbLogo->Hint();
  if (!Browser(address)) MessageBox(BrowserNotStartedText(address), MB_OK | MB_ICONWARNING);
}

void ShowAboutBox(TComponent* AOwner, const std::u16string& AText, const std::u16string& AAddress) {
  std::unique_ptr<TAboutForm, TComponentDeleter> form(New<TAboutForm>(AOwner));
  form->mm1->SetText(AText);
  form->pbLogo->SetHint(AAddress);
  form->ShowModal();
}
