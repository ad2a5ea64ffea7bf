// Attributes of text runs and paragraphs: shared, reference-counted flyweights. A run never changes its
// attributes in place; it acquires the one pooled instance equal to a changed copy, so equal attributes are one
// object and comparing runs is comparing pointers.
#pragma once

#include "foundation/cuSystem.h"
#include "graphics/pixels/pxTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "foundation/cuWin32.h"
#endif

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

#ifdef _WIN32
class TRichParagraphAttributes : public TParagraphAttributes {
public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  TColor32 BackColor = 0x1FFFFFFF;
  int32_t FirstLineIndent = 0;
  int32_t LeftIndent = 0;
  int32_t MarkerIndent = 0;
  bool HasMarker = false;
  int32_t RightIndent = 0;
  int32_t SpaceBefore = 0;
  int32_t SpaceAfter = 0;

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  void PaintBackground(TCustomSheetCanvas& ACanvas, const TRect& ARect) override;
  int GetFirstLineIndent() override { return FirstLineIndent; }
  int GetLeftIndent(int AMarkerWidth) override { return LeftIndent + (HasMarker ? AMarkerWidth : 0); }
  int GetRightIndent() override { return RightIndent; }
};

// Rich text: a GDI font made through the device-context manager, measured once per pooled instance.
class TRichTextAttributes : public TTextAttributes {
public:
  static const TClassInfo<TAttributes> ClassInfo;
  TAttributesClass ClassRef() const override { return &ClassInfo; }

  TRichTextAttributes();
  ~TRichTextAttributes() override;

  TColor32 BackColor() const { return FBackColor; }
  const std::u16string& FontName() const { return FFontName; }
  uint8_t Charset() const { return FCharset; }
  TColor32 TextColor() const { return FTextColor; }
  uint8_t Pitch() const { return FPitch; }
  int FontSize() const { return FFontSize; }
  uint8_t Style() const { return FStyle; }

  // Each drops the font and its metrics when the value changes.
  void SetBackColor(TColor32 AValue);
  void SetFontName(std::u16string AValue);
  void SetFontSize(int AValue);
  void SetStyle(uint8_t AValue);
  void SetColor(TColor32 AValue);
  void SetCharset(uint8_t AValue);

  void Assign(const TAttributes& ASource) override;
  bool IsEqual(const TAttributes& AOther) const override;

  int GetAscent() override;
  int GetDescent() override;
  int GetTabWidth() override;
  int TextWidth(const char16_t* AText, int ALength) override;
  void PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) override;
  void PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X, const TRect& ARect) override;
  void TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText, int ALength,
               const TRect& ARect) override;

  HFONT Font();

private:
  // Stores AValue inside a change bracket, dropping the font and its metrics when it changed.
  template <class T>
  void ChangeFontValue(T& AField, T AValue);
  void DropFont();
  void Measure();
  void PaintSelection(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect);

  TColor32 FBackColor = 0x1FFFFFFF;
  std::u16string FFontName = u"Tahoma";
  uint8_t FCharset = DEFAULT_CHARSET;
  TColor32 FTextColor;
  uint8_t FPitch = 0;
  int FFontSize = 8;
  uint8_t FStyle = 0;
  int FAscent = -1;
  int FDescent = -1;
  int FTabWidth = 0;
  HFONT FFont = nullptr;
};
#endif
