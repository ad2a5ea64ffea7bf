// Painters and their clients: the state bits, what a change asks of the painter and tells the control, the
// painter's flag notifications, sizes, and client lifetimes against a painter that keeps posting.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "controls/baPainters.h"
#include "framework/fwBitmaps.h"

namespace {

// A painter that counts its questions and answers as told.
class TProbePainter : public TSinglePainter {
 public:
  using TSinglePainter::TSinglePainter;
  int Asked = 0;
  bool Repaint = true;
  bool Remeasure = false;
  void QueryUpdate(TPainterClient&, bool, TClientState, TClientState, int, int, bool& ANeedRepaint,
                   bool& ANeedRemeasure) override {
    ++Asked;
    ANeedRepaint = Repaint;
    ANeedRemeasure = Remeasure;
  }
};

// A client that writes down every change it is told of; OnChanged runs after that.
class TProbeClient : public TControlPainterClient {
 public:
  std::vector<uint32_t> Changes;
  std::function<void()> OnChanged;
  void Changed(TPainterChanges AFlags) override {
    Changes.push_back(AFlags.Bits());
    if (OnChanged) OnChanged();
  }
};

using TPainterPtr = std::unique_ptr<TProbePainter, TComponentDeleter>;

TPainterPtr MakePainter() { return TPainterPtr(New<TProbePainter>(nullptr)); }

// Writes down the flags of every notification the painter's notifier fires.
struct TFlagsRecorder : public TObject {
  std::vector<uint32_t> Flags;
  void Fired(TNotifier*, TNotify* AFirst) {
    for (TNotify* n = AFirst; n; n = n->Next()) Flags.push_back(static_cast<TFlagsNotify*>(n)->Flags());
  }
};

TEST(PainterClientTest, StateBitsFollowPressHotReleaseCheckedAndDisabled) {
  TProbeClient client;
  client.Press();
  EXPECT_EQ(client.GetState().Bits(), 1);
  client.SetHot(true);
  EXPECT_EQ(client.GetState().Bits(), 3);
  EXPECT_TRUE(client.Release());
  EXPECT_EQ(client.GetState().Bits(), 2);

  // Pressed, then the pointer leaves: the release is no click.
  client.Press();
  client.SetHot(false);
  EXPECT_FALSE(client.Release());
  EXPECT_EQ(client.GetState().Bits(), 0);

  client.SetChecked(true);
  client.SetEnabled(false);
  EXPECT_EQ(client.GetState().Bits(), 12);
  EXPECT_TRUE(client.GetChecked());
  client.SetFocused(true);
  client.Press();
  client.CancelPress();
  EXPECT_EQ(client.GetState().Bits(), 28);
  client.SetEnabled(true);
  client.SetChecked(false);
  client.SetFocused(false);
  EXPECT_EQ(client.GetState().Bits(), 0);
}

TEST(PainterClientTest, OnlyAChangedValueAsksThePainterAndTellsTheControlItsAnswers) {
  TPainterPtr painter = MakePainter();
  TProbeClient client;
  client.SetPainter(painter.get());
  ASSERT_EQ(client.Changes, std::vector<uint32_t>{15});
  client.Changes.clear();

  client.SetState(client.GetState());
  client.SetCaption(u"");
  client.SetImageIndex(-1);
  EXPECT_EQ(painter->Asked, 0);
  EXPECT_TRUE(client.Changes.empty());

  const struct {
    bool Repaint, Remeasure;
    std::function<void(TProbeClient&)> Change;
    uint32_t Told;
  } cases[] = {
      {true, false, [](TProbeClient& c) { c.SetHot(!c.GetState().Contains(stHot)); }, 1},
      {true, true, [](TProbeClient& c) { c.SetCaption(c.GetCaption() + u"a"); }, 3},
      {false, true, [](TProbeClient& c) { c.SetImageIndex(c.GetImageIndex() + 1); }, 2},
      {false, false, [](TProbeClient& c) { c.Press(); }, 0},
  };
  for (const auto& t : cases) {
    painter->Repaint = t.Repaint;
    painter->Remeasure = t.Remeasure;
    const int asked = painter->Asked;
    client.Changes.clear();
    t.Change(client);
    EXPECT_EQ(painter->Asked, asked + 1);
    EXPECT_EQ(client.Changes, std::vector<uint32_t>{t.Told});
  }
  client.SetPainter(nullptr);
}

TEST(PainterTest, ChangedPostsOneFlagNotificationAndNothingForNoFlags) {
  TPainterPtr painter = MakePainter();
  TFlagsRecorder recorder;
  painter->Notifier()->Subscribe(MakeMethod<&TFlagsRecorder::Fired>(&recorder));
  painter->Changed({});
  EXPECT_TRUE(recorder.Flags.empty());
  painter->Changed(pcRepaint | pcRemeasure);
  EXPECT_EQ(recorder.Flags, std::vector<uint32_t>{3});

  // Held back, the changes merge into one word.
  recorder.Flags.clear();
  painter->Notifier()->BeginUpdate();
  painter->Changed(pcTransparency);
  painter->Changed(pcCursor);
  painter->Notifier()->EndUpdate();
  EXPECT_EQ(recorder.Flags, std::vector<uint32_t>{12});
  painter->Notifier()->Unsubscribe(MakeMethod<&TFlagsRecorder::Fired>(&recorder));
}

TEST(PainterTest, AClientTakesThePainterFlagsAndDropsAPainterThatGoes) {
  TPainterPtr painter = MakePainter();
  TProbeClient client;
  client.SetPainter(painter.get());
  client.Changes.clear();
  painter->Changed(pcRepaint);
  EXPECT_EQ(client.Changes, std::vector<uint32_t>{1});

  int askedWhileGoing = -1;
  client.OnChanged = [&] { askedWhileGoing = 0; };
  painter.reset();
  EXPECT_EQ(client.GetPainter(), nullptr);
  EXPECT_EQ(askedWhileGoing, -1);
}

TEST(PainterTest, SizesComeFromTheBasePainterWithinTheWidthLimits) {
  TPainterPtr painter = MakePainter();
  TBitmap bitmap;
  bitmap.SetSize(4, 4);
  TProbeClient client;
  client.SetPainter(painter.get());
  const struct {
    bool Painter, AutoWidth, AutoHeight;
    int MinWidth, MaxWidth, Width, Height;
    int ExpectedWidth, ExpectedHeight;
  } cases[] = {
      {true, true, true, 0, 0, 57, 33, 20, 20},   {true, false, true, 0, 0, 57, 33, 57, 20},
      {true, false, false, 0, 0, 57, 33, 57, 33}, {true, false, true, 0, 40, 57, 33, 40, 20},
      {true, false, true, 70, 0, 57, 33, 70, 20}, {false, true, true, 0, 40, 57, 33, 40, 33},
  };
  for (const auto& t : cases) {
    client.SetPainter(t.Painter ? painter.get() : nullptr);
    int width = t.Width, height = t.Height;
    client.CalcSize(bitmap.Canvas(), t.AutoWidth, t.AutoHeight, t.MinWidth, t.MaxWidth, width, height);
    EXPECT_EQ(width, t.ExpectedWidth);
    EXPECT_EQ(height, t.ExpectedHeight);
  }
  client.SetPainter(nullptr);
}

TEST(PainterTest, AClientWithoutPainterPaintsABlackFrameAroundWhite) {
  TBitmap bitmap;
  bitmap.SetSize(12, 12);
  bitmap.Canvas().Brush().SetColor(clRed);
  bitmap.Canvas().FillRect(RECT{0, 0, 12, 12});
  TProbeClient client;
  client.Paint(bitmap.Canvas(), RECT{1, 1, 11, 11});
  EXPECT_EQ(bitmap.Canvas().Pixel(1, 1), clBlack);
  EXPECT_EQ(bitmap.Canvas().Pixel(10, 10), clBlack);
  EXPECT_EQ(bitmap.Canvas().Pixel(5, 5), clWhite);
  EXPECT_EQ(bitmap.Canvas().Pixel(11, 11), clRed);
}

TEST(PainterTest, NoNotificationReachesAClientFreedWhileItsPainterPosts) {
  TPainterPtr painter = MakePainter();
  std::vector<std::unique_ptr<TProbeClient>> clients(100);
  int calls = 0;
  for (auto& c : clients) {
    c = std::make_unique<TProbeClient>();
    c->SetPainter(painter.get());
    c->OnChanged = [&] { ++calls; };
  }
  // The first client told frees every other client (a palette rebuilding its buttons).
  std::unique_ptr<TProbeClient> survivor;
  clients.back()->OnChanged = [&] {
    ++calls;
    survivor = std::move(clients.back());
    clients.clear();
  };
  painter->Changed(pcRepaint);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(painter->Notifier()->SubscriberCount(), 1);
  survivor.reset();
  EXPECT_EQ(painter->Notifier()->SubscriberCount(), 0);

  // Freed while the notification is held back, half of them never hear it.
  calls = 0;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(std::make_unique<TProbeClient>());
    clients.back()->SetPainter(painter.get());
    clients.back()->OnChanged = [&] { ++calls; };
  }
  painter->Notifier()->BeginUpdate();
  painter->Changed(pcRepaint);
  clients.resize(50);
  painter->Notifier()->EndUpdate();
  EXPECT_EQ(calls, 50);
  clients.clear();
  painter->Changed(pcRepaint);
  EXPECT_EQ(calls, 50);
}

}  // namespace
