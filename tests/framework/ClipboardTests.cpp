#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/fwClipboard.h"
#include "tests/framework/FrameworkTestSupport.h"

// The round trips run through a second process: this test program started again with a filter that runs only
// ClipboardChild.Role, and the role in the environment.

namespace {

constexpr char16_t kPrivateFormat[] = u"Quillbox Framework Test Data";
constexpr char16_t kParentText[] = u"Grüße – 文字 from the parent";
constexpr char16_t kChildText[] = u"Text from the child\r\nsecond line";
const std::vector<uint8_t> kParentBytes{0, 1, 2, 0xFE, 0xFF, 0x80, 7};
const std::vector<uint8_t> kChildBytes{9, 8, 7, 6, 5, 4, 3, 2, 1, 0};

constexpr wchar_t kWrittenEvent[] = L"QuillboxClipboardTestWritten";
constexpr wchar_t kReadEvent[] = L"QuillboxClipboardTestRead";
constexpr wchar_t kHeldEvent[] = L"QuillboxClipboardTestHeld";
constexpr wchar_t kOpeningEvent[] = L"QuillboxClipboardTestOpening";

// 3 x 2 pixels in 32 bits, each with its own alpha.
void FillProbeBitmap(TBitmap& ABitmap, uint32_t ASeed) {
  ABitmap.SetPixelFormat(TPixelFormat::pf32bit);
  ABitmap.SetSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) static_cast<uint32_t*>(ABitmap.ScanLine(y))[x] = ASeed + 0x11111111u * (y * 3 + x);
}

void ExpectProbeBitmap(TClipboard& AClipboard, uint32_t ASeed) {
  TBitmap bitmap;
  ASSERT_TRUE(AClipboard.GetBitmap(bitmap));
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf32bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(static_cast<const uint32_t*>(bitmap.ScanLine(y))[x], ASeed + 0x11111111u * (y * 3 + x));
}

void WriteContent(TClipboard& AClipboard, const char16_t* AText, const std::vector<uint8_t>& ABytes, uint32_t ASeed) {
  UINT format = TClipboard::RegisterFormat(kPrivateFormat);
  TBitmap bitmap;
  FillProbeBitmap(bitmap, ASeed);
  AClipboard.Open();
  AClipboard.SetAsText(AText);
  AClipboard.SetBuffer(format, ABytes.data(), ABytes.size());
  AClipboard.SetBitmap(bitmap);
  AClipboard.Close();
}

void ExpectContent(TClipboard& AClipboard, const char16_t* AText, const std::vector<uint8_t>& ABytes, uint32_t ASeed) {
  UINT format = TClipboard::RegisterFormat(kPrivateFormat);
  EXPECT_TRUE(TClipboard::HasFormat(format));
  EXPECT_TRUE(TClipboard::HasFormat(CF_BITMAP));  // offered by the system for the DIB
  EXPECT_EQ(AClipboard.AsText(), AText);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(AClipboard.GetBuffer(format, bytes));
  // The block may be rounded up by the system; the content comes first.
  ASSERT_GE(bytes.size(), ABytes.size());
  bytes.resize(ABytes.size());
  EXPECT_EQ(bytes, ABytes);
  ExpectProbeBitmap(AClipboard, ASeed);
}

std::wstring Role() {
  wchar_t buffer[32];
  DWORD n = GetEnvironmentVariableW(L"QB_CLIPBOARD_ROLE", buffer, 32);
  return n && n < 32 ? std::wstring(buffer, n) : std::wstring();
}

// Starts this program as the child in ARole; returns its process handle.
HANDLE StartChild(const wchar_t* ARole) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=ClipboardChild.Role --gtest_brief=1";
  SetEnvironmentVariableW(L"QB_CLIPBOARD_ROLE", ARole);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"QB_CLIPBOARD_ROLE", nullptr);
  if (!ok) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

DWORD WaitForExit(HANDLE AProcess) {
  WaitPumping(AProcess, HangMs);
  DWORD code = 999;
  GetExitCodeProcess(AProcess, &code);
  CloseHandle(AProcess);
  return code;
}

TEST(ClipboardChild, Role) {
  std::wstring role = Role();
  if (role.empty()) GTEST_SKIP() << "runs only as the second process of the clipboard tests";
  TClipboard clipboard;
  HANDLE written = OpenEventW(EVENT_MODIFY_STATE, FALSE, kWrittenEvent);
  HANDLE read = OpenEventW(SYNCHRONIZE, FALSE, kReadEvent);
  HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
  HANDLE opening = OpenEventW(SYNCHRONIZE, FALSE, kOpeningEvent);
  if (role == L"verify") {
    ExpectContent(clipboard, kParentText, kParentBytes, 0x80402010u);
  } else if (role == L"write") {
    WriteContent(clipboard, kChildText, kChildBytes, 0x01020304u);
    SetEvent(written);
    // Stay alive while the parent reads: contents may leave with the last process of the session.
    WaitPumping(read, HangMs);
  } else if (role == L"hold") {
    // Held from before the parent opens until after, however late a busy machine runs either process.
    clipboard.Open();
    SetEvent(held);
    WaitForSingleObject(opening, HangMs);
    Sleep(150);
    clipboard.Close();
  }
  for (HANDLE h : {written, read, held, opening})
    if (h) CloseHandle(h);
}

using ClipboardTest = FrameworkTest;

TEST_F(ClipboardTest, TextPrivateFormatAndBitmapReachAnotherProcess) {
  WriteContent(*Clipboard, kParentText, kParentBytes, 0x80402010u);
  ExpectContent(*Clipboard, kParentText, kParentBytes, 0x80402010u);  // and this process reads them back too
  HANDLE child = StartChild(L"verify");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(WaitForExit(child), 0u);
}

TEST_F(ClipboardTest, TextPrivateFormatAndBitmapComeFromAnotherProcess) {
  HANDLE written = CreateEventW(nullptr, TRUE, FALSE, kWrittenEvent);
  HANDLE read = CreateEventW(nullptr, TRUE, FALSE, kReadEvent);
  HANDLE child = StartChild(L"write");
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(WaitPumping(written, HangMs));
  ExpectContent(*Clipboard, kChildText, kChildBytes, 0x01020304u);
  SetEvent(read);
  EXPECT_EQ(WaitForExit(child), 0u);
  CloseHandle(written);
  CloseHandle(read);
}

TEST_F(ClipboardTest, OpenWaitsWhileAnotherProcessHoldsTheClipboard) {
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, kHeldEvent);
  HANDLE opening = CreateEventW(nullptr, TRUE, FALSE, kOpeningEvent);
  HANDLE child = StartChild(L"hold");
  ASSERT_NE(child, nullptr);
  ASSERT_TRUE(WaitPumping(held, HangMs));
  ULONGLONG start = GetTickCount64();
  SetEvent(opening);
  Clipboard->Open();
  ULONGLONG waited = GetTickCount64() - start;
  Clipboard->Close();
  EXPECT_GE(waited, 100u);
  EXPECT_EQ(WaitForExit(child), 0u);
  CloseHandle(held);
  CloseHandle(opening);
}

TEST_F(ClipboardTest, OneBracketPutsSeveralFormatsAndClearEmpties) {
  UINT format = TClipboard::RegisterFormat(kPrivateFormat);
  EXPECT_EQ(format, TClipboard::RegisterFormat(kPrivateFormat));
  Clipboard->Open();
  Clipboard->SetAsText(u"one");
  Clipboard->SetBuffer(format, "ab", 2);
  Clipboard->Close();
  EXPECT_TRUE(TClipboard::HasFormat(CF_UNICODETEXT));
  EXPECT_TRUE(TClipboard::HasFormat(format));
  Clipboard->SetAsText(u"two");  // a new bracket replaces everything
  EXPECT_FALSE(TClipboard::HasFormat(format));
  EXPECT_EQ(Clipboard->AsText(), u"two");
  Clipboard->Clear();
  EXPECT_FALSE(TClipboard::HasFormat(CF_UNICODETEXT));
  EXPECT_EQ(Clipboard->AsText(), u"");
  TBitmap none;
  EXPECT_FALSE(Clipboard->GetBitmap(none));
}

TEST_F(ClipboardTest, MetafilesRoundTrip) {
  HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  Rectangle(recorder, 0, 0, 40, 20);
  TMetafile source;
  source.SetHandle(CloseEnhMetaFile(recorder));
  Clipboard->SetMetafile(source);
  EXPECT_TRUE(TClipboard::HasFormat(CF_ENHMETAFILE));
  TMetafile pasted;
  ASSERT_TRUE(Clipboard->GetMetafile(pasted));
  EXPECT_TRUE(pasted.Enhanced());
  EXPECT_EQ(pasted.Width(), source.Width());
}

}  // namespace
