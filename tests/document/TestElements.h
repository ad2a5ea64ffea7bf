// Element classes for tests and benchmarks: a container of element knots, a note with a text value, an inline
// caption part and a comment part stored in its own sub-knot.
#pragma once

#include "document/model/diClasses.h"

#include <string>

class TElement_TestRoot : public TElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestRoot(TScheme* AScheme) : TElement(AScheme) {}

  void GetChildClasses(TElementClassList& AList) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  TElementClass GetUnacceptedClass(TSchemeLoader* ALoader) override { return Unaccepted; }

  // The class that takes knots no allowed class accepts (nil: they stay unread).
  TElementClass Unaccepted = nullptr;
};

// A group of notes and groups with a few attributes of its own.
class TElement_TestGroup : public TElement_TestRoot {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestGroup(TScheme* AScheme) : TElement_TestRoot(AScheme) {}

  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

  std::u16string Title;
  int Color = 0;
  bool Folded = false;
};

class TElement_TestCaption;
class TElement_TestComment;

// A value element: its value is Text. Parts: a caption stored inline, a comment stored under "Comment".
class TElement_TestNote : public TElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestNote(TScheme* AScheme);

  const std::u16string& Text() const { return FText; }
  void SetText(std::u16string AText);
  TElement_TestCaption* Caption() const { return FCaption; }
  TElement_TestComment* Comment() const { return FComment; }

  bool CalcHasValue() override { return !FText.empty(); }
  void CheckValue() override;
  void GetPartNodeName(TElement* APart, TSchemeFiler* AFiler, std::u16string& AName) override;
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

  int CheckValueCalls = 0;

 private:
  std::u16string FText;
  TElement_TestCaption* FCaption;
  TElement_TestComment* FComment;
};

// A note whose value must be set.
class TElement_TestRequired : public TElement_TestNote {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestRequired(TScheme* AScheme);
};

// A part that writes "Caption" on its owner's knot (inline outside in-process records).
class TElement_TestCaption : public TElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestCaption(TScheme* AScheme);

  bool CalcHasValue() override { return !Text.empty(); }
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

  std::u16string Text;
};

// A value part stored in its own sub-knot.
class TElement_TestComment : public TElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_TestComment(TScheme* AScheme);

  bool CalcHasValue() override { return !Text.empty(); }
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;

  std::u16string Text;
};

// Fills ARoot with about AElements elements: groups nested up to four deep, each holding notes with captions and
// some with comments, every value derived from AVersion so that each version saves to a different text.
void FillTestDocument(TElement* ARoot, int AElements, int AVersion);
// The version FillTestDocument wrote into a loaded document; -1 when it cannot be told.
int TestDocumentVersion(TElement* ARoot);

// The size of the document the kill test saves in a loop.
constexpr int KillTestElements = 3000;
