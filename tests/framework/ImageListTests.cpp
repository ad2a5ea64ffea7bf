#include <gtest/gtest.h>

#include <memory>

#include "framework/fwImageList.h"

namespace {

uint32_t PixelAt(TBitmap& ABitmap, int X, int Y) { return static_cast<const uint32_t*>(ABitmap.ScanLine(Y))[X]; }

// A strip of ACount 4 x 4 images in 32 bits; image i is opaque in its top-left pixel (colour 0x10 * (i + 1) in
// red), half transparent green in the next and fully transparent elsewhere.
std::unique_ptr<TBitmap> MakeAlphaStrip(int ACount) {
  auto result = std::make_unique<TBitmap>(4 * ACount, 4, TPixelFormat::pf32bit);
  TBitmap& strip = *result;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4 * ACount; ++x) static_cast<uint32_t*>(strip.ScanLine(y))[x] = 0x00000000;
  for (int i = 0; i < ACount; ++i) {
    auto* row = static_cast<uint32_t*>(strip.ScanLine(0));
    row[4 * i] = 0xFF000000u | (static_cast<uint32_t>(0x10 * (i + 1)) << 16);
    row[4 * i + 1] = 0x8000FF00u;
  }
  return result;
}

std::unique_ptr<TBitmap> BlueTarget() {
  auto target = std::make_unique<TBitmap>(4, 4, TPixelFormat::pf32bit);
  target->Canvas().Brush().SetColor(clBlue);
  target->Canvas().FillRect(RECT{0, 0, 4, 4});
  return target;
}

TEST(ImageList, StripIsCutIntoImagesAndFirstIndexReturned) {
  TImageList list(nullptr, 4, 4);
  EXPECT_EQ(list.Add(*MakeAlphaStrip(1)), 0);
  auto wide = MakeAlphaStrip(3);
  wide->SetSize(14, 4);  // a remainder narrower than an image is dropped (pixels are white now)
  EXPECT_EQ(list.Add(*wide), 1);
  EXPECT_EQ(list.Count(), 4);
}

TEST(ImageList, AlphaImagesBlendOverTheBackground) {
  TImageList list(nullptr, 4, 4);
  list.Add(*MakeAlphaStrip(2));
  auto target = BlueTarget();
  list.Draw(target->Canvas(), 0, 0, 1);
  EXPECT_EQ(PixelAt(*target, 0, 0) & 0xFFFFFF, 0x200000u);  // opaque: the image's own red
  uint32_t half = PixelAt(*target, 1, 0);
  EXPECT_NEAR(static_cast<int>((half >> 8) & 0xFF), 128, 2);  // green at half
  EXPECT_NEAR(static_cast<int>(half & 0xFF), 127, 2);         // over blue at half
  EXPECT_EQ(PixelAt(*target, 3, 3) & 0xFFFFFF, 0x0000FFu);    // transparent: background untouched
}

TEST(ImageList, GetBitmapGivesStraightAlphaBack) {
  TImageList list(nullptr, 4, 4);
  list.Add(*MakeAlphaStrip(2));
  TBitmap image;
  list.GetBitmap(1, image);
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(PixelAt(image, 0, 0), 0xFF200000u);
  EXPECT_EQ(PixelAt(image, 1, 0), 0x8000FF00u);
  EXPECT_EQ(PixelAt(image, 2, 2) >> 24, 0u);
  EXPECT_THROW(list.GetBitmap(2, image), EProgrammingError);
}

TEST(ImageList, MaskedImagesLeaveTheMaskColourTransparent) {
  TImageList list(nullptr, 4, 4);
  TBitmap image(4, 4);
  image.Canvas().Brush().SetColor(RGBToColor(128, 0, 0));
  image.Canvas().FillRect(RECT{0, 0, 4, 4});
  image.Canvas().SetPixel(0, 0, clLime);
  EXPECT_EQ(list.AddMasked(image, RGBToColor(128, 0, 0)), 0);
  EXPECT_EQ(image.Canvas().Pixel(1, 1), RGBToColor(128, 0, 0));  // the caller's bitmap is left alone
  auto target = BlueTarget();
  list.Draw(target->Canvas(), 0, 0, 0);
  EXPECT_EQ(PixelAt(*target, 0, 0) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(PixelAt(*target, 2, 2) & 0xFFFFFF, 0x0000FFu);
  TBitmap back;
  list.GetBitmap(0, back);
  EXPECT_EQ(PixelAt(back, 0, 0), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(back, 2, 2) >> 24, 0u);
}

TEST(ImageList, DisabledDrawingIsGreyAtHalfOpacityFocusedDiffers) {
  TImageList list(nullptr, 4, 4);
  list.Add(*MakeAlphaStrip(1));
  auto target = BlueTarget();
  list.Draw(target->Canvas(), 0, 0, 0, false);
  // Opaque red 0x10: grey (0x10 * 77) >> 8 = 4 at half opacity over blue.
  uint32_t grey = PixelAt(*target, 0, 0);
  EXPECT_NEAR(static_cast<int>((grey >> 16) & 0xFF), 2, 1);
  EXPECT_NEAR(static_cast<int>((grey >> 8) & 0xFF), 2, 1);
  EXPECT_NEAR(static_cast<int>(grey & 0xFF), 129, 2);
  EXPECT_EQ(PixelAt(*target, 3, 3) & 0xFFFFFF, 0x0000FFu);

  auto normal = BlueTarget(), focused = BlueTarget();
  list.Draw(normal->Canvas(), 0, 0, 0, TImageDrawState::idsNormal);
  list.Draw(focused->Canvas(), 0, 0, 0, TImageDrawState::idsFocused);
  EXPECT_NE(PixelAt(*normal, 0, 0) & 0xFFFFFF, PixelAt(*focused, 0, 0) & 0xFFFFFF);
}

class TListUser : public TComponent {
 public:
  explicit TListUser(TComponent* AOwner) : TComponent(AOwner) {
    FLink.OnChange = MakeMethod<&TListUser::ImagesChanged>(this);
  }
  void SetImages(TImageList* AValue) {
    if (FImages) {
      FImages->UnRegisterChanges(&FLink);
      FImages->RemoveFreeNotification(this);
    }
    FImages = AValue;
    if (FImages) {
      FImages->RegisterChanges(&FLink);
      FImages->FreeNotification(this);
    }
  }
  TImageList* Images() const { return FImages; }
  int Changes = 0;

 protected:
  void Notification(TComponent* AComponent, TComponentOperation AOperation) override {
    TComponent::Notification(AComponent, AOperation);
    if (AOperation == TComponentOperation::opRemove && AComponent == FImages) FImages = nullptr;
  }

 private:
  void ImagesChanged(TObject*) { ++Changes; }
  TChangeLink FLink;
  TImageList* FImages = nullptr;
};

TEST(ImageList, ChangeLinksHearChangesOncePerUpdateAndFreeingClearsUsers) {
  auto* list = new TImageList(nullptr, 4, 4);
  auto* user = new TListUser(nullptr);
  user->SetImages(list);
  list->Add(*MakeAlphaStrip(1));
  EXPECT_EQ(user->Changes, 1);
  list->BeginUpdate();
  list->Add(*MakeAlphaStrip(2));
  list->Delete(0);
  EXPECT_EQ(user->Changes, 1);
  list->EndUpdate();
  EXPECT_EQ(user->Changes, 2);
  list->Free();
  EXPECT_EQ(user->Images(), nullptr);
  user->Free();  // its link no longer refers to the freed list

  auto* second = new TImageList(nullptr, 4, 4);
  auto* early = new TListUser(nullptr);
  early->SetImages(second);
  early->Free();  // the link unregisters itself
  second->Add(*MakeAlphaStrip(1));
  second->Free();
}

TEST(ImageList, ImageStripsOfTheFoundationAreCutIntoTheList) {
  TImageList list(nullptr, 4, 4);
  list.Add(*MakeAlphaStrip(1));
  struct TCounter : TObject {
    int Changes = 0;
    void Changed(TObject*) { ++Changes; }
  } counter;
  list.OnChange = MakeMethod<&TCounter::Changed>(&counter);
  EXPECT_EQ(list.AddImageStrip(*MakeAlphaStrip(3)), 1);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(counter.Changes, 1);
  TBitmap image;
  list.GetBitmap(3, image);
  EXPECT_EQ(PixelAt(image, 0, 0), 0xFF300000u);
  EXPECT_EQ(PixelAt(image, 1, 0), 0x8000FF00u);
}

}  // namespace
