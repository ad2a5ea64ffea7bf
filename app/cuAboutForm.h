// The about box, and the reading of the program file's version block (which the update check uses too).
#pragma once

#include "framework/fwForms.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TBitmap32;
class TEdit;
class TMemo;
class TPaintBox;
class TUserWinButton;

// "\StringFileInfo\" + the language and code page as 8 hexadecimal digits, language first, + "\" + AName.
std::u16string StringFileInfoPath(uint16_t ALanguage, uint16_t ACodePage, std::u16string_view AName);
// CompanyName, ProductName and ProductVersion of AFileName's version block under its first translation; what is
// not there stays empty. False only when reading raised.
bool GetVersionInfoStrings(const std::u16string& AFileName, std::u16string& ACompany, std::u16string& AProduct,
                           std::u16string& AVersion);
// The running program's file, and its ProductVersion.
std::u16string GetProgramFileName();
std::u16string GetProgramVersion();

// A modal dialog: the program's icon, name and version on a white band, the maker's notice and a logo that opens
// the maker's web address (the user is told when no browser could be started).
class TAboutForm : public TForm {
 public:
  // The logo is the program's RCDATA resource ALogoName; a missing or unreadable one leaves the logo area empty.
  explicit TAboutForm(TComponent* AOwner, const std::u16string& ALogoName = u"Logo");
  ~TAboutForm() override;

  TPaintBox* pnTopWhite;
  TPaintBox* pbProductIcon;
  TEdit* edProduct;
  TMemo* mm1;
  // Its hint holds the web address.
  TPaintBox* pbLogo;
  TUserWinButton* ubOK;

  // Seams: the default web browser (true when one was started) and the program's message box unless replaced.
  std::function<bool(const std::u16string& AAddress)> Browser;
  std::function<int(const std::u16string& AText, UINT AFlags)> MessageBox;

  // Empty when the resource could not be read.
  const TBitmap32& Logo() const { return *FLogo; }
  bool HasIcon() const { return FIcon != nullptr; }

 private:
  void LoadLogo(const std::u16string& ALogoName);
  void TopWhitePaint(TObject* ASender);
  void ProductIconPaint(TObject* ASender);
  void LogoPaint(TObject* ASender);
  void LogoClick(TObject* ASender);

  HICON FIcon = nullptr;
  std::unique_ptr<TBitmap32> FLogo;
};

// Shows the about box owned by AOwner with AText as the notice and AAddress behind the logo, and frees it.
void ShowAboutBox(TComponent* AOwner, const std::u16string& AText, const std::u16string& AAddress);
