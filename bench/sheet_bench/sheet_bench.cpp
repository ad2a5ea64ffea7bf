// sheet_bench [elements] [runs]: the cost of the sheet's per-event work on a large tree beside a small one.
//
//   repaint    one leaf invalidated and its rectangle painted
//   hit test   ElementAt at a random point of the workspace
//   focus move an arrow key moving the focus between two neighbouring leaves
// Both sheets are built in the same run; each figure is the median of the runs, in microseconds per operation.
// The large tree should cost the walk down to one element, not a walk over all of them.
#include "document/model/diSheet.h"
#include "document/model/diTextorAttributes.h"
#include "foundation/cuDeviceContextManager.h"
#include "foundation/cuKeys.h"
#include "graphics/images/umGDIPlus.h"
#include "tests/document/TestVisualElements.h"

#include "bench/BenchTiming.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int RepaintsPerRun = 500;
constexpr int HitTestsPerRun = 20000;
constexpr int FocusMovesPerRun = 2000;

struct TFigures {
  int Elements = 0;
  int Depth = 0;
  double Repaint = 0;
  double HitTest = 0;
  double FocusMove = 0;
};

// A timer that never ticks: the focus timer of every move would otherwise pile up in the recording host.
class TIdleTimer : public ISheetTimer {};

void CollectLeaves(TVisualElement* AElement, std::vector<TTestVisualLeaf*>& ALeaves, int ADepth, int& AMaxDepth) {
  AMaxDepth = std::max(AMaxDepth, ADepth);
  if (auto* leaf = dynamic_cast<TTestVisualLeaf*>(AElement)) ALeaves.push_back(leaf);
  for (TVisualElement* c = AElement->FirstVisualChild(); c; c = c->NextVisualSibling())
    CollectLeaves(c, ALeaves, ADepth + 1, AMaxDepth);
}

TFigures Measure(int AElements, int ARuns, HDC ADC) {
  TSheetHostFixture host;
  host.Sheet->SetTimerFactory(
      [](unsigned, std::function<void()>) -> std::unique_ptr<ISheetTimer> { return std::make_unique<TIdleTimer>(); });
  FillVisualTree(host.Root, AElements, 20);
  TFigures f;
  f.Elements = host.Scheme.ElementCount();
  std::vector<TTestVisualLeaf*> leaves;
  CollectLeaves(host.Root, leaves, 1, f.Depth);

  std::mt19937 random(13);
  std::vector<TTestVisualLeaf*> picked;
  for (int i = 0; i < 256; ++i) picked.push_back(leaves[random() % leaves.size()]);
  std::vector<TVisualPoint> points;
  const int32_t width = host.Sheet->GetWorkspaceWidth(), height = host.Sheet->GetWorkspaceHeight();
  for (int i = 0; i < 4096; ++i)
    points.push_back({static_cast<int32_t>(random() % width), static_cast<int32_t>(random() % height)});

  host.Notes.reserve(RepaintsPerRun + 16);
  size_t next = 0;
  f.Repaint = MedianMs(ARuns,
                       [&] {
                         for (int i = 0; i < RepaintsPerRun; ++i) {
                           host.Notes.clear();
                           picked[next++ % picked.size()]->Invalidate();
                           const TSheetHostFixture::TNote& note = host.Notes.back();
                           host.Sheet->PaintTo(ADC, note.Rect, {});
                         }
                       }) *
              1000 / RepaintsPerRun;

  TVisualElement* sink = nullptr;
  f.HitTest = MedianMs(ARuns,
                       [&] {
                         for (int i = 0; i < HitTestsPerRun; ++i)
                           sink = host.Sheet->ElementAt(points[(next++) % points.size()], true, true);
                       }) *
              1000 / HitTestsPerRun;
  if (!sink) std::printf("(no element hit)\n");

  // Two neighbours in the middle of the tree; Right and Left move between them.
  size_t middle = leaves.size() / 2;
  while (!dynamic_cast<TTestVisualLeaf*>(leaves[middle]->NextVisualSibling())) ++middle;
  TTestVisualLeaf* from = leaves[middle];
  from->Focus();
  uint16_t probe = vkRight;
  host.Sheet->KeyDown(probe, {});
  if (host.Sheet->Focused() != from->NextVisualSibling()) std::printf("(the focus did not move)\n");
  probe = vkLeft;
  host.Sheet->KeyDown(probe, {});
  f.FocusMove = MedianMs(ARuns,
                         [&] {
                           for (int i = 0; i < FocusMovesPerRun; ++i) {
                             uint16_t key = i % 2 == 0 ? vkRight : vkLeft;
                             host.Sheet->KeyDown(key, {});
                             host.Notes.clear();
                           }
                         }) *
                1000 / FocusMovesPerRun;
  if (host.Sheet->Focused() != from) std::printf("(the focus moves did not come back)\n");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 9;
  InitializeGdiPlus();
  InitializeDeviceContextManager();
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 100);
  HGDIOBJ old = SelectObject(dc, bitmap);
  {
    const TFigures small = Measure(20, runs, dc);
    const TFigures large = Measure(elements, runs, dc);
    std::printf("sheets of %d elements (depth %d) and %d elements (depth %d), fan-out 20, median of %d runs\n\n",
                small.Elements, small.Depth, large.Elements, large.Depth, runs);
    std::printf("%-11s %12s %12s %8s\n", "", "small us/op", "large us/op", "ratio");
    auto row = [](const char* AName, double ASmall, double ALarge) {
      std::printf("%-11s %12.2f %12.2f %7.2fx\n", AName, ASmall, ALarge, ALarge / ASmall);
    };
    row("repaint", small.Repaint, large.Repaint);
    row("hit test", small.HitTest, large.HitTest);
    row("focus move", small.FocusMove, large.FocusMove);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  TAttributes::FreePool();
  FinalizeDeviceContextManager();
  FinalizeGdiPlus();
  return 0;
}
