// The elements a user inserts from the palette besides pictures and tables: the comment (free rich text in a
// comment frame), the logic frame (a collapsible folder with a caption and a content text) and six signs.
#pragma once

#include "document/text/diTextorElement.h"

class TPaletteGroup;
class TElementPaletteItem;

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

  // The class node message 100 names for pasted or dropped data; nil leaves the message to the rest.
  virtual TElementClass GetDataClass() { return nullptr; }

  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  bool GetFrameThemeElement(int& AIndex) override;
  void GetChildClasses(TElementClassList& AList) override;
};

class TElement_Comment : public TCustomCommentElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_Comment(TScheme* AScheme);
};

// The first index of "diCommonElementsSmallImages" in the small element images, the class group of signs and the
// "Signs" palette group, alive between InitializeCommonElements and FinalizeCommonElements.
extern int CommonElementsSmallImagesIndex;
extern int SignsClassesGroup;
extern TPaletteGroup* PaletteSignsGroup;
// After the palette, the element images and the class groups.
void InitializeCommonElements();
void FinalizeCommonElements();
