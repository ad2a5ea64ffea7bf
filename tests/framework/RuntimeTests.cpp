#include <gtest/gtest.h>

#include "framework/fwRuntime.h"

namespace {

TEST(DateTime, EncodesDaysSinceTheEpochOfTheFormat) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 3, 7), 45358.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 3, 7, 18), 45358.75);
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(EncodeDateTime(2000, 2, 29, 23, 59, 58, 999), y, mo, d, h, mi, s, ms);
  EXPECT_EQ(y, 2000);
  EXPECT_EQ(mo, 2);
  EXPECT_EQ(d, 29);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(mi, 59);
  EXPECT_EQ(s, 58);
  EXPECT_EQ(ms, 999);
}

TEST(DateTime, FormatsPatterns) {
  TDateTime value = EncodeDateTime(2024, 3, 7, 9, 5, 4, 12);
  struct TCase {
    const char16_t* Pattern;
    const char16_t* Expected;
  };
  const TCase cases[] = {
      {u"yyyy_mm_dd", u"2024_03_07"},
      {u"yy-mm-dd hh:nn:ss.zzz", u"24-03-07 09:05:04.012"},
      {u"\"Day\" dd", u"Day 07"},
      {u"YYYY", u"2024"},
  };
  for (const TCase& c : cases) EXPECT_EQ(FormatDateTime(c.Pattern, value), c.Expected);
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(FormatDateTime(u"yyyy", Now()), IntToStr(now.wYear));
}

TEST(SystemErrors, TextsComeFromTheSystemAndFromWinInet) {
  std::u16string notFound = SysErrorMessage(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(notFound.empty());
  EXPECT_NE(notFound.back(), u'\n');
  std::u16string inet = SysErrorMessage(12029);  // ERROR_INTERNET_CANNOT_CONNECT
  EXPECT_NE(inet, u"Error 12029");
  SetLastError(ERROR_ACCESS_DENIED);
  try {
    RaiseLastOSError(u"Opening");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(e.Message().rfind(u"Opening: ", 0), 0u);
  }
}

TEST(Registry, ReadsStringsNumbersAndNamesAndReportsMissingOnes) {
  const wchar_t* path = L"Software\\QuillboxFrameworkTests";
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  const wchar_t text[] = L"C:\\Start";
  DWORD number = 42;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path, L"Startup", REG_SZ, text, sizeof(text)), ERROR_SUCCESS);
  RegSetKeyValueW(HKEY_CURRENT_USER, path, L"Count", REG_DWORD, &number, sizeof(number));
  RegSetKeyValueW(HKEY_CURRENT_USER, path, nullptr, REG_SZ, L"default", 16);
  RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(path) + L"\\Child").c_str(), L"x", REG_SZ, L"", 2);

  TRegistry registry(HKEY_CURRENT_USER);
  EXPECT_FALSE(registry.OpenKeyReadOnly(u"Software\\QuillboxNoSuchKey"));
  EXPECT_EQ(registry.ReadString(u"Startup"), u"");
  ASSERT_TRUE(registry.OpenKeyReadOnly(u"Software\\QuillboxFrameworkTests"));
  EXPECT_EQ(registry.ReadString(u"Startup"), u"C:\\Start");
  EXPECT_EQ(registry.ReadString(u""), u"default");
  uint32_t value = 0;
  EXPECT_TRUE(registry.ReadInteger(u"Count", value));
  EXPECT_EQ(value, 42u);
  EXPECT_FALSE(registry.ReadInteger(u"Startup", value));  // wrong type
  std::u16string missing = u"kept";
  EXPECT_FALSE(registry.ReadString(u"Missing", missing));
  EXPECT_EQ(missing, u"kept");
  EXPECT_TRUE(registry.ValueExists(u"Count"));
  EXPECT_TRUE(registry.KeyExists(u"Child"));
  EXPECT_EQ(registry.GetKeyNames(), std::vector<std::u16string>{u"Child"});
  EXPECT_EQ(registry.GetValueNames().size(), 3u);
  registry.CloseKey();
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
}

TEST(ResourceStream, ReadsResourceBytesAndRefusesWriting) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  TResourceStream stream(instance, u"ProbeData", reinterpret_cast<const wchar_t*>(RT_RCDATA));
  ASSERT_EQ(stream.Size(), 10);
  char buffer[16] = {};
  stream.Seek(6, TSeekOrigin::soBeginning);
  EXPECT_EQ(stream.Read(buffer, 16), 4u);
  EXPECT_STREQ(buffer, "data");
  EXPECT_THROW(stream.Write("x", 1), EStreamError);
  EXPECT_TRUE(ResourceExists(instance, u"ProbeData", reinterpret_cast<const wchar_t*>(RT_RCDATA)));
  EXPECT_THROW(TResourceStream(instance, u"Missing", reinterpret_cast<const wchar_t*>(RT_RCDATA)), EStreamError);
}

}  // namespace
