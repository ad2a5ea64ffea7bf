// Line-oriented text writers with indentation; the XML flavour writes tags and escapes attribute values.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuSystem.h"

class TCodeWriter;
using TCodeWriterClass = TClassRef<TCodeWriter>;

class TCodeWriter : public TObject {
 public:
  static const TClassInfo<TCodeWriter> ClassInfo;
  virtual TCodeWriterClass ClassRef() const { return &ClassInfo; }

  // The lines copied into ALines (replacing its contents), one at a time as views, and the count.
  void GetLines(TStringList& ALines) const;
  int LineCount() const { return static_cast<int>(FLineStarts.size()); }
  std::u16string_view Line(int AIndex) const;

  int IndentSize() const { return FIndentSize; }
  void SetIndentSize(int AValue) { FIndentSize = AValue; }
  char16_t IndentChar() const { return FIndentChar; }
  void SetIndentChar(char16_t AValue) { FIndentChar = AValue; }
  int IndentLevel() const { return FIndentLevel; }
  void SetIndentLevel(int AValue) { FIndentLevel = AValue; }
  // Switch: a line's first text is preceded by the indentation.
  bool Indenting() const { return FIndenting; }
  void SetIndenting(bool AValue) { FIndenting = AValue; }
  // Switch: NewLine starts a new line.
  bool NewLines() const { return FNewLines; }
  void SetNewLines(bool AValue) { FNewLines = AValue; }

  // Appends to the last line; a fresh empty line is indented first when Indenting is on.
  virtual void Write(std::u16string_view AText);
  void WriteIfNotEmpty(std::u16string_view AText);
  void WriteFmt(std::u16string_view AFormat, std::initializer_list<TFormatArg> AArgs);
  void NewLine();
  void Indent() { ++FIndentLevel; }
  void Outdent() { --FIndentLevel; }

  // The lines, each followed by CR LF.
  std::u16string Text() const;
  size_t TextLength() const { return FText.size() + 2 * FLineStarts.size(); }

 protected:
  // The lines stored end to end in one buffer, with the offset where each begins: a writer makes many short
  // lines, and one string each would cost an allocation per line.
  std::u16string FText;
  std::vector<size_t> FLineStarts;
  int FIndentSize = 0;
  char16_t FIndentChar = u' ';
  int FIndentLevel = 0;
  bool FIndenting = true;
  bool FNewLines = true;
};

class TCustomXmlCodeWriter : public TCodeWriter {
 public:
  static const TClassInfo<TCodeWriter> ClassInfo;
  TCodeWriterClass ClassRef() const override { return &ClassInfo; }

  TCustomXmlCodeWriter();

  void WriteOpenTagStart(std::u16string_view AName);  // <name
  void WriteOpenTagEnd() { Write(u">"); }
  void WriteEmptyTagEnd() { Write(u"/>"); }
  void WriteOpenTag(std::u16string_view AName);                                        // <name>
  void WriteEmptyTag(std::u16string_view AName);                                       // <name/>
  void WriteCloseTag(std::u16string_view AName);                                       // </name>
  void WriteAttribute(std::u16string_view AName);                                      //  name
  void WriteUnquotedAttribute(std::u16string_view AName, std::u16string_view AValue);  //  name=value
  void WriteQuotedAttribute(std::u16string_view AName, std::u16string_view AValue);    //  name="value"

  // Entity mode: & < > " and characters 1..31 become entities; quotes are needed for a space or "/".
  // Double-quote mode: double quotes are doubled and & becomes &amp;; quotes are needed for a space, a double
  // quote, TAB, LF, CR, "/" or ">". An empty value needs no quotes.
  static void EscapeValue(std::u16string_view AValue, bool ADoubleQuoteMode, std::u16string& AResult,
                          bool& ANeedsQuotes);
  // Collapses AQuoteCount / 2 pairs of adjacent double quotes from the end, then decodes the entities
  // &#n; &#xh; &#$h; &#0xh; &quot; &lt; &gt; &amp; when AAmpersandSeen.
  static void UnescapeValue(std::u16string_view AValue, int AQuoteCount, bool AAmpersandSeen, std::u16string& AResult);

 private:
  // One Write of the pieces joined.
  void WriteJoined(std::u16string_view A, std::u16string_view B, std::u16string_view C = {}, std::u16string_view D = {},
                   std::u16string_view E = {});
  std::u16string FScratch;
};

class TXmlCodeWriter : public TCustomXmlCodeWriter {
 public:
  static const TClassInfo<TCodeWriter> ClassInfo;
  TCodeWriterClass ClassRef() const override { return &ClassInfo; }
};

// How attribute values are escaped, shared by the code writer and the knot writer's UTF-8 path. Per mode (entity,
// double-quote): characters that are replaced, and characters that call for quotes; every one of them is ASCII.
namespace ValueEscapes {
enum : uint8_t { EntityChange = 1, EntityQuotes = 2, QuoteChange = 4, QuoteQuotes = 8 };

struct TClasses {
  uint8_t Of[0x80] = {};
  constexpr TClasses() {
    for (int c = 1; c < 32; ++c) Of[c] = EntityChange;
    for (char c : {'&', '<', '>', '"'}) Of[static_cast<int>(c)] |= EntityChange;
    for (char c : {' ', '/'}) Of[static_cast<int>(c)] |= EntityQuotes;
    for (char c : {'"', '&'}) Of[static_cast<int>(c)] |= QuoteChange;
    for (char c : {'"', ' ', '\t', '\n', '\r', '/', '>'}) Of[static_cast<int>(c)] |= QuoteQuotes;
  }
  // The classes of any code unit; none above ASCII.
  constexpr uint8_t operator[](uint32_t C) const { return C < 0x80 ? Of[C] : 0; }
};
inline constexpr TClasses Classes;

// The entity of a character that entity mode replaces (&, <, >, " or a control character 1..31), written at AOut,
// which has room for six bytes; returns its end.
inline char* PutEntity(char* AOut, uint32_t C) {
  auto put = [&AOut](const char* AText, size_t ASize) {
    std::memcpy(AOut, AText, ASize);
    return AOut + ASize;
  };
  switch (C) {
    case '&':
      return put("&amp;", 5);
    case '<':
      return put("&lt;", 4);
    case '>':
      return put("&gt;", 4);
    case '"':
      return put("&quot;", 6);
    default:
      *AOut++ = '&';
      *AOut++ = '#';
      if (C >= 10) *AOut++ = static_cast<char>('0' + C / 10);
      *AOut++ = static_cast<char>('0' + C % 10);
      *AOut++ = ';';
      return AOut;
  }
}

// The same entity appended to a string of any character type.
template <class S>
void AppendEntity(S& AOut, uint32_t C) {
  char entity[6];
  const char* const end = PutEntity(entity, C);
  for (const char* p = entity; p < end; ++p) AOut.push_back(static_cast<typename S::value_type>(*p));
}
}  // namespace ValueEscapes
