// The elements a user inserts from the palette besides pictures and tables: the comment (free rich text in a
// comment frame), the logic frame (a collapsible folder with a caption and a content text) and six signs.
#pragma once

#include "document/elements/diCustomElements.h"
#include "document/elements/diTitled.h"
#include "document/text/diTextorElement.h"

#include <string>

class TKnot;
class TPaletteGroup;
class TSchemeSaver;
class TSheetCanvas;

// String identifiers of the unit's palette items and hints.
enum : int {
  IdPaletteComment = 2820,
  IdPaletteCommentHint = 2821,
  IdPaletteLogicFrame = 2822,
  IdPaletteLogicFrameHint = 2823,
  IdLogicFrameCaptionHint = 2824,
  IdPaletteSigns = 2825,
  IdPaletteStar = 2826,
  IdPaletteStarHint = 2827,
  IdPaletteInformation = 2828,
  IdPaletteInformationHint = 2829,
  IdPaletteQuestion = 2830,
  IdPaletteQuestionHint = 2831,
  IdPaletteImportant = 2832,
  IdPaletteImportantHint = 2833,
  IdPaletteStop = 2834,
  IdPaletteStopHint = 2835,
  IdPaletteReady = 2836,
  IdPaletteReadyHint = 2837,
};

// Rich text with links in the comment font, framed as a comment; it takes the elements comments offer besides
// those of every rich text, and pictures pasted or dropped into it become data elements.
class TCustomCommentElement : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TCustomCommentElement(TScheme* AScheme);

  // The class node message 100 names for pasted or dropped data (the image element); nil leaves the message to
  // the rest.
  virtual TElementClass GetDataClass();

  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  using TPassesNodeMessages = TCustomCommentElement;
  bool GetFrameThemeElement(int& AIndex) override;
  void GetChildClasses(TElementClassList& AList) override;
};

// A comment of its own, or the description of a described element.
class TElement_Comment : public TCustomCommentElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_Comment(TScheme* AScheme);

  // A description navigates back to the element it describes, so arrows go on to that element's next sibling.
  TVisualElement* GetNavigationParent() override;
  // A description is shown only while the element it describes is.
  bool ComputeVisible() override;
};

// The caption of a logic frame: a comment without margins whose background the frame paints.
class TLogicFrameCaptionField : public TCustomCommentElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomCommentElement::TCustomCommentElement;

  void GetMargins(TRect& ARect) override { ARect = TRect(); }
  void PaintFrame(TSheetCanvas* ACanvas) override {}
};

// The content text of a logic frame, hosted by the text around the frame; the frame paints its background.
class TLogicFrameContentContainer : public TTitledTextContainer {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TTitledTextContainer::TTitledTextContainer;

  void PaintFrame(TSheetCanvas* ACanvas) override {}
};

// A collapsible folder of a note: the expand button and the caption in the title row and, while expanded, the
// content below them. With ffSkipDefaults it is saved as its content's runs only, into its parent's knot.
class TElement_LogicFrame : public TTitledElementWithContent {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_LogicFrame(TScheme* AScheme);

  TLogicFrameCaptionField* Caption() const { return FCaption; }

  void WriteTitle(TTitleWriter& AWriter) override;
  void GetPartHint(TElement* APart, std::u16string& AText) override;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;
  void GetPadding(TRect& ARect) override;
  int GetThemeElement() override;
  void PaintFrame(TSheetCanvas* ACanvas, const TRect& ARect) override {}
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;
  bool IsDefault(TSchemeSaver* ASaver, TKnot* AKnot) override;

 private:
  TLogicFrameCaptionField* FCaption;
};

// A sign: one picture of the unit's strip, never disabled.
class TCustomSignElement : public TCustomSmallImageElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TCustomSignElement(TScheme* AScheme);
};

// The six signs: each draws its own picture of the strip.
class TElement_Star : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

class TElement_Information : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

class TElement_Question : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

class TElement_Important : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

class TElement_Ready : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

class TElement_Stop : public TCustomSignElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  using TCustomSignElement::TCustomSignElement;
  int GetImageIndex() override;
};

// The first index of "diCommonElementsSmallImages" in the small element images, the class group of signs and the
// "Signs" palette group, alive between InitializeCommonElements and FinalizeCommonElements.
extern int CommonElementsSmallImagesIndex;
extern int SignsClassesGroup;
extern TPaletteGroup* PaletteSignsGroup;
// After the palette, the element images and the class groups.
void InitializeCommonElements();
void FinalizeCommonElements();
