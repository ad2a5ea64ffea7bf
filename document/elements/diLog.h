// The log: a read-only rich text under the document sheet that writes every accepted message of its list as a line
// (a sign for the kind, a space, the parts with links), and its "Log" settings node. It is never saved.
#pragma once

#include "document/model/diMessages.h"
#include "document/text/diTextorElement.h"
#include "foundation/cuProps.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSchemeImages;

// "Log": which kinds of message the log writes. Errors and kinds 3 to 5 are always written.
class TLogSettings : public TProperty {
 public:
  explicit TLogSettings(TProperty* AParent);

  TBooleanProperty* WriteInformation;
  TBooleanProperty* WriteHints;
  TBooleanProperty* WriteWarnings;
};

// The log's unit, alive between InitializeLog and FinalizeLog: the settings node (not attached to a tree: the
// settings tree takes it in), the 9-pixel sign images and the log's shared text attributes.
extern std::unique_ptr<TLogSettings, TNodeDeleter> LogSettings;
extern std::unique_ptr<TSchemeImages> LogImages;
void InitializeLog();
void FinalizeLog();

// The program's handler of settings links (the settings path after "S"): every log whose own OnSettingsLink is
// not set hands its settings links to it. Returns the previous one; with neither handler a settings link beeps.
using TSettingsLinkHandler = std::function<void(const std::u16string& APath)>;
TSettingsLinkHandler SetSettingsLinkHandler(TSettingsLinkHandler AHandler);

// The colour of a link that was followed: RGB(128, 0, 0).
constexpr TColor32 VisitedLinkColor = 0xFF800000;

// The kind sign at the head of a message line: 9 x 9 pixels, nothing for information.
class TElement_Sign : public TVisualElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TElement_Sign(TScheme* AScheme);

  uint8_t Kind() const { return FKind; }
  void SetKind(uint8_t AValue);
  // The image of the kind in the log list; -1 for none.
  static int ImageOfKind(uint8_t AKind);

  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override;
  void SaveToKnot(TSchemeSaver* ASaver, TKnot* AKnot) override;
  void Paint(TSheetCanvas* ACanvas, TSheetPaintFlags AFlags) override;

 private:
  uint8_t FKind = mkInformation;
};

class TLogRoot : public TTextorElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TLogRoot(TScheme* AScheme);
  ~TLogRoot() override;

  // The list whose messages the log writes; the document scheme reports into it.
  TElementMessages* LogMessages() const { return FMessages.get(); }
  // Set by every text change; link activation tells by it whether a handler changed the text.
  bool TextChangedFlag = false;

  // After a write and after a clear.
  std::function<void(TLogRoot* ASender)> OnChange;
  std::function<void(TLogRoot* ASender, const std::vector<int32_t>& AIdentifiers)> OnElementsLink;
  std::function<void(TLogRoot* ASender, const std::u16string& AFileName)> OnFileLink;
  // The settings page of a path; without it the program's handler (SetSettingsLinkHandler) is asked.
  std::function<void(TLogRoot* ASender, const std::u16string& APath)> OnSettingsLink;

  // The events of the list.
  void AcceptsMessage(TElementMessages* ASender, TElementMessage* AMessage, bool& AAccept);
  void WriteMessage(TElementMessages* ASender, TElementMessage* AMessage);
  void MessagesCleared(TElementMessages* ASender);

  void ActivateLink(TPortion* APortion) override;
  TTextAttributes* GetLinkAttributes(TKnot* AKnot) override;
  TTextAttributes* GetTextAttributes() override;
  void TextChanged() override;
  void GetChildClasses(TElementClassList& AList) override;
  void GetPadding(TRect& ARect) override;
  // Nothing: the program writes the log, the user cannot edit it, and a check of the whole text at every line
  // made writing n messages cost n squared character tests.
  void CheckContent() override {}

 private:
  std::unique_ptr<TElementMessages> FMessages;
};
