// Image lists over comctl32: images of one fixed size in 32 bits with alpha (or masked), drawn normal, focused
// or disabled, with change links for their users.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "foundation/cuWin32.h"
#include "framework/fwBitmaps.h"
#include "framework/fwComponents.h"

class TImageList;

// A user's subscription to an image list's changes. Freeing the link unregisters it; freeing the list clears
// Sender (and the user is told through free-notification when it asked for it).
class TChangeLink : public TObject {
 public:
  ~TChangeLink() override;
  TImageList* Sender() const { return FSender; }
  TNotifyEvent OnChange;

 private:
  friend class TImageList;
  TImageList* FSender = nullptr;
};

enum class TImageDrawState : uint8_t {
  idsNormal,    // as stored, alpha or mask applied
  idsFocused,   // blended with the highlight colour
  idsDisabled,  // grey (luminance 77:151:28) at half opacity
};

class TImageList : public TComponent {
 public:
  TImageList(TComponent* AOwner, int AWidth = 16, int AHeight = 16);
  ~TImageList() override;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // A new size empties the list.
  void SetSize(int AWidth, int AHeight);
  int Count() const;
  HIMAGELIST Handle() const { return FHandle; }

  // Cuts AImage into images of the list's width, left to right (a remainder is dropped), and returns the index of
  // the first. A 32-bit image keeps its alpha (straight, not premultiplied); otherwise AMask (white = transparent)
  // or, without one, the image is opaque.
  int Add(const TBitmap& AImage, const TBitmap* AMask = nullptr);
  // The same, with every pixel of AMaskColor transparent.
  int AddMasked(const TBitmap& AImage, TColor AMaskColor);
  int AddIcon(const TIcon& AIcon);
  // The program's image strips, cut by AddImageStrip below. Returns the index of the first new image.
  int AddImageStrip(const TBitmap& AStrip);
  void Delete(int AIndex);
  void Clear();

  void Draw(TCanvas& ACanvas, int X, int Y, int AIndex, TImageDrawState AState = TImageDrawState::idsNormal);
  void Draw(TCanvas& ACanvas, int X, int Y, int AIndex, bool AEnabled) {
    Draw(ACanvas, X, Y, AIndex, AEnabled ? TImageDrawState::idsNormal : TImageDrawState::idsDisabled);
  }
  // A 32-bit copy of one image with straight alpha (masked images: alpha 0 where the mask is set).
  void GetBitmap(int AIndex, TBitmap& ADest) const;

  // Changes are reported to OnChange and to every registered link, once per outermost update bracket.
  void RegisterChanges(TChangeLink* ALink);
  void UnRegisterChanges(TChangeLink* ALink);
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  TNotifyEvent OnChange;

 private:
  void CreateList();
  void Change();
  void CheckIndex(int AIndex) const;

  int FWidth;
  int FHeight;
  HIMAGELIST FHandle = nullptr;
  std::vector<TChangeLink*> FLinks;
  int FUpdateCount = 0;
  bool FChanged = false;
};

// Image strips: cut into tiles of the image list's size, row by row, left to right; a remainder is ignored.

// A 32-bit bitmap with partial transparency gives 32-bit tiles with alpha, added without a mask; any other bitmap
// gives tiles masked with each tile's transparent colour (its bottom-left pixel).
void AddImageStrip(HBITMAP ABitmap, HIMAGELIST AImageList);
// AWidth x AHeight pixels as 32-bit ARGB words, top row first, alpha not premultiplied: alpha tiles when any pixel
// is not opaque, else masked tiles as above.
void AddImageStripPixels(std::span<const uint32_t> APixels, int AWidth, int AHeight, HIMAGELIST AImageList);
