#include "graphics/pixels/pxContainers.h"

namespace {

const TPublishedProperty* FindProperty(const IPublishedProperties& AObject, std::u16string_view AName) {
  for (const TPublishedProperty& p : AObject.PublishedProperties())
    if (p.Name == AName) return &p;
  return nullptr;
}

}  // namespace

void CopyPublishedProperties(const IPublishedProperties& ASrc, IPublishedProperties& ADst, TTypeKinds AKinds) {
  const TObject* src = dynamic_cast<const TObject*>(&ASrc);
  TObject* dst = dynamic_cast<TObject*>(&ADst);
  if (!src || !dst) return;
  for (const TPublishedProperty& p : ASrc.PublishedProperties()) {
    if (!AKinds.Contains(p.Kind)) continue;
    const TPublishedProperty* target = FindProperty(ADst, p.Name);
    if (!target || target->Kind != p.Kind) continue;
    if (p.Kind == tkClass) {
      TObject* subDst = target->GetObject(*dst);
      if (!subDst) continue;
      if (const TObject* subSrc = p.GetObject(*src)) target->AssignObject(*subDst, *subSrc);
    } else {
      target->SetValue(*dst, p.GetValue(*src));
    }
  }
}
