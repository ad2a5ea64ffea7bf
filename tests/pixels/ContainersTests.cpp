#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/pixels/pxBitmap.h"
#include "graphics/pixels/pxContainers.h"
#include "graphics/pixels/pxResamplers.h"

namespace {

// A small family with declared properties of every kind, including a class-typed one.
class TSettings : public TObject, public IPublishedProperties {
 public:
  int64_t Size = 0;
  std::u16string Caption;
  double Scale = 1.0;
  std::vector<std::u16string>* Log = nullptr;  // records the order in which properties are set

  std::span<const TPublishedProperty> PublishedProperties() const override {
    static const TPublishedProperty properties[] = {
        {u"Size", tkInteger, [](const TObject& O) -> TPropertyValue { return Self(O).Size; },
         [](TObject& O, const TPropertyValue& V) {
           Self(O).Note(u"Size");
           Self(O).Size = std::get<int64_t>(V);
         }},
        {u"Caption", tkString, [](const TObject& O) -> TPropertyValue { return Self(O).Caption; },
         [](TObject& O, const TPropertyValue& V) {
           Self(O).Note(u"Caption");
           Self(O).Caption = std::get<std::u16string>(V);
         }},
        {u"Scale", tkFloat, [](const TObject& O) -> TPropertyValue { return Self(O).Scale; },
         [](TObject& O, const TPropertyValue& V) {
           Self(O).Note(u"Scale");
           Self(O).Scale = std::get<double>(V);
         }},
    };
    return properties;
  }

 protected:
  static const TSettings& Self(const TObject& O) { return static_cast<const TSettings&>(O); }
  static TSettings& Self(TObject& O) { return static_cast<TSettings&>(O); }
  void Note(const char16_t* AName) {
    if (Log) Log->push_back(AName);
  }
};

class TOwner : public TObject, public IPublishedProperties {
 public:
  std::unique_ptr<TSettings> Inner;
  int64_t Level = 0;

  std::span<const TPublishedProperty> PublishedProperties() const override {
    static const TPublishedProperty properties[] = {
        {u"Inner", tkClass, nullptr, nullptr,
         [](const TObject& O) -> TObject* { return static_cast<const TOwner&>(O).Inner.get(); },
         [](TObject& D, const TObject& S) {
           CopyPublishedProperties(static_cast<const TSettings&>(S), static_cast<TSettings&>(D));
         }},
        {u"Level", tkInteger, [](const TObject& O) -> TPropertyValue { return static_cast<const TOwner&>(O).Level; },
         [](TObject& O, const TPropertyValue& V) { static_cast<TOwner&>(O).Level = std::get<int64_t>(V); }},
    };
    return properties;
  }
};

TEST(CopyPublishedProperties, CopiesEveryKindInDeclarationOrder) {
  TSettings src, dst;
  src.Size = 42;
  src.Caption = u"Notes";
  src.Scale = 2.5;
  std::vector<std::u16string> log;
  dst.Log = &log;
  CopyPublishedProperties(src, dst);
  EXPECT_EQ(dst.Size, 42);
  EXPECT_EQ(dst.Caption, u"Notes");
  EXPECT_EQ(dst.Scale, 2.5);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"Size", u"Caption", u"Scale"}));
}

TEST(CopyPublishedProperties, CopiesOnlyTheAskedKinds) {
  TSettings src, dst;
  src.Size = 7;
  src.Caption = u"x";
  CopyPublishedProperties(src, dst, {tkString});
  EXPECT_EQ(dst.Size, 0);
  EXPECT_EQ(dst.Caption, u"x");
}

TEST(CopyPublishedProperties, ClassPropertyAssignsIntoAnExistingObjectAndSkipsANilOne) {
  TOwner src, dst;
  src.Inner = std::make_unique<TSettings>();
  src.Inner->Size = 5;
  src.Level = 3;
  CopyPublishedProperties(src, dst);
  EXPECT_EQ(dst.Inner, nullptr);  // not created
  EXPECT_EQ(dst.Level, 3);
  dst.Inner = std::make_unique<TSettings>();
  CopyPublishedProperties(src, dst);
  EXPECT_EQ(dst.Inner->Size, 5);
}

TEST(CopyPublishedProperties, CopiesPixelAccessModeBetweenResamplers) {
  TCustomBitmap32 a, b;
  TNearestResampler src(&a), dst(&b);
  src.SetPixelAccessMode(pamTransparentEdge);
  CopyPublishedProperties(src, dst);
  EXPECT_EQ(dst.PixelAccessMode(), pamTransparentEdge);
  src.SetPixelAccessMode(pamWrap);
  dst.Assign(&src);
  EXPECT_EQ(dst.PixelAccessMode(), pamWrap);
}

TEST(ClassList, FindsTheFirstClassOfExactlyThatName) {
  TClassList<TCustomResamplerClass> list;
  EXPECT_EQ(list.Find(u"TNearestResampler"), nullptr);
  EXPECT_EQ(list.Add(&TNearestResampler::ClassInfo), 0);
  EXPECT_EQ(list.Add(&TNearestResampler::ClassInfo), 1);  // duplicates are kept
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Find(u"TNearestResampler"), &TNearestResampler::ClassInfo);
  EXPECT_EQ(list.Find(u"tnearestresampler"), nullptr);
  EXPECT_EQ(list.Find(u"TNearest"), nullptr);
}

TEST(ClassList, TheResamplerRegistryHoldsTheNearestResampler) {
  const TClassList<TCustomResamplerClass>* registry = ResamplerClassList();
  ASSERT_NE(registry, nullptr);
  EXPECT_EQ(registry->Find(u"TNearestResampler"), &TNearestResampler::ClassInfo);
  EXPECT_EQ(registry->Find(u"TNEARESTRESAMPLER"), nullptr);
}

}  // namespace
