// The knot tree: named nodes with named parameters, per-knot options, "was read" flags, and its text format.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/cuNode.h"
#include "foundation/cuSet.h"
#include "foundation/cuStreams.h"

class TKnot;
class TCodeWriter;
struct TAnsiBytes;

// Options of a knot; the effective options are (inherited and not removed) or added. The values are the bits
// stored by earlier versions.
enum class TKnotOption : uint16_t {
  koOrderedChildren = 1,    // child paths carry their position; empty only without parameters and children
  koUniqueParams = 2,       // writing a parameter replaces the value of one of the same name
  koSkipEmptyChildren = 4,  // the writer leaves out empty children
  koAllowUnquoted = 8,      // the writer may write values without quotes
  koNoIndent = 16,          // the writer does not indent
  koNoLineBreaks = 32,      // the writer does not break lines
  koJoinPrevious = 64,      // the writer keeps this knot on the line of its previous sibling
  koDoubleQuotes = 128,     // the writer escapes values by doubling quotes instead of using entities
};
constexpr bool IsFlagFamily(TKnotOption) { return true; }
using TKnotOptions = TSet<TKnotOption>;
using enum TKnotOption;

// Text encodings of knot files. ANSI is the system's code page and is written without a byte-order mark.
enum class TKnotEncoding { keAnsi, keUtf8, keUtf16LE, keUtf16BE };

// Deeper elements in a text are not read (the parse-error bit is set instead).
constexpr int MaxKnotDepth = 1000;

// Why reading a text stopped being clean; the first fault of a text is kept.
enum class TKnotParseError : uint8_t {
  peNone,
  peEmptyText,       // no element at all
  peNoElement,       // text where an element should start
  peUnnamedElement,  // "<" without a name
  peUnclosedQuote,   // a value runs to the end of the text inside quotes
  peBadTagEnd,       // "/" not followed by ">"
  peUnexpectedEnd,   // the text ends inside an element
  peTextInElement,   // text between tags
  peMismatchedEnd,   // an end tag that does not name the open element
  peTooDeep,         // nesting beyond MaxKnotDepth
  peTrailingText,    // text after the root element
};

enum class TKnotParamKind : uint8_t { pkNone = 0, pkString = 1, pkStream = 2, pkStreamRef = 3 };

// Names and the memory of a loaded tree; private to the knot unit.
struct TKnotStore;
struct TKnotName;
struct TKnotParamStream;
struct TKnotBlock;

class TKnotParam : public TObject {
 public:
  ~TKnotParam() override;

  TKnot* Knot() const { return FKnot; }
  TKnotParam* Next() const { return FNext; }
  const std::u16string& Name() const;
  // Raises EProgrammingError for a name the reader could not read back.
  void SetName(std::u16string AName);
  // IsValidKnotName(Name()), worked out once for each name of the tree.
  bool HasValidName() const;
  bool Used() const { return FUsed; }
  void SetUsed(bool AValue) {
    if (FUsed != AValue) ToggleUsed();
  }
  TKnotParamKind Kind() const { return FKind; }
  // The raw contents of a string; reading them leaves the flag alone.
  std::u16string Value() const;
  TStream* Stream() const;

  void SetString(std::u16string_view AValue);
  // Copies AStream from its start into a memory stream that the parameter owns.
  void SetStream(TStream& AStream);
  // Refers to AStream, which the caller keeps alive until the tree is written.
  void SetStreamRef(TStream* AStream);
  void Clear();

  // These flag the parameter as read.
  bool HasValue();
  // A string as it is; a stream as upper-case hexadecimal, two characters a byte; nothing as "".
  std::u16string GetAsString();
  // The same answers read from the stored bytes where they are, without a string of their own: a load reads
  // thousands of values.
  // GetAsString's text into AText, in its memory.
  void GetAsString(std::u16string& AText);
  // GetAsString() == AText.
  bool IsString(std::u16string_view AText);
  // TryStrToInt(GetAsString(), AValue).
  bool GetAsInteger(int& AValue);
  // Hexadecimal text is decoded into AStream (False for an odd length or a bad digit, the stream then empty);
  // a stream is copied whole. AStream is rewound after decoding text.
  bool ReadStream(TStream& AStream);

  std::u16string GetPath() const;

 private:
  friend class TKnot;
  friend class TKnotWriter;
  template <class TChar>
  friend class TKnotReader;
  enum : uint8_t { kInline, kOnHeap, kInStore };
  TKnotParam(TKnot* AKnot, const TKnotName* AName) : FKnot(AKnot), FName(AName) {}
  // The string as UTF-8.
  std::string_view Bytes() const;
  void SetBytes(std::string_view AText);
  // Makes the parameter a string of ASize bytes and returns where they go.
  char* ReserveBytes(size_t ASize);
  void ReleaseContents();
  // A parameter in the store marks its knot when it gets contents of its own.
  void NoteOwnedContents();
  // Flips the flag, which the store counts for a parameter that lies in it.
  void ToggleUsed();

  TKnot* FKnot;
  TKnotParam* FNext = nullptr;
  const TKnotName* FName;
  // A string of up to eight bytes lies in the parameter itself; a stream parameter keeps its stream aside.
  union {
    char FInline[8];
    char* FText;
    TKnotParamStream* FStream;
  };
  uint32_t FSize = 0;
  bool FUsed = false;
  TKnotParamKind FKind = TKnotParamKind::pkNone;
  uint8_t FStorage = kInline;
  bool FInStore = false;  // the parameter itself lies in its knot's store
};

// What the knot needs to know about a form to store and restore its place. The framework adapts its forms.
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormWindowState { wsNormal, wsMinimized, wsMaximized };

struct TPlacementRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TPlacementRect&) const = default;
};

class IFormPlacement {
 public:
  virtual ~IFormPlacement() = default;
  virtual TFormBorderStyle BorderStyle() const = 0;
  virtual bool HasMaximizeIcon() const = 0;
  virtual TFormWindowState WindowState() const = 0;
  // The rectangle of the form when neither minimized nor maximized.
  virtual TPlacementRect RestoredBounds() const = 0;
  // Origin and size of the virtual screen.
  virtual TPlacementRect VirtualScreen() const = 0;
  virtual void Maximize() = 0;
  // The form keeps the position it is given instead of one chosen by the system.
  virtual void SetDesignedPosition() = 0;
  virtual void SetBounds(const TPlacementRect& ABounds) = 0;
};

// Smallest width and height a restored form may get.
constexpr int MinFormExtent = 16;

// Knots of a tree share one store of interned names, so FindKnot and FindParam compare pointers. A tree read from
// text also keeps its knots, parameters and values in that store's blocks, freed together with the last knot that
// uses the store; knots still move freely between trees. A tree, and the trees it exchanged knots with, is used
// by one thread at a time.
class TKnot : public TNode {
 public:
  TKnot();
  // Raises EProgrammingError for a name the reader could not read back.
  explicit TKnot(std::u16string AName);
  ~TKnot() override;
  // A knot read into a store is destroyed in place; its memory goes with the store.
  static void operator delete(TKnot* AKnot, std::destroying_delete_t);

  const std::u16string& Name() const;
  // Raises EProgrammingError for a name the reader could not read back (see IsValidKnotName).
  void SetName(std::u16string AName);
  // IsValidKnotName(Name()), worked out once for each name of the tree.
  bool HasValidName() const;

  // Navigation. Each flags the knot it returns as read, except AddKnot.
  TKnot* AddKnot(std::u16string AName);
  // Exact, case-sensitive names.
  TKnot* FindKnot(std::u16string_view AName);
  TKnot* FindNext(std::u16string_view AName);
  TKnot* FindOrAddKnot(std::u16string_view AName);
  // "a.b.c", one child name a step; nullptr when a step is missing and ACreate is false.
  TKnot* FindKnotByPath(std::u16string_view APath, bool ACreate);
  TKnot* GetFirstKnot();
  TKnot* GetLastKnot();
  TKnot* GetNextKnot();
  TKnot* GetParentKnot();
  // Unflagged neighbours for code that only looks.
  TKnot* FirstKnot() const { return static_cast<TKnot*>(FirstChild()); }
  TKnot* NextKnot() const { return static_cast<TKnot*>(NextSibling()); }
  TKnot* ParentKnot() const { return static_cast<TKnot*>(Parent()); }
  std::u16string GetPath() const;

  // Parameters.
  TKnotParam* FirstParam() const { return FFirstParam; }
  TKnotParam* FindParam(std::u16string_view AName) const;
  bool ParamExists(std::u16string_view AName);
  // Under koUniqueParams the existing parameter of that name, else a new one at the end.
  TKnotParam* AddParam(std::u16string_view AName);

  std::u16string ReadString(std::u16string_view AName, std::u16string_view ADefault);
  bool ReadBool(std::u16string_view AName, bool ADefault);
  // ADefault for a missing or non-integer text and for a result outside [AMin, AMax]; AMin = AMax: any integer.
  int ReadInteger(std::u16string_view AName, int ADefault, int AMin, int AMax);
  // True when there is no such parameter (AStream untouched).
  bool ReadStream(std::u16string_view AName, TStream& AStream);
  void WriteString(std::u16string_view AName, std::u16string_view AValue);
  void WriteInteger(std::u16string_view AName, int64_t AValue);
  void WriteBool(std::u16string_view AName, bool AValue);
  void WriteStream(std::u16string_view AName, TStream& AStream);
  void WriteStreamRef(std::u16string_view AName, TStream* AStream);

  // Options.
  TKnotOptions InheritedOptions() const { return FInheritedOptions; }
  TKnotOptions RemovedOptions() const { return FRemovedOptions; }
  TKnotOptions AddedOptions() const { return FAddedOptions; }
  void SetRemovedOptions(TKnotOptions AValue) { FRemovedOptions = AValue; }
  void SetAddedOptions(TKnotOptions AValue) { FAddedOptions = AValue; }
  TKnotOptions Options() const { return (FInheritedOptions - FRemovedOptions) | FAddedOptions; }
  // Stores AOptions as the inherited options of this knot and, when they changed, of every descendant.
  void SetOptions(TKnotOptions AOptions);

  // No parameters and, under koOrderedChildren, no children; otherwise every child empty.
  bool IsEmpty() const;

  // Was-read flags.
  bool IsUsed() const { return FState & kUsed; }
  void SetUsed(bool AValue) {
    if (IsUsed() != AValue) ToggleUsed();
  }
  // The knot, its parameters and all descendants.
  void SetUsedDeep(bool AValue);
  // Unread knots (their contents not examined) and unread parameters, in tree order; either list may be null.
  bool CollectUnread(std::vector<TKnot*>* AKnots, std::vector<TKnotParam*>* AParams, bool ACheckSelf);

  // What the last reading into this knot met. The offset counts bytes of the file or stream read (after a
  // byte-order mark), or characters of a text parsed as UTF-16.
  bool HasParseError() const { return FState & kParseError; }
  TKnotParseError ParseErrorReason() const;
  size_t ParseErrorOffset() const;
  // Bad UTF-8 sequences that were read as U+FFFD, and the offset of the first.
  size_t InvalidUtf8Count() const;
  size_t InvalidUtf8Offset() const;

  // Deep copy of name, removed and added options, parameters and children; the source's knots are flagged as read.
  void Assign(TKnot& ASource);
  // Empties name, removed and added options, parameters and children, and both state bits.
  void Clear();

  // Form placement.
  void WriteFormPlacement(const IFormPlacement& AForm);
  void ReadFormPlacement(IFormPlacement& AForm);

  // Text. The reader never raises on bad text: it keeps what it read and sets the parse-error bit.
  void Parse(const char16_t* AText, size_t ALength);
  void LoadFromString(std::u16string_view AText) { Parse(AText.data(), AText.size()); }
  // The same from UTF-8 bytes (without their byte-order mark); reads exactly what Parse reads from the decoded text.
  void ParseUtf8(const uint8_t* ABytes, size_t ACount);
  // From the stream's position to its end; a byte-order mark chooses UTF-8 or UTF-16. Without one, bytes that are
  // valid UTF-8 (ASCII among them) are read as UTF-8, others in the ANSI code page.
  void LoadFromStream(TStream& AStream);
  // Raises the "file not found" error when the file cannot be opened and does not exist.
  void LoadFromFile(const std::u16string& AFileName);
  void WriteTo(TCodeWriter& AWriter);
  // Every line, the last included, ends in CR LF.
  std::u16string SaveToString();
  // UTF-8 reaches the stream piece by piece, so a failure on the way leaves the text's beginning written.
  void SaveToStream(TStream& AStream, TKnotEncoding AEncoding = TKnotEncoding::keAnsi);
  // Written to a temporary file beside AFileName that then replaces it in one step.
  void SaveToFile(const std::u16string& AFileName, TKnotEncoding AEncoding = TKnotEncoding::keAnsi);

  void ParentChanged() override;
  void ChildAdding(TNode* AChild, TNode* ABefore) override;
  // Frees the subtree without the hooks, which a knot does not use on leaving.
  void FreeChildren() override;

 private:
  friend class TKnotParam;
  friend class TKnotWriter;
  friend class TKnotBuildScope;
  template <class TChar>
  friend class TKnotReader;
  // kCounted: made by the reader, so counted by its store.
  enum : uint8_t { kUsed = 1, kParseError = 2, kInStore = 4, kParamsOwnMemory = 8, kCounted = 16 };

  TKnot(const TKnotName* AName, uint8_t AState);
  TKnotStore& Store();
  // Flips the flag, which its store counts for a knot the reader made.
  void ToggleUsed();
  TKnotParam* AppendParam(const TKnotName* AName);
  void ClearParams();
  void CopyOwnData(const TKnot& ASource);
  TKnot* AddKnotNamed(const TKnotName* AName);
  static TKnot* FindSibling(TKnot* AFrom, std::u16string_view AName);
  // AAnsi: bytes in the ANSI code page it describes. AOnTrial: bytes read as UTF-8 unless they are not; false then.
  template <class TChar>
  bool ReadText(const TChar* AText, size_t ALength, const TAnsiBytes* AAnsi, bool AOnTrial);
  void SetInternedName(const TKnotName* AName);

  const TKnotName* FName;
  TKnotParam* FFirstParam = nullptr;
  TKnotParam* FLastParam = nullptr;
  TKnotOptions FInheritedOptions;
  TKnotOptions FRemovedOptions;
  TKnotOptions FAddedOptions;
  uint8_t FState = 0;
};

// What the last tree built under it used, for the next: its blocks, and the length of its text when written. A
// tree built whole again and again, such as a save's, then reuses memory it already touched instead of asking the
// system for fresh pages each time. Shared by its owner and the stores built under it, whichever goes last.
class TKnotBlockReserve {
 public:
  TKnotBlockReserve() = default;
  ~TKnotBlockReserve();
  TKnotBlockReserve(const TKnotBlockReserve&) = delete;
  TKnotBlockReserve& operator=(const TKnotBlockReserve&) = delete;

 private:
  friend struct TKnotStore;
  friend class TKnotWriter;
  // The latest kept block when it holds ASize bytes.
  TKnotBlock* Take(size_t ASize);
  // Keeps the chain ending in ALast, freeing what was kept before.
  void Keep(TKnotBlock* ALast);

  TKnotBlock* FBlocks = nullptr;
  size_t FTextSize = 0;
};

// While a scope lives, the knots and parameters added under the knots of AKnot's store, and the strings given to
// those parameters, lie in the store's blocks as a read tree's do and go with the store: for a tree built whole
// and then let go, such as a save's. Their memory is not given back before the store goes.
class TKnotBuildScope {
 public:
  // With AReserve the store takes its blocks from the reserve and gives them back to it when it goes.
  explicit TKnotBuildScope(TKnot& AKnot, const std::shared_ptr<TKnotBlockReserve>& AReserve = nullptr);
  ~TKnotBuildScope();
  TKnotBuildScope(const TKnotBuildScope&) = delete;
  TKnotBuildScope& operator=(const TKnotBuildScope&) = delete;

 private:
  TKnotStore* FStore;
};

// A name the reader reads back as it is: not empty, no white space or control character, none of
// " & ' ( ) / < = > ?, and no lone surrogate.
bool IsValidKnotName(std::u16string_view AName);
