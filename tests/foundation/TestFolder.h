// A scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

class TTestFolder {
 public:
  TTestFolder() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    do {
      FPath = base / ("qbtest-" + std::to_string(rd()) + std::to_string(rd()));
    } while (!std::filesystem::create_directory(FPath));
  }
  ~TTestFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;

  std::u16string Path(const std::u16string& AName) const { return (FPath / AName).u16string(); }

 private:
  std::filesystem::path FPath;
};
