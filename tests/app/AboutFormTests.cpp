#include "app/cuAboutForm.h"
#include "app/unUtils.h"
#include "controls/baStyledPainter.h"
#include "controls/baUserButtons.h"
#include "foundation/cuStreams.h"
#include "foundation/cuUtilsWin.h"
#include "framework/fwComponents.h"
#include "framework/fwExtCtrls.h"
#include "framework/fwStdCtrls.h"
#include "framework/fwTimer.h"
#include "graphics/pixels/pxBackendsGDI.h"
#include "tests/app/AppFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(VersionBlock, TheTranslationNamesTheStringTableOfTheQuery) {
  EXPECT_EQ(StringFileInfoPath(0x0409, 0x04B0, u"ProductVersion"), u"\\StringFileInfo\\040904B0\\ProductVersion");
  EXPECT_EQ(StringFileInfoPath(0x0407, 0x04E4, u"CompanyName"), u"\\StringFileInfo\\040704E4\\CompanyName");
  EXPECT_EQ(StringFileInfoPath(0xABCD, 0x0001, u"X"), u"\\StringFileInfo\\ABCD0001\\X");
}

TEST(VersionBlock, TheProgramsNamesAndVersionAreRead) {
  std::u16string company, product, version;
  ASSERT_TRUE(GetVersionInfoStrings(GetProgramFileName(), company, product, version));
  EXPECT_EQ(company, u"OrrenwickStudios");
  EXPECT_EQ(product, u"Quillbox");
  EXPECT_EQ(version, u"0.1.0.0");
  EXPECT_EQ(GetProgramVersion(), u"0.1.0.0");
}

TEST(VersionBlock, AFileWithoutOneGivesEmptyNames) {
  const std::u16string name = GetTempFolder() + u"qb_app_no_version.txt";
  {
    TFileStream file(name, TFileMode::fmCreate);
    file.Write("plain text", 10);
  }
  std::u16string company, product, version;
  EXPECT_TRUE(GetVersionInfoStrings(name, company, product, version));
  EXPECT_EQ(company + product + version, u"");
  DeleteFileW(WStr(name));
}

class AboutFormTest : public TStartedUnitsTest {
 protected:
  void SetUp() override {
    TStartedUnitsTest::SetUp();
    ApplicationTitleId = 4000;
    FGlobal.reset(New<TGlobal>(nullptr, TGlobalPlaces{Scratch() + u"Quillbox.exe", {}, {}, {}, {}}));
  }
  void TearDown() override {
    FGlobal.reset();
    TStartedUnitsTest::TearDown();
  }

  // Shows the box modally until a timer clicks its OK button, or presses Enter where the focus is.
  static TModalResult ShowAndClose(TAboutForm& AForm, bool AByEnter = false) {
    struct TCloser {
      TAboutForm* Form;
      bool ByEnter;
      bool Seen = false;
      bool OKFocused = false;
      void Tick(TObject*) {
        if (Seen) return;
        Seen = Form->Visible();
        OKFocused = GetFocus() == Form->ubOK->Handle();
        if (ByEnter)
          PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
        else
          Form->ubOK->Click();
      }
    } closer{&AForm, AByEnter};
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.SetOnTimer(MakeMethod<&TCloser::Tick>(&closer));
    const TModalResult result = AForm.ShowModal();
    timer.SetEnabled(false);
    EXPECT_TRUE(closer.Seen);
    EXPECT_TRUE(closer.OKFocused);
    return result;
  }

 private:
  std::unique_ptr<TGlobal, TComponentDeleter> FGlobal;
};

TEST_F(AboutFormTest, WithoutALogoTheBoxStillOpens) {
  for (const char16_t* logo : {u"NoSuchLogo", u"BrokenLogo"}) {
    std::unique_ptr<TAboutForm, TComponentDeleter> form(New<TAboutForm>(nullptr, logo));
    EXPECT_TRUE(form->Logo().Empty());
    EXPECT_EQ(ShowAndClose(*form), mrOk);
  }
}

TEST_F(AboutFormTest, ShowsTitleVersionAndTheLogoOnTheFormsColour) {
  std::unique_ptr<TAboutForm, TComponentDeleter> form(New<TAboutForm>(nullptr));
  EXPECT_EQ(form->Caption(), u"About Quillbox");
  EXPECT_EQ(form->edProduct->Text(), u"Quillbox 0.1.0.0");
  EXPECT_EQ(form->ubOK->Caption(), u"OK");
  EXPECT_EQ(form->ubOK->Painter(), static_cast<TPainter*>(StdBtnPainter));
  ASSERT_FALSE(form->Logo().Empty());
  EXPECT_LE(form->Logo().Width(), form->pbLogo->Width());
  EXPECT_LE(form->Logo().Height(), form->pbLogo->Height());
  // Nothing of the logo is see-through: its transparent parts took the dialog's colour.
  EXPECT_EQ(form->Logo().Pixel(0, 0), Color32(ColorToRef(form->Color())));
  EXPECT_EQ(ShowAndClose(*form), mrOk);
  EXPECT_EQ(ShowAndClose(*form, true), mrOk);
}

TEST_F(AboutFormTest, ALogoNoBrowserCouldOpenIsReportedWithItsAddress) {
  std::unique_ptr<TAboutForm, TComponentDeleter> form(New<TAboutForm>(nullptr));
  std::vector<std::u16string> opened;
  std::vector<std::u16string> reported;
  form->Browser = [&](const std::u16string& AAddress) {
    opened.push_back(AAddress);
    return false;
  };
  form->MessageBox = [&](const std::u16string& AText, UINT AFlags) {
    reported.push_back(AText);
    EXPECT_EQ(AFlags, UINT(MB_OK | MB_ICONWARNING));
    return IDOK;
  };
  form->pbLogo->SetHint(u"https://maker.example/");
  form->pbLogo->Click();
  EXPECT_EQ(opened, std::vector<std::u16string>{u"https://maker.example/"});
  EXPECT_EQ(reported, std::vector<std::u16string>{
                          u"The link \"https://maker.example/\" could not be opened: no web browser was started."});
}

}  // namespace
