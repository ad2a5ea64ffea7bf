// File-system primitives: the one platform piece under the streams and the knot files. Windows and POSIX
// implementations live in cuFiles.cpp. Paths are UTF-16; both "\" and "/" separate folders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/cuStreams.h"

// An open file; closed when destroyed.
class TFileHandle {
 public:
  // Raises EFileError.
  TFileHandle(const std::u16string& AFileName, TFileMode AMode);
  ~TFileHandle();
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;

  size_t Read(void* ABuffer, size_t ACount);
  size_t Write(const void* ABuffer, size_t ACount);
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin);
  // Truncates or extends the file at ASize; the position is unchanged.
  void SetSize(int64_t ASize);
  void Flush();

 private:
  intptr_t FHandle;
  std::u16string FFileName;
};

bool FileExists(const std::u16string& AFileName);
bool DirectoryExists(const std::u16string& AFolder);
// True when the file is gone afterwards.
bool RemoveFile(const std::u16string& AFileName);
// Replaces ATarget by ASource in one step (ASource is renamed; ATarget need not exist). Raises EFileError.
void MoveFileReplacing(const std::u16string& ASource, const std::u16string& ATarget);
// For i = 1, 2, ...: AFolder + AMask formatted with i (+ "." + AExt when given), created only when no file of that
// name exists, so no one else's file is ever opened; a name taken between the look and the creation moves on to
// the next number, and so does the name AAvoid (without folder, compared without regard to case), taken or not.
// Returns the name and, in AStream, the new file. Raises EFileError.
std::u16string CreateNumberedFile(const std::u16string& AFolder, std::u16string_view AMask, std::u16string_view AExt,
                                  std::unique_ptr<TFileStream>& AStream, std::u16string_view AAvoid = {});
// The name of the temporary file a replacing save writes beside its target: "Rplc<n>.tmp".
constexpr std::u16string_view ReplaceTempMask = u"Rplc%d.tmp";
// Whether AName (without folder) is such a name, exactly: "Rplc", decimal digits, ".tmp".
bool IsReplaceTempName(std::u16string_view AName);
// Creates a new empty file named after ReplaceTempMask in ATarget's folder, never under ATarget's own name (a data
// file may bear such a name), and returns its name and, in AStream, the open file. Raises EFileError.
std::u16string CreateTempFileBeside(const std::u16string& ATarget, std::unique_ptr<TFileStream>& AStream);
// The same, the new file closed.
std::u16string CreateTempFileBeside(const std::u16string& ATarget);

// The folder part with its trailing delimiter ("" for a bare name), and the name part.
std::u16string ExtractFilePath(std::u16string_view AFileName);
std::u16string ExtractFileName(std::u16string_view AFileName);

// The system's text for an error number (WinInet's numbers included), and the calling thread's last error number.
std::u16string SysErrorMessage(uint32_t AErrorCode);
uint32_t GetLastOSError();

// Raises EFileError with the localized "File not found: %1" (string 2066), system error 2.
[[noreturn]] void RaiseFileNotFound(const std::u16string& AFileName);
// Opens AFileName for reading; nothing at all there raises the "File not found" error, any other failure (a
// folder of that name among them) the system's.
std::unique_ptr<TFileStream> OpenFileToRead(const std::u16string& AFileName);
