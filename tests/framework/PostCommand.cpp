// The menu tests' second process: posts WM_COMMAND with an id to a window of the test process.
//   post_command <window, hexadecimal> <command id, decimal>
#include <windows.h>

#include <cstdint>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  auto window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[1], nullptr, 16)));
  const auto command = static_cast<WPARAM>(std::strtoul(argv[2], nullptr, 10));
  return PostMessageW(window, WM_COMMAND, command, 0) ? 0 : 1;
}
