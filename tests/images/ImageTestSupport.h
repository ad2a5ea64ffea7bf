#pragma once
// Pixel patterns and comparisons shared by the image tests under Wine.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

// Every alpha from 0 to 255 and varied colours: a format that keeps alpha must give it back exactly.
inline std::vector<uint32_t> AlphaPattern(int AWidth, int AHeight) {
  std::vector<uint32_t> pixels;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) {
      const uint32_t i = static_cast<uint32_t>(y * AWidth + x);
      pixels.push_back(((i * 7) & 0xFF) << 24 | ((x * 13) & 0xFF) << 16 | ((y * 29) & 0xFF) << 8 | (i & 0xFF));
    }
  return pixels;
}

// Opaque gradients: lossy encoders keep them close.
inline std::vector<uint32_t> SmoothOpaquePattern(int AWidth, int AHeight) {
  std::vector<uint32_t> pixels;
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x)
      pixels.push_back(0xFF000000u | static_cast<uint32_t>(x * 255 / std::max(AWidth - 1, 1)) << 16 |
                       static_cast<uint32_t>(y * 255 / std::max(AHeight - 1, 1)) << 8 | 0x60);
  return pixels;
}

inline int LargestChannelDifference(const std::vector<uint32_t>& A, const std::vector<uint32_t>& B) {
  int worst = 0;
  for (size_t i = 0; i < std::min(A.size(), B.size()); ++i)
    for (int shift : {0, 8, 16})
      worst = std::max(worst,
                       std::abs(static_cast<int>((A[i] >> shift) & 0xFF) - static_cast<int>((B[i] >> shift) & 0xFF)));
  return worst;
}
