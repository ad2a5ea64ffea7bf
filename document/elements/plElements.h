// The plain element set: the root of the document, a rich text that holds the user's notes and the elements
// embedded in them.
#pragma once

#include "document/text/diTextorElement.h"

// The class a pasted or dropped picture becomes in the plain root, registered by the image element; nil until then.
extern TElementClass PlainRootImageClass;

class TPlainRoot : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TPlainRoot(TScheme* AScheme);

  void GetChildClasses(TElementClassList& AList) override;
  // Each element left unaccepted anywhere in the tree also tells the load's message list (the log), linked to it.
  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  bool HandleMessage(int AMsg, intptr_t AParam1, intptr_t AParam2) override;
  using TPassesNodeMessages = TPlainRoot;
  void GetPadding(TRect& ARect) override;
};
