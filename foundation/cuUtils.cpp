#include "foundation/cuUtils.h"

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

bool IsPathDelimiter(char16_t C) { return C == u'\\' || C == u'/'; }

// Index of the dot that starts the extension of the name part, or npos.
size_t ExtensionDot(std::u16string_view AName) {
  for (size_t i = AName.size(); i > 0; --i) {
    const char16_t c = AName[i - 1];
    if (c == u'.') return i - 1;
    if (IsPathDelimiter(c) || c == u':') break;
  }
  return std::u16string_view::npos;
}

std::u16string WithTrailingPathDelimiter(std::u16string APath) {
  if (!HasTrailingPathDelimiter(APath)) APath += static_cast<char16_t>(std::filesystem::path::preferred_separator);
  return APath;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// File names

std::u16string ExtractFileExtNoDot(std::u16string_view AName) {
  const size_t dot = ExtensionDot(AName);
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(AName.substr(dot + 1));
}

std::u16string ExtractFileTitle(std::u16string_view AName) {
  std::u16string name = ExtractFileName(AName);
  const size_t dot = ExtensionDot(name);
  if (dot != std::u16string_view::npos) name.resize(dot);
  return name;
}

bool HasTrailingPathDelimiter(std::u16string_view APath) { return !APath.empty() && IsPathDelimiter(APath.back()); }

std::u16string CreateUniqueFile(std::u16string_view AMask, std::u16string_view AExt,
                                std::unique_ptr<TFileStream>& AStream, std::u16string_view AFolder) {
  const std::u16string folder = AFolder.empty() ? GetTempFolder() : WithTrailingPathDelimiter(std::u16string(AFolder));
  return CreateNumberedFile(folder, AMask, AExt, AStream);
}

bool SplitNameValue(std::u16string_view AText, std::u16string& AName, std::u16string& AValue) {
  const size_t eq = AText.find(u'=');
  if (eq == std::u16string_view::npos) {
    AName = std::u16string(AText);
    AValue.clear();
    return false;
  }
  AName = std::u16string(AText.substr(0, eq));
  std::u16string_view value = AText.substr(eq + 1);
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') value = value.substr(1, value.size() - 2);
  AValue = std::u16string(value);
  return true;
}

std::u16string ProgramFromCommand(std::u16string_view ACommand) {
  if (ACommand.size() >= 2 && ACommand[0] == u'"') {
    const size_t close = ACommand.find(u'"', 1);
    return std::u16string(
        ACommand.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
  }
  size_t start = 0;
  while (start < ACommand.size() && ACommand[start] <= u' ') ++start;
  size_t end = start;
  while (end < ACommand.size() && ACommand[end] > u' ') ++end;
  return std::u16string(ACommand.substr(start, end - start));
}

bool IsBrowsableUrl(std::u16string_view AURL) {
  const bool scheme = (AURL.size() > 7 && SameTextAscii(AURL.substr(0, 7), u"http://")) ||
                      (AURL.size() > 8 && SameTextAscii(AURL.substr(0, 8), u"https://"));
  if (!scheme) return false;
  // The address goes to the browser as one quoted argument: a blank would let it split.
  return std::none_of(AURL.begin(), AURL.end(), [](char16_t c) { return c <= u' ' || c == u'"' || c == 0x7F; });
}

std::u16string MessageBoxText(std::u16string_view AText) {
  std::u16string text(AText);
  if (!text.empty()) {
    const char16_t last = text.back();
    if (last != u'.' && last != u'?' && last > u'!') text += u'.';
  }
  return text;
}

void FreeAndClearStrings(TStringList& AStrings) {
  for (int i = AStrings.Count() - 1; i >= 0; --i) {
    delete AStrings.Objects(i);
    AStrings.SetObject(i, nullptr);
  }
  AStrings.Clear();
}

// ---------------------------------------------------------------------------------------------------------------
// Stream packing

namespace {

constexpr size_t PackBufferSize = 64 * 1024;

struct TDeflater {
  z_stream Z{};
  TDeflater() {
    if (deflateInit2(&Z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw EOutOfMemory(u"Cannot start packing");
  }
  ~TDeflater() { deflateEnd(&Z); }
};

struct TInflater {
  z_stream Z{};
  TInflater() {
    if (inflateInit2(&Z, 15) != Z_OK) throw EOutOfMemory(u"Cannot start unpacking");
  }
  ~TInflater() { inflateEnd(&Z); }
};

}  // namespace

void CompressStream(TStream& ASource, TStream& ADest) {
  const int64_t size = ASource.Size();
  if (size <= 0) return;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&ADest)) memory->SetCapacity(static_cast<size_t>(size));
  ASource.SetPosition(0);
  TDeflater deflater;
  z_stream& z = deflater.Z;
  std::vector<uint8_t> in(PackBufferSize), out(PackBufferSize);
  int flush = Z_NO_FLUSH;
  do {
    if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
      const size_t count = ASource.Read(in.data(), in.size());
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(count);
      if (count == 0) flush = Z_FINISH;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) throw EStreamError(u"Packing failed");
    ADest.WriteBuffer(out.data(), out.size() - z.avail_out);
    if (result == Z_STREAM_END) break;
  } while (true);
  ADest.SetPosition(0);
}

void DecompressStream(TStream& ASource, TStream& ADest, int64_t ALimit) {
  if (ASource.Size() <= 0) return;
  ASource.SetPosition(0);
  TInflater inflater;
  z_stream& z = inflater.Z;
  std::vector<uint8_t> in(PackBufferSize), out(PackBufferSize);
  bool sourceEnded = false;
  int64_t total = 0;
  for (;;) {
    if (z.avail_in == 0 && !sourceEnded) {
      const size_t count = ASource.Read(in.data(), in.size());
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(count);
      sourceEnded = count == 0;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_NO_FLUSH);
    const size_t produced = out.size() - z.avail_out;
    total += static_cast<int64_t>(produced);
    if (total > ALimit) throw EDecompressionError(Format(u"The packed data unpacks to more than %d bytes", {ALimit}));
    ADest.WriteBuffer(out.data(), produced);
    if (result == Z_STREAM_END) break;
    if (result == Z_OK) continue;
    // No progress was possible: more input is needed, and there is none.
    if (result == Z_BUF_ERROR) {
      if (sourceEnded) throw EDecompressionError(u"The packed data is cut short");
      continue;
    }
    throw EDecompressionError(u"The packed data is damaged");
  }
  ADest.SetPosition(0);
}

std::u16string GetTempFolder() { return WithTrailingPathDelimiter(std::filesystem::temp_directory_path().u16string()); }
