// Byte streams: the abstract stream, a growable memory stream and a file stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/cuSystem.h"

// The message of a stream that ends before the bytes a reader needs.
constexpr int IdStreamReadError = 65393;  // "Stream read error"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  // Read and Write move as many bytes as they can and return that count.
  virtual size_t Read(void* ABuffer, size_t ACount) = 0;
  virtual size_t Write(const void* ABuffer, size_t ACount) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;
  virtual int64_t Size();
  // Raises EStreamError unless the stream can change its size.
  virtual void SetSize(int64_t ASize);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t APosition) { Seek(APosition, TSeekOrigin::soBeginning); }

  // Exactly ACount bytes or EStreamError.
  void ReadBuffer(void* ABuffer, size_t ACount);
  void WriteBuffer(const void* ABuffer, size_t ACount);
  void WriteBytes(const std::string& ABytes) { WriteBuffer(ABytes.data(), ABytes.size()); }

  // Copies ACount bytes from ASource's position; ACount 0 copies the whole source from its start.
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream& ASource, int64_t ACount);
};

class TMemoryStream : public TStream {
 public:
  size_t Read(void* ABuffer, size_t ACount) override;
  size_t Write(const void* ABuffer, size_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t ASize) override;

  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  void SetCapacity(size_t ACapacity) { FData.reserve(ACapacity); }
  void Clear();

  // Whole streams: LoadFromStream reads ASource from its start, SaveToStream writes all of this stream.
  void LoadFromStream(TStream& ASource);
  void SaveToStream(TStream& ADest) const;
  void LoadFromFile(const std::u16string& AFileName);
  void SaveToFile(const std::u16string& AFileName) const;

 private:
  std::vector<uint8_t> FData;
  size_t FPosition = 0;
};

enum class TFileMode {
  fmOpenRead,       // existing file, read only; others may read too
  fmOpenReadWrite,  // existing file, read and write
  fmCreate,         // created, or emptied when it exists; read and write
  fmCreateNew       // created; fails when the file exists
};

class TFileHandle;

class TFileStream : public TStream {
 public:
  // Raises EFileError when the file cannot be opened or created.
  TFileStream(const std::u16string& AFileName, TFileMode AMode);
  ~TFileStream() override;

  size_t Read(void* ABuffer, size_t ACount) override;
  size_t Write(const void* ABuffer, size_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void SetSize(int64_t ASize) override;

  // Forces written data to the disk.
  void Flush();
  const std::u16string& FileName() const { return FFileName; }

 private:
  std::u16string FFileName;
  std::unique_ptr<TFileHandle> FHandle;
};
