#include "document/model/diTextorAttributes.h"

#include <gtest/gtest.h>

namespace {

// The pool is process-wide: every test leaves it as it found it.
class AttributesPool : public ::testing::Test {
 protected:
  void SetUp() override { FBefore = TAttributes::PoolSize(); }
  void TearDown() override { EXPECT_EQ(TAttributes::PoolSize(), FBefore); }
  int FBefore = 0;
};

TEST_F(AttributesPool, EqualChangesEndInOneSharedInstance) {
  TParagraphAttributes a, b;
  a.SetAlignment(paRight);
  b.SetAlignment(paRight);
  TAttributesRef<TAttributes> first(a.Acquire());
  TAttributesRef<TAttributes> second(b.Acquire());
  EXPECT_EQ(first.get(), second.get());
  EXPECT_TRUE(first->Shared());
  EXPECT_EQ(first->RefCount(), 2);
  EXPECT_EQ(first->Acquire(), first.get());  // a pooled instance is its own answer
  EXPECT_EQ(TAttributes::PoolSize(), FBefore + 1);
}

TEST_F(AttributesPool, ClassesAndFieldsKeepInstancesApart) {
  TParagraphAttributes left;
  TTextAttributes plain, link;
  link.SetLink(1, u"https://example.invalid/");
  TAttributesRef<TAttributes> p(left.Acquire()), t(plain.Acquire()), l(link.Acquire());
  EXPECT_NE(p.get(), t.get());
  EXPECT_NE(t.get(), l.get());
  EXPECT_EQ(static_cast<TTextAttributes*>(l.get())->LinkTarget(), u"https://example.invalid/");
  EXPECT_EQ(TAttributes::FindShared(link), l.get());
}

TEST_F(AttributesPool, ReleasingTheLastHolderRemovesTheInstance) {
  TTextAttributes a;
  a.SetTag(u"x");
  TAttributes* shared = a.Acquire();
  shared->AddRef();
  shared->AddRef();
  shared->Release();
  EXPECT_EQ(TAttributes::FindShared(a), shared);
  shared->Release();
  EXPECT_EQ(TAttributes::FindShared(a), nullptr);
}

TEST(VisibleText, ControlCharactersBecomeReplacementCharacters) {
  const std::u16string text = u"a\tb\nc\x1F d";
  EXPECT_EQ(VisibleText(text.data(), static_cast<int>(text.size())), u"a\uFFFDb\uFFFDc\uFFFD d");
}

}  // namespace
