#include "foundation/cuFiles.h"

#include "foundation/cuLocalization.h"
#include "foundation/cuUnicode.h"

#include <algorithm>

#ifdef _WIN32
#include "foundation/cuWin32.h"
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int IdFileNotFound = 2066;  // "File not found: %1"

bool IsDelimiter(char16_t C) { return C == u'\\' || C == u'/'; }

[[noreturn]] void RaiseFileError(const char16_t* AWhat, const std::u16string& AFileName, uint32_t ACode) {
  throw EFileError(Format(u"%s \"%s\". %s", {AWhat, AFileName, SysErrorMessage(ACode)}), ACode);
}

const char16_t* OpenVerb(TFileMode AMode) {
  return (AMode == TFileMode::fmCreate || AMode == TFileMode::fmCreateNew) ? u"Cannot create file"
                                                                           : u"Cannot open file";
}

}  // namespace

std::u16string ExtractFilePath(std::u16string_view AFileName) {
  size_t i = AFileName.size();
  while (i > 0 && !IsDelimiter(AFileName[i - 1]) && AFileName[i - 1] != u':') --i;
  return std::u16string(AFileName.substr(0, i));
}

std::u16string ExtractFileName(std::u16string_view AFileName) {
  size_t i = AFileName.size();
  while (i > 0 && !IsDelimiter(AFileName[i - 1]) && AFileName[i - 1] != u':') --i;
  return std::u16string(AFileName.substr(i));
}

// Kept here, under the file primitives, because the knot reader raises it.
void RaiseFileNotFound(const std::u16string& AFileName) {
  throw EFileError(FormatLocStrOr(IdFileNotFound, u"File not found: %1", {AFileName}), 2);
}

std::unique_ptr<TFileStream> OpenFileToRead(const std::u16string& AFileName) {
  try {
    return std::make_unique<TFileStream>(AFileName, TFileMode::fmOpenRead);
  } catch (const EFileError&) {
    // A folder of that name is there, though no file: the system's error says why it cannot be read.
    if (!FileExists(AFileName) && !DirectoryExists(AFileName)) RaiseFileNotFound(AFileName);
    throw;
  }
}

std::u16string CreateNumberedFile(const std::u16string& AFolder, std::u16string_view AMask, std::u16string_view AExt,
                                  std::unique_ptr<TFileStream>& AStream, std::u16string_view AAvoid) {
  for (int i = 1;; ++i) {
    std::u16string name = AFolder + Format(AMask, {i});
    if (!AExt.empty()) name += u"." + std::u16string(AExt);
    if (FileExists(name) || (!AAvoid.empty() && SameTextFolded(ExtractFileName(name), AAvoid))) continue;
    try {
      AStream = std::make_unique<TFileStream>(name, TFileMode::fmCreateNew);
      return name;
    } catch (const EFileError&) {
      if (!FileExists(name) || i >= 100000) throw;
    }
  }
}

bool IsReplaceTempName(std::u16string_view AName) {
  constexpr std::u16string_view head = u"Rplc", tail = u".tmp";
  if (AName.size() <= head.size() + tail.size() || !AName.starts_with(head) || !AName.ends_with(tail)) return false;
  const std::u16string_view number = AName.substr(head.size(), AName.size() - head.size() - tail.size());
  return std::all_of(number.begin(), number.end(), [](char16_t C) { return C >= u'0' && C <= u'9'; });
}

std::u16string CreateTempFileBeside(const std::u16string& ATarget, std::unique_ptr<TFileStream>& AStream) {
  return CreateNumberedFile(ExtractFilePath(ATarget), ReplaceTempMask, {}, AStream, ExtractFileName(ATarget));
}

std::u16string CreateTempFileBeside(const std::u16string& ATarget) {
  std::unique_ptr<TFileStream> created;
  return CreateTempFileBeside(ATarget, created);
}

#ifdef _WIN32

// ---------------------------------------------------------------------------------------------------------------
// Windows

TFileHandle::TFileHandle(const std::u16string& AFileName, TFileMode AMode) : FFileName(AFileName) {
  DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
  switch (AMode) {
    case TFileMode::fmOpenRead:
      break;
    case TFileMode::fmOpenReadWrite:
      access |= GENERIC_WRITE;
      break;
    case TFileMode::fmCreate:
      access |= GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    case TFileMode::fmCreateNew:
      access |= GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  HANDLE h = CreateFileW(WStr(AFileName), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseFileError(OpenVerb(AMode), AFileName, GetLastError());
  FHandle = reinterpret_cast<intptr_t>(h);
}

TFileHandle::~TFileHandle() { CloseHandle(reinterpret_cast<HANDLE>(FHandle)); }

size_t TFileHandle::Read(void* ABuffer, size_t ACount) {
  size_t total = 0;
  while (total < ACount) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(ACount - total, 1u << 30)), done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(FHandle), static_cast<uint8_t*>(ABuffer) + total, chunk, &done, nullptr))
      RaiseFileError(u"Cannot read file", FFileName, GetLastError());
    if (done == 0) break;
    total += done;
  }
  return total;
}

size_t TFileHandle::Write(const void* ABuffer, size_t ACount) {
  size_t total = 0;
  while (total < ACount) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(ACount - total, 1u << 30)), done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(FHandle), static_cast<const uint8_t*>(ABuffer) + total, chunk, &done,
                   nullptr))
      RaiseFileError(u"Cannot write file", FFileName, GetLastError());
    if (done == 0) break;
    total += done;
  }
  return total;
}

int64_t TFileHandle::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = AOffset;
  const DWORD method = AOrigin == TSeekOrigin::soBeginning ? FILE_BEGIN
                       : AOrigin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                           : FILE_END;
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(FHandle), distance, &result, method))
    RaiseFileError(u"Cannot seek in file", FFileName, GetLastError());
  return result.QuadPart;
}

void TFileHandle::SetSize(int64_t ASize) {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  Seek(ASize, TSeekOrigin::soBeginning);
  if (!SetEndOfFile(reinterpret_cast<HANDLE>(FHandle)))
    RaiseFileError(u"Cannot change the size of file", FFileName, GetLastError());
  Seek(pos, TSeekOrigin::soBeginning);
}

void TFileHandle::Flush() {
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(FHandle)))
    RaiseFileError(u"Cannot write file", FFileName, GetLastError());
}

bool FileExists(const std::u16string& AFileName) {
  const DWORD attr = GetFileAttributesW(WStr(AFileName));
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::u16string& AFolder) {
  const DWORD attr = GetFileAttributesW(WStr(AFolder));
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::u16string& AFileName) { return DeleteFileW(WStr(AFileName)) || !FileExists(AFileName); }

void MoveFileReplacing(const std::u16string& ASource, const std::u16string& ATarget) {
  if (!MoveFileExW(WStr(ASource), WStr(ATarget), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    RaiseFileError(u"Cannot replace file", ATarget, GetLastError());
}

std::u16string SysErrorMessage(uint32_t AErrorCode) {
  // WinInet's numbers (12000-12999) have their texts in wininet.dll, not in the system's table.
  HMODULE wininet = AErrorCode >= 12000 && AErrorCode < 13000
                        ? LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE)
                        : nullptr;
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     (wininet ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                 wininet, AErrorCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result = n ? FromWide(text, n) : Format(u"System error %u", {AErrorCode});
  if (text) LocalFree(text);
  if (wininet) FreeLibrary(wininet);
  return Trim(result);
}

uint32_t GetLastOSError() { return GetLastError(); }

#else

// ---------------------------------------------------------------------------------------------------------------
// POSIX (host build)

namespace {
std::string NativePath(const std::u16string& AFileName) {
  std::string path = Utf16ToUtf8(AFileName);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}
}  // namespace

TFileHandle::TFileHandle(const std::u16string& AFileName, TFileMode AMode) : FFileName(AFileName) {
  int flags = O_CLOEXEC;
  switch (AMode) {
    case TFileMode::fmOpenRead:
      flags |= O_RDONLY;
      break;
    case TFileMode::fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    case TFileMode::fmCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case TFileMode::fmCreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  const int fd = ::open(NativePath(AFileName).c_str(), flags, 0644);
  if (fd < 0) RaiseFileError(OpenVerb(AMode), AFileName, static_cast<uint32_t>(errno));
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    RaiseFileError(OpenVerb(AMode), AFileName, EISDIR);
  }
  FHandle = fd;
}

TFileHandle::~TFileHandle() { ::close(static_cast<int>(FHandle)); }

size_t TFileHandle::Read(void* ABuffer, size_t ACount) {
  size_t total = 0;
  while (total < ACount) {
    const ssize_t n = ::read(static_cast<int>(FHandle), static_cast<uint8_t*>(ABuffer) + total, ACount - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseFileError(u"Cannot read file", FFileName, static_cast<uint32_t>(errno));
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return total;
}

size_t TFileHandle::Write(const void* ABuffer, size_t ACount) {
  size_t total = 0;
  while (total < ACount) {
    const ssize_t n = ::write(static_cast<int>(FHandle), static_cast<const uint8_t*>(ABuffer) + total, ACount - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseFileError(u"Cannot write file", FFileName, static_cast<uint32_t>(errno));
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  return total;
}

int64_t TFileHandle::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const int whence = AOrigin == TSeekOrigin::soBeginning ? SEEK_SET
                     : AOrigin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                         : SEEK_END;
  const off_t pos = ::lseek(static_cast<int>(FHandle), static_cast<off_t>(AOffset), whence);
  if (pos < 0) RaiseFileError(u"Cannot seek in file", FFileName, static_cast<uint32_t>(errno));
  return pos;
}

void TFileHandle::SetSize(int64_t ASize) {
  if (::ftruncate(static_cast<int>(FHandle), static_cast<off_t>(ASize)) != 0)
    RaiseFileError(u"Cannot change the size of file", FFileName, static_cast<uint32_t>(errno));
}

void TFileHandle::Flush() {
  if (::fsync(static_cast<int>(FHandle)) != 0)
    RaiseFileError(u"Cannot write file", FFileName, static_cast<uint32_t>(errno));
}

bool FileExists(const std::u16string& AFileName) {
  struct stat st;
  return ::stat(NativePath(AFileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::u16string& AFolder) {
  struct stat st;
  return ::stat(NativePath(AFolder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::u16string& AFileName) {
  return ::unlink(NativePath(AFileName).c_str()) == 0 || !FileExists(AFileName);
}

void MoveFileReplacing(const std::u16string& ASource, const std::u16string& ATarget) {
  if (::rename(NativePath(ASource).c_str(), NativePath(ATarget).c_str()) != 0)
    RaiseFileError(u"Cannot replace file", ATarget, static_cast<uint32_t>(errno));
}

std::u16string SysErrorMessage(uint32_t AErrorCode) {
  return Utf8ToUtf16(std::string_view(std::strerror(static_cast<int>(AErrorCode))));
}

uint32_t GetLastOSError() { return static_cast<uint32_t>(errno); }

#endif
