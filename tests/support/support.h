// Test support: paths known at build time.
#ifndef TRAWLER_TESTS_SUPPORT_SUPPORT_H_
#define TRAWLER_TESTS_SUPPORT_SUPPORT_H_

namespace trawler::test {

inline constexpr const char* kSourceDir = TRAWLER_SOURCE_DIR;
inline constexpr const char* kBinaryDir = TRAWLER_BINARY_DIR;
inline constexpr const char* kPython = TRAWLER_PYTHON;

}  // namespace trawler::test

#endif  // TRAWLER_TESTS_SUPPORT_SUPPORT_H_
