#include "foundation/cuStreams.h"

#include <algorithm>
#include <cstring>

#include "foundation/cuFiles.h"
#include "foundation/cuLocalization.h"

// ---------------------------------------------------------------------------------------------------------------
// TStream

int64_t TStream::Size() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError(u"Stream size cannot be changed"); }

void TStream::ReadBuffer(void* ABuffer, size_t ACount) {
  if (ACount && Read(ABuffer, ACount) != ACount)
    throw EStreamError(FormatLocStrOr(IdStreamReadError, u"Stream read error", {}));
}

void TStream::WriteBuffer(const void* ABuffer, size_t ACount) {
  if (ACount && Write(ABuffer, ACount) != ACount) throw EStreamError(u"Stream write error");
}

int64_t TStream::CopyFrom(TStream& ASource, int64_t ACount) {
  if (ACount == 0) {
    ASource.SetPosition(0);
    ACount = ASource.Size();
  }
  const int64_t total = ACount;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(ACount, 1 << 20)));
  while (ACount > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(ACount, static_cast<int64_t>(buffer.size())));
    ASource.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    ACount -= static_cast<int64_t>(n);
  }
  return total;
}

// ---------------------------------------------------------------------------------------------------------------
// TMemoryStream

size_t TMemoryStream::Read(void* ABuffer, size_t ACount) {
  if (FPosition >= FData.size()) return 0;
  const size_t n = std::min(ACount, FData.size() - FPosition);
  std::memcpy(ABuffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

size_t TMemoryStream::Write(const void* ABuffer, size_t ACount) {
  if (ACount == 0) return 0;
  const size_t end = FPosition + ACount;
  if (end > FData.size()) {
    if (end > FData.capacity()) FData.reserve(std::max(end, FData.capacity() + FData.capacity() / 2));
    FData.resize(end);
  }
  std::memcpy(FData.data() + FPosition, ABuffer, ACount);
  FPosition = end;
  return ACount;
}

int64_t TMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t base = 0;
  if (AOrigin == TSeekOrigin::soCurrent) base = static_cast<int64_t>(FPosition);
  if (AOrigin == TSeekOrigin::soEnd) base = static_cast<int64_t>(FData.size());
  const int64_t pos = base + AOffset;
  if (pos < 0) throw EStreamError(u"Stream seek before its start");
  FPosition = static_cast<size_t>(pos);
  return pos;
}

void TMemoryStream::SetSize(int64_t ASize) {
  if (ASize < 0) throw EStreamError(u"Stream size cannot be negative");
  FData.resize(static_cast<size_t>(ASize));
  FPosition = std::min(FPosition, FData.size());
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& ASource) {
  ASource.SetPosition(0);
  const int64_t size = ASource.Size();
  SetSize(size);
  FPosition = 0;
  ASource.ReadBuffer(FData.data(), FData.size());
}

void TMemoryStream::SaveToStream(TStream& ADest) const { ADest.WriteBuffer(FData.data(), FData.size()); }

void TMemoryStream::LoadFromFile(const std::u16string& AFileName) {
  TFileStream file(AFileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::u16string& AFileName) const {
  TFileStream file(AFileName, TFileMode::fmCreate);
  SaveToStream(file);
}

// ---------------------------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::u16string& AFileName, TFileMode AMode)
    : FFileName(AFileName), FHandle(std::make_unique<TFileHandle>(AFileName, AMode)) {}

TFileStream::~TFileStream() = default;

size_t TFileStream::Read(void* ABuffer, size_t ACount) { return FHandle->Read(ABuffer, ACount); }

size_t TFileStream::Write(const void* ABuffer, size_t ACount) { return FHandle->Write(ABuffer, ACount); }

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) { return FHandle->Seek(AOffset, AOrigin); }

void TFileStream::SetSize(int64_t ASize) { FHandle->SetSize(ASize); }

void TFileStream::Flush() { FHandle->Flush(); }
