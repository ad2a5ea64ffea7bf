// Messages about user data: a kind and a sequence of parts, some of them links to elements, files or settings.
// Problems in a document are reported this way and never raised.
#pragma once

#include "foundation/cuSystem.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// Message kinds.
enum : uint8_t {
  mkInformation = 0,
  mkHint = 1,
  mkWarning = 2,
  mkError = 3,
  mkValueNeeded = 4,
  mkElementError = 5,
};

// Part kinds.
enum : uint8_t {
  mpText = 0,
  mpElementLink = 1,   // Target: element identifiers as decimal text
  mpFileLink = 2,      // Target: a file name
  mpSettingsLink = 3,  // Target: a settings path
};

// String identifiers of the messages the document engine adds.
enum : int {
  IdDataCorrupt = 2327,         // "Data provided are corrupt"
  IdNewerFormat = 2328,         // "The format of the data provided is of a newer version ..."
  IdNodeNotRead = 2329,         // "Node "%1" was not read"
  IdAttributeNotRead = 2330,    // "Attribute "%1" was not read"
  IdValueMustBeSet = 2331,      // "The value must be [set]"
  IdInvalidText = 2332,         // "The data provided hold bytes that are not UTF-8 (first at byte %1) ..."
  IdUnsupportedElement = 2333,  // "[Unsupported] element "%1" in this editor"
  IdMoreNotRead = 2338,         // "And %1 more nodes and attributes were not read"
  IdSaveFailed = 65439,         // "Cannot save "%s". %s The text stays in the window, unsaved."
};

struct TElementMessagePart {
  uint8_t PartKind = mpText;
  std::u16string Text;
  std::u16string Target;
};

class TElementMessage : public TObject {
 public:
  explicit TElementMessage(uint8_t AKind) : FKind(AKind) {}

  uint8_t Kind() const { return FKind; }
  const std::vector<TElementMessagePart>& Parts() const { return FParts; }
  // The parts' texts joined.
  std::u16string GetText() const;
  bool IsProblem() const { return FKind >= mkWarning && FKind <= mkElementError; }

 private:
  friend class TElementMessages;
  uint8_t FKind;
  std::vector<TElementMessagePart> FParts;
};

// A set of message kinds as bits: 1 << kind.
using TMessageKinds = uint8_t;
constexpr TMessageKinds MessageKinds(std::initializer_list<uint8_t> AKinds) {
  TMessageKinds r = 0;
  for (uint8_t k : AKinds) r = static_cast<TMessageKinds>(r | (1u << k));
  return r;
}
constexpr TMessageKinds ProblemKinds = MessageKinds({mkWarning, mkError, mkValueNeeded, mkElementError});

class TElementMessages;
using TMessagesClearEvent = TMethod<void(TElementMessages* ASender)>;
using TMessageAddedEvent = TMethod<void(TElementMessages* ASender, TElementMessage* AMessage)>;
using TMessageAddingEvent = TMethod<void(TElementMessages* ASender, TElementMessage* AMessage, bool& AAccept)>;
using TMessagePartEvent = TMethod<void(TElementMessages* ASender, TElementMessage* AMessage, TElementMessagePart* APart,
                                       std::u16string& AText, std::u16string& ATarget)>;

class TElementMessages : public TObject {
 public:
  TElementMessages() = default;
  // Clears the list (OnClear fires when it held messages).
  ~TElementMessages() override;

  // A message of one plain part. Returns the message when it was accepted, else nil.
  TElementMessage* Add(uint8_t AKind, std::u16string_view AText);
  // The text is split at the first "[" and the first "]" after it into prefix, link and suffix; the link part
  // always exists (a text without brackets is one link), the others only when not empty.
  TElementMessage* AddLinked(uint8_t AKind, std::u16string_view AText, std::u16string_view ATarget);

  // Frees every message and fires OnClear; nothing at all when the list was never filled.
  void Clear();
  // The outermost BeginUpdate clears the list first, so a bracket rebuilds it from scratch.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  int GetCount() const { return FList ? static_cast<int>(FList->size()) : 0; }
  TElementMessage* GetItem(int AIndex) const;
  bool HasKinds(TMessageKinds AKinds) const;
  // Every element link whose target is AOld leads to ANew instead.
  void ReplaceLinkTarget(std::u16string_view AOld, std::u16string_view ANew);
  bool HasProblems() const { return HasKinds(ProblemKinds); }
  // 3 with an error, else 2 with a warning, value-needed or element error, else 1 with a hint, else 0.
  int GetSeverity() const;

  TMessagesClearEvent OnClear;
  TMessageAddedEvent OnAdded;
  TMessageAddingEvent OnAdding;
  TMessagePartEvent OnPart;

 private:
  void AddPart(TElementMessage* AMessage, uint8_t APartKind, std::u16string_view AText, std::u16string_view ATarget);
  TElementMessage* Append(std::unique_ptr<TElementMessage> AMessage);

  std::unique_ptr<std::vector<std::unique_ptr<TElementMessage>>> FList;
  int FUpdateCount = 0;
};
