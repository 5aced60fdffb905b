#pragma once

namespace postrider {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 2;

}  // namespace postrider
