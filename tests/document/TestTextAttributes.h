// Text attributes with fixed metrics, embedded elements of a given size and a text host that counts what the
// engine asks of it, for the tests of the text engine on every build.
#pragma once

#include "document/model/diTextorAttributes.h"
#include "document/text/diTextor.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a test attributes object was asked to draw.
struct TTestPaintCall {
  enum TKind { pcText, pcBlank, pcBackground } Kind;
  uint32_t Flags = 0;
  int32_t X = 0;
  int32_t Width = 0;
  TRect Rect;
  std::u16string Text;
};

// Every character CharWidth pixels wide, tabs every TabWidth pixels. Counts the measuring calls and records the
// drawing calls; instances are not pooled, so the test owns them and they must outlive the textors using them.
class TTestTextAttributes : public TTextAttributes {
 public:
  TTestTextAttributes() = default;
  // Distinct values for distinct instances when a test needs them.
  explicit TTestTextAttributes(std::u16string ATag) { SetTag(std::move(ATag)); }

  int32_t CharWidth = 7;
  int32_t Ascent = 10;
  int32_t Descent = 3;
  int32_t TabWidth = 56;

  int WidthCalls = 0;     // TextWidth calls
  int MeasuredChars = 0;  // characters measured by TextWidth
  std::vector<TTestPaintCall> Painted;

  int GetAscent() override { return Ascent; }
  int GetDescent() override { return Descent; }
  int GetTabWidth() override { return TabWidth; }
  int TextWidth(const char16_t* AText, int ALength) override;
  void PaintBackground(TCustomSheetCanvas& ACanvas, uint32_t AFlags, const TRect& ARect) override;
  void PaintBlank(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int AWidth, int X, const TRect& ARect) override;
  void TextOut(TCustomSheetCanvas& ACanvas, uint32_t AFlags, int& X, const char16_t* AText, int ALength,
               const TRect& ARect) override;
};

class TTestParagraphAttributes : public TParagraphAttributes {
 public:
  int32_t FirstLineIndent = 0;
  int32_t LeftIndent = 0;
  int32_t RightIndent = 0;
  std::vector<TRect> Backgrounds;

  void PaintBackground(TCustomSheetCanvas& ACanvas, const TRect& ARect) override { Backgrounds.push_back(ARect); }
  int GetFirstLineIndent() override { return FirstLineIndent; }
  int GetLeftIndent(int AMarkerWidth) override { return LeftIndent; }
  int GetRightIndent() override { return RightIndent; }
};

// An embedded element of a given size; freed by its portion.
class TTestEmbeddedElement : public IEmbeddedElement {
 public:
  TTestEmbeddedElement(int32_t AWidth, int32_t AHeight, int32_t ADescent = 0)
      : Bounds{0, 0, AWidth, AHeight}, Descent(ADescent) {}
  virtual ~TTestEmbeddedElement() = default;

  TRect Bounds;
  int32_t Descent;
  TElementPortion* Portion = nullptr;
  bool Focusable = false;
  int* FreedCount = nullptr;  // raised when the portion frees the element
  int Paints = 0;
  int Detaches = 0;
  TTextPoint PaintOrigin;

  TRect GetEmbeddedBounds() const override { return Bounds; }
  int32_t GetEmbeddedDescent() const override { return Descent; }
  void SetEmbeddedBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight, int32_t ADescent) override;
  void MoveEmbedded(int32_t ADX, int32_t ADY) override;
  void PaintEmbedded(TCustomSheetCanvas& ACanvas, int32_t AOriginX, int32_t AOriginY) override;
  void SetEmbeddingPortion(TElementPortion* APortion) override { Portion = APortion; }
  void DetachEmbedded() override { ++Detaches; }
  void FreeEmbedded() override;
  bool FocusEmbedded(bool AForward) override { return Focusable; }
};

// A text host with settable answers that counts layouts, change signals and paragraph layouts.
class TTestTextor : public TTextor {
 public:
  // Unless AFormatLocked, releases the lock every textor starts with, laying the text out with the default answers.
  explicit TTestTextor(bool AFormatLocked = false) {
    if (!AFormatLocked) EndFormatUpdate();
  }

  int32_t WrapWidth = 0;
  bool LineBreaks = true;
  bool Tabs = true;
  TTextAttributes* DefaultText = nullptr;
  TParagraphAttributes* DefaultParagraph = nullptr;
  TRect Margins;
  TRect Padding;
  // What painting is clipped to; the whole plane by default.
  TRect Clip{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
  // Runs before each paragraph's layout, inside the layout (link detection does its work there).
  std::function<void(TParagraph*)> BeforeFormatParagraph;

  int FormatTextCalls = 0;
  int ChangedCalls = 0;
  int FormatParagraphCalls = 0;
  bool LastFormatChanged = false;

  void Changed() override { ++ChangedCalls; }
  void FormatText(bool AChanged) override;
  TParagraphAttributes* GetDefaultParagraphAttributes() const override { return DefaultParagraph; }
  TTextAttributes* GetDefaultTextAttributes() const override { return DefaultText; }
  void GetElementMargins(TRect& ARect) const override { ARect = Margins; }
  int32_t GetWrapWidth() const override { return WrapWidth; }
  bool AllowsLineBreaks() const override { return LineBreaks; }
  bool AllowsTabs() const override { return Tabs; }
  void FormatParagraph(TParagraph* AParagraph, int32_t AWrapWidth, const TRect& APadding,
                       const TRect& AMargins) override;
  void GetPadding(TRect& ARect) const override { ARect = Padding; }
  TRect GetClipRect(TCustomSheetCanvas& ACanvas) const override { return Clip; }
};

// A canvas to hand to painting; the test attributes record instead of drawing, so it is never drawn on.
TCustomSheetCanvas& TestCanvas();
