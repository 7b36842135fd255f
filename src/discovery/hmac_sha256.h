#pragma once
// SHA-256 (FIPS 180-4) and HMAC-SHA256 (RFC 2104), for signing updates to
// the site's DNS server with a shared key. Small and slow enough for a few
// messages a minute; no library of the system's is needed.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vello::dns {

class Sha256 {
 public:
  static constexpr std::size_t kDigestBytes = 32;
  static constexpr std::size_t kBlockBytes = 64;
  using Digest = std::array<std::uint8_t, kDigestBytes>;

  Sha256();
  void Update(std::string_view bytes);
  Digest Final();  // the object is spent afterwards

 private:
  void Block(const std::uint8_t* p);
  std::array<std::uint32_t, 8> h_;
  std::array<std::uint8_t, kBlockBytes> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes so far
};

Sha256::Digest Sha256Of(std::string_view bytes);
Sha256::Digest HmacSha256(std::string_view key, std::string_view message);

// The digest as bytes in a string.
std::string DigestBytes(const Sha256::Digest& d);

}  // namespace vello::dns
