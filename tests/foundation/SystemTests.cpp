#include <gtest/gtest.h>

#include <cstring>

#include "foundation/cuSystem.h"

namespace {

struct TFormatCase {
  const char16_t* Format;
  std::u16string Expected;
};

TEST(Format, FormatsTheDirectivesOfTheProgramsTexts) {
  EXPECT_EQ(Format(u"%s.%s[%d]", {u"a", std::u16string(u"b"), 3}), u"a.b[3]");
  EXPECT_EQ(Format(u"%d|%5d|%-5d|%05d|%.3d", {-42, 42, 42, -42, 7}), u"-42|   42|42   |-0042|007");
  EXPECT_EQ(Format(u"%u %x %X %4X", {4000000000u, 255, 255, 10}), u"4000000000 ff FF    A");
  EXPECT_EQ(Format(u"%x", {-1}), u"ffffffff");
  EXPECT_EQ(Format(u"%.2s|%4s|%-4s|%%|%c", {u"abcdef", u"ab", u"ab", u'Z'}), u"ab|  ab|ab  |%|Z");
  EXPECT_EQ(Format(u"ShellExecute error (%d) to launch \"%s\"", {2, u"x.txt"}),
            u"ShellExecute error (2) to launch \"x.txt\"");
  EXPECT_EQ(Format(u"%d", {INT64_MIN}), u"-9223372036854775808");
}

TEST(Format, RaisesOnMissingOrMismatchedArguments) {
  EXPECT_THROW(Format(u"%s %s", {u"one"}), EConvertError);
  EXPECT_THROW(Format(u"%d", {u"text"}), EConvertError);
  EXPECT_THROW(Format(u"%s", {5}), EConvertError);
  EXPECT_THROW(Format(u"%q", {5}), EConvertError);
  EXPECT_THROW(Format(u"50%", {}), EConvertError);
}

TEST(Encodings, Utf8RoundTripsEveryCodePoint) {
  std::u16string all;
  for (uint32_t c = 1; c < 0x110000; c += (c < 0x3000 ? 1 : 37)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c >= 0x10000) {
      all.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      all.push_back(static_cast<char16_t>(c));
    }
  }
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
}

TEST(Encodings, InvalidUtf8BecomesReplacementCharacters) {
  struct TCase {
    std::string Bytes;
    std::u16string Expected;
  } cases[] = {
      {"a\x80"
       "b",
       u"a\uFFFDb"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xE2\x82", u"\uFFFD"},                  // truncated at the end
      {"\xE2\x82"
       "A",
       u"\uFFFDA"},                                       // truncated before ASCII
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xE2\x82\xAC", u"\u20AC"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Utf8ToUtf16(c.Bytes), c.Expected) << c.Bytes;
}

TEST(Encodings, LoneSurrogatesEncodeAsReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Encodings, Utf16BytesInBothOrdersDropAnOddLastByte) {
  const char le[] = {'A', 0, 0x20, 0x04, 'z'};
  const char be[] = {0, 'A', 0x04, 0x20, 'z'};
  EXPECT_EQ(Utf16LEToString(le, 5), u"A\u0420");
  EXPECT_EQ(Utf16BEToString(be, 5), u"A\u0420");
  EXPECT_EQ(StringToUtf16LE(u"A\u0420"), std::string(le, 4));
  EXPECT_EQ(StringToUtf16BE(u"A\u0420"), std::string(be, 4));
}

TEST(Encodings, AnsiCodePageIsWindows1252) {
  EXPECT_EQ(AnsiToString(std::string("\x80\xE9\x9F\x81")), u"\u20AC\u00E9\u0178\u0081");
  EXPECT_EQ(StringToAnsi(u"\u20AC\u00E9\u0178a\u0420"),
            "\x80\xE9\x9F"
            "a?");
}

TEST(Integers, TryStrToIntTakesAnOptionalSignAndDecimalDigitsOnly) {
  struct TCase {
    const char16_t* Text;
    bool Ok;
    int Value;
  } cases[] = {
      {u"0", true, 0},
      {u"-12", true, -12},
      {u"+7", true, 7},
      {u"2147483647", true, INT32_MAX},
      {u"-2147483648", true, INT32_MIN},
      {u"2147483648", false, 0},
      {u"", false, 0},
      {u"-", false, 0},
      {u"12x", false, 0},
      {u"$1F", false, 0},
      {u"0x1F", false, 0},
      {u" 1", false, 0},
      {u"1 ", false, 0},
      {u"--1", false, 0},
  };
  for (const TCase& c : cases) {
    int v = 0;
    EXPECT_EQ(TryStrToInt(c.Text, v), c.Ok) << std::string(c.Text, c.Text + std::char_traits<char16_t>::length(c.Text));
    if (c.Ok) {
      EXPECT_EQ(v, c.Value);
    }
  }
  EXPECT_EQ(StrToIntDef(u"x", 5), 5);
  EXPECT_THROW(StrToInt(u"x"), EConvertError);
  EXPECT_EQ(IntToStr(-9), u"-9");
  EXPECT_EQ(IntToHex(0xAB, 4), u"00AB");
}

TEST(Integers, HexTextRoundTripsAndReadsEitherCase) {
  const uint8_t bytes[] = {0x00, 0x7F, 0xAB, 0xFF};
  EXPECT_EQ(BinToHex(bytes, 4), u"007FABFF");
  uint8_t back[4] = {};
  EXPECT_EQ(HexToBin(u"007fabFF", back, 4), 4u);
  EXPECT_EQ(std::memcmp(back, bytes, 4), 0);
  EXPECT_EQ(HexToBin(u"00G1", back, 2), 1u);
}

struct THandlerHost {
  int Calls = 0;
  int Add(int A) { return Calls += A; }
  int Other(int A) { return A; }
};

int FreeAdd(THandlerHost* AHost, int A) { return AHost->Calls += 10 * A; }

TEST(Methods, EqualWhenSameObjectAndSameMember) {
  THandlerHost a, b;
  auto m1 = MakeMethod<&THandlerHost::Add>(&a);
  EXPECT_TRUE(m1 == MakeMethod<&THandlerHost::Add>(&a));
  EXPECT_FALSE(m1 == MakeMethod<&THandlerHost::Add>(&b));
  EXPECT_FALSE(m1 == MakeMethod<&THandlerHost::Other>(&a));
  EXPECT_EQ(m1(2), 2);
  auto f = MakeMethod<&FreeAdd>(&a);
  EXPECT_EQ(f(1), 12);
  EXPECT_FALSE(f == m1);
  TMethod<int(int)> none;
  EXPECT_FALSE(none);
  EXPECT_TRUE(none == nullptr);
}

class TShape : public TObject {
 public:
  explicit TShape(int ASize) : Size(ASize) {}
  int Size;
};
class TBox : public TShape {
 public:
  using TShape::TShape;
};
using TShapeClass = TClassRef<TShape, int>;
const TClassInfo<TShape, int> ShapeClass{u"TShape", nullptr, nullptr};
const TClassInfo<TShape, int> BoxClass{u"TBox", &ShapeClass, &ClassFactory<TBox, TShape, int>};

TEST(ClassReferences, CreateThroughTheReferenceAndAskAncestry) {
  TShapeClass ref = &BoxClass;
  std::unique_ptr<TShape> shape(ref->Create(3));
  EXPECT_EQ(shape->Size, 3);
  EXPECT_NE(dynamic_cast<TBox*>(shape.get()), nullptr);
  EXPECT_TRUE(BoxClass.InheritsFrom(&ShapeClass));
  EXPECT_FALSE(ShapeClass.InheritsFrom(&BoxClass));
  EXPECT_EQ(ref->Name(), u"TBox");
  EXPECT_THROW(ShapeClass.Create(1), EProgrammingError);
}

TEST(StringList, NamesValuesAndText) {
  TStringList list;
  list.Add(u"b=2");
  list.Add(u"A=1");
  EXPECT_EQ(list.Values(u"a"), u"1");
  list.SetValue(u"c", u"3");
  EXPECT_EQ(list.Text(), u"b=2\r\nA=1\r\nc=3\r\n");
  list.Sort();
  EXPECT_EQ(list[0], u"A=1");
  list.SetText(u"x\ny\r\n\r\nz");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[2], u"");
  EXPECT_THROW(list.Delete(4), EProgrammingError);
}

TEST(Exceptions, WhatIsTheMessageInUtf8) {
  try {
    throw EConvertError(u"\u00E9t\u00E9");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(e.Message(), u"\u00E9t\u00E9");
  }
}

}  // namespace
