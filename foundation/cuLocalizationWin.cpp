#include "foundation/cuLocalizationWin.h"

#include <algorithm>
#include <cstring>

std::u16string TLocalization::LoadStringForLanguage(int AId, TLangId ALanguage) {
  if (AId < 0 || AId > 0xFFFF) return {};
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(AId / 16 + 1), ALanguage);
  if (!info) return {};
  HGLOBAL loaded = LoadResource(module, info);
  const auto* block = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
  if (!block) return {};
  // Sixteen entries, each a length word followed by that many UTF-16 units; the block may be cut short.
  const size_t size = SizeofResource(module, info) / 2;
  auto word = [block](size_t AIndex) {
    uint16_t w;
    std::memcpy(&w, block + AIndex * 2, 2);
    return w;
  };
  size_t pos = 0;
  for (int entry = AId % 16; entry > 0; --entry) {
    if (pos >= size) return {};
    pos += 1 + word(pos);
  }
  if (pos >= size) return {};
  const size_t length = std::min<size_t>(word(pos), size - pos - 1);
  std::u16string result(length, u'\0');
  std::memcpy(result.data(), block + (pos + 1) * 2, length * 2);
  return result;
}

namespace {

// Resource memory lives as long as the module; the stream only reads it.
class TResourceStream : public TStream {
 public:
  TResourceStream(const uint8_t* AData, size_t ASize) : FData(AData), FSize(ASize) {}

  size_t Read(void* ABuffer, size_t ACount) override {
    const size_t count = FPosition < FSize ? std::min(ACount, FSize - FPosition) : 0;
    if (count == 0) return 0;
    std::memcpy(ABuffer, FData + FPosition, count);
    FPosition += count;
    return count;
  }
  size_t Write(const void*, size_t) override { throw EStreamError(u"A resource stream cannot be written"); }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    int64_t base = 0;
    if (AOrigin == TSeekOrigin::soCurrent)
      base = static_cast<int64_t>(FPosition);
    else if (AOrigin == TSeekOrigin::soEnd)
      base = static_cast<int64_t>(FSize);
    const int64_t target = base + AOffset;
    if (target < 0) throw EStreamError(u"Seek before the start of a resource stream");
    FPosition = static_cast<size_t>(target);
    return target;
  }
  int64_t Size() override { return static_cast<int64_t>(FSize); }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPosition = 0;
};

}  // namespace

std::unique_ptr<TStream> CreateResourceStream(HINSTANCE AInstance, LPCWSTR AName, LPCWSTR AType) {
  HMODULE module = AInstance ? AInstance : GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, AName, AType);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    std::u16string name = IS_INTRESOURCE(AName) ? IntToStr(reinterpret_cast<uintptr_t>(AName)) : FromWide(AName);
    throw EStreamError(u"Resource not found: " + name);
  }
  return std::make_unique<TResourceStream>(static_cast<const uint8_t*>(data), SizeofResource(module, info));
}
