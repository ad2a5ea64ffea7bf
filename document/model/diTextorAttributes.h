// Attributes of text runs and paragraphs: shared, reference-counted flyweights. A run never changes its
// attributes in place; it acquires the one pooled instance equal to a changed copy, so equal attributes are one
// object and comparing runs is comparing pointers.
#pragma once

#include "foundation/cuSystem.h"
#include "graphics/pixels/pxTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

class TAttributes;
class TCustomSheetCanvas;
using TAttributesClass = TClassRef<TAttributes>;

// Paint flags of runs: bit 0 selected, bit 1 the selection is inactive.
enum : uint32_t { afSelected = 1, afInactive = 2 };

class TAttributes : public TObject {
 public:
  static const TClassInfo<TAttributes> ClassInfo;
  virtual TAttributesClass ClassRef() const { return &ClassInfo; }

  TAttributes() = default;
  ~TAttributes() override;

  // A new instance of AClass that belongs to the pool, at its head, with no holder yet.
  static TAttributes* CreateShared(TAttributesClass AClass);
  // The pooled instance equal to this one: this one when it is pooled, else the first equal one, else a new pooled
  // copy. The count is not raised: the holder calls AddRef.
  TAttributes* Acquire() const;
  void AddRef() { ++FRefCount; }
  // At 0 a pooled instance leaves the pool and is freed.
  void Release();
  // The first pooled instance equal to AAttributes; nil when none.
  static TAttributes* FindShared(const TAttributes& AAttributes);
  // Frees every pooled instance (at the end of the program).
  static void FreePool();
  static int PoolSize();

  bool Shared() const { return FShared; }
  int32_t RefCount() const { return FRefCount; }
  TAttributes* NextShared() const { return FNextShared; }

  virtual void BeginChange() {}
  virtual void EndChange() {}
  virtual void Assign(const TAttributes& ASource) {}
  // Same class; the classes compare their fields too.
  virtual bool IsEqual(const TAttributes& AOther) const;

 private:
  bool FShared = false;
  TAttributes* FNextShared = nullptr;
  int32_t FRefCount = 0;
};

// Holds one reference to a pooled instance.
template <class T>
class TAttributesRef {
 public:
  TAttributesRef() = default;
  explicit TAttributesRef(T* AAttributes) : FAttributes(AAttributes) {
    if (FAttributes) FAttributes->AddRef();
  }
  TAttributesRef(const TAttributesRef& AOther) : TAttributesRef(AOther.FAttributes) {}
  TAttributesRef& operator=(const TAttributesRef& AOther) {
    TAttributesRef copy(AOther);
    std::swap(FAttributes, copy.FAttributes);
    return *this;
  }
  ~TAttributesRef() {
    if (FAttributes) FAttributes->Release();
  }
  T* get() const { return FAttributes; }
  T* operator->() const { return FAttributes; }
  explicit operator bool() const { return FAttributes != nullptr; }

 private:
  T* FAttributes = nullptr;
};

class TTextAttributes : public TAttributes {
 public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  // Carried for the text engine and compared and copied with the rest; link runs set LinkFlag to 1 and LinkTarget
  // to the target.
  const std::u16string& Tag() const { return FTag; }
  const std::u16string& LinkTarget() const { return FLinkTarget; }
  int32_t LinkFlag() const { return FLinkFlag; }
  void SetTag(std::u16string AValue);
  void SetLink(int32_t AFlag, std::u16string ATarget);

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  virtual int GetAscent() { return 0; }
  virtual int GetDescent() { return 0; }
  int GetHeight() { return GetAscent() + GetDescent(); }
  virtual void PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) {}
  virtual void PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X, const TRect& ARect) {}
  // Draws AText with its top at ARect.Top from X, and moves X past it.
  virtual void TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText, int ALength,
                       const TRect& ARect) {}
  virtual int GetTabWidth() { return 0; }
  virtual int TextWidth(const char16_t* AText, int ALength) { return 0; }

 private:
  std::u16string FTag;
  std::u16string FLinkTarget;
  int32_t FLinkFlag = 0;
};

enum : uint8_t { paLeft = 0, paRight = 1, paCenter = 2 };

class TParagraphAttributes : public TAttributes {
 public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  uint8_t Alignment() const { return FAlignment; }
  void SetAlignment(uint8_t AValue);

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  virtual void PaintBackground(TCustomSheetCanvas& ACanvas, const TRect& ARect) {}
  virtual int GetFirstLineIndent() { return 0; }
  // AMarkerWidth is the width of the paragraph's marker, which the text engine knows.
  virtual int GetLeftIndent(int AMarkerWidth) { return 0; }
  virtual int GetRightIndent() { return 0; }

 private:
  uint8_t FAlignment = paLeft;
};

// Characters below 32 stand as U+FFFD when text is measured or drawn, never as control characters.
std::u16string VisibleText(const char16_t* AText, int ALength);
