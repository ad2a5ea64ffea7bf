// Data files are untrusted: load any bytes as a document through the element layer in every filer mode, with and
// without a class for unaccepted knots. Loading never raises on bad data, and what was loaded saves to a text that
// loads back and saves to the same text again.
#include "document/model/diClasses.h"
#include "document/model/diMessages.h"
#include "foundation/cuKnot.h"
#include "tests/document/TestElements.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Takes any knot and keeps nothing of it: the editor's unaccepted element draws, so it does not build here.
class TFuzzUnaccepted : public TElement {
 public:
  static const TElementClassInfo ClassInfo;
  TElementClass ClassRef() const override { return &ClassInfo; }
  explicit TFuzzUnaccepted(TScheme* AScheme) : TElement(AScheme) { SetOptions(eoUnaccepted); }

  void LoadFromKnot(TSchemeLoader* ALoader, TKnot* AKnot) override {
    TElement::LoadFromKnot(ALoader, AKnot);
    AKnot->SetUsedDeep(true);
  }
};
const TElementClassInfo TFuzzUnaccepted::ClassInfo{u"TElement_Unaccepted", &TElement::ClassInfo,
                                                   &ElementFactory<TFuzzUnaccepted>};

struct TFuzzDocument {
  TElementMessages Log;
  TScheme Scheme{&TElement_TestRoot::ClassInfo, u"Quillbox"};

  explicit TFuzzDocument(bool AUnaccepted) {
    Scheme.SetMessages(&Log);
    if (AUnaccepted) static_cast<TElement_TestRoot*>(Scheme.Root())->Unaccepted = &TFuzzUnaccepted::ClassInfo;
  }
  void Load(const std::u16string& AText, uint8_t AMode) {
    TNodePtr<TKnot> knot(new TKnot);
    knot->LoadFromString(AText);
    Scheme.LoadElement(Scheme.Root(), AMode, knot.get());
  }
  std::u16string Save(uint8_t AMode) {
    TNodePtr<TKnot> knot(new TKnot);
    Scheme.SaveElement(Scheme.Root(), AMode, knot.get(), {});
    return knot->SaveToString();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  if (ASize < 1) return 0;
  const uint8_t mode = AData[0] % 3;
  const bool unaccepted = (AData[0] & 0x80) != 0;
  const std::u16string text = Utf8ToUtf16(reinterpret_cast<const char*>(AData + 1), ASize - 1);

  TFuzzDocument first(unaccepted);
  first.Load(text, mode);
  const std::u16string saved = first.Save(mode);

  TFuzzDocument second(unaccepted);
  second.Load(saved, mode);
  if (second.Save(mode) != saved) std::abort();
  return 0;
}
