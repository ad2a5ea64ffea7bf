// Alignment: where a windowed control places its aligned children (along its edges, one filling the rest) and its
// anchored ones (keeping their distances to the anchored edges while the client area changes).
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/cuSet.h"
#include "foundation/cuWin32.h"

class TControl;

enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The edges of its parent a control keeps its distance to while the parent is resized.
enum class TAnchorKind : uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
constexpr bool IsFlagFamily(TAnchorKind) { return true; }
using enum TAnchorKind;
using TAnchors = TSet<TAnchorKind>;

class TAlignment {
 public:
  // Places the visible aligned children inside ARect: top ones first (by their top), then bottom (lowest first),
  // left (by their left), right (rightmost first), then the client one; ARect keeps what is left. Then the
  // anchored children (anchors other than left and top) follow the change of AClient since their rules were
  // taken.
  static void Place(const std::vector<TControl*>& AChildren, RECT& ARect, const RECT& AClient);

 private:
  static void PlaceAnchored(TControl* AControl, const RECT& AClient);
};
