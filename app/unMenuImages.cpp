#include "app/unMenuImages.h"

#include <memory>

#include "foundation/cuLocalizationWin.h"
#include "framework/fwImageList.h"
#include "graphics/images/umImageStrips.h"

void LoadMenuImages(TImageList& AImages) {
  std::unique_ptr<TStream> png = CreateResourceStream(nullptr, L"unMenuImages", RT_RCDATA);
  AddImageStripPng(*png, AImages.Handle());
}
