#pragma once
// Packets on disk for the multicast DNS tests (tests/data/mdns): those
// python3-zeroconf sent, and ours as zeroconf read them. make_fixtures.py
// there says how they were made.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace vello::mdns::testing {

inline std::string FixturePath(const std::string& file) { return std::string(VELLO_TEST_DATA) + "/mdns/" + file; }

inline std::string ReadFixture(const std::string& file) {
  std::ifstream in(FixturePath(file), std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing fixture " << FixturePath(file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

// 192.0.2.1 style, host order.
constexpr std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return (a << 24) | (b << 16) | (c << 8) | d; }

}  // namespace vello::mdns::testing
