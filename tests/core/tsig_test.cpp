// SHA-256 and HMAC-SHA256 against their published test vectors, and an
// update signed with TSIG against the MAC dnspython computes for the same
// message, key and time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/dns_update.h"
#include "discovery/hmac_sha256.h"
#include "discovery/tsig.h"

using namespace vello::dns;
using namespace std::string_literals;

namespace {

std::string Hex(const Sha256::Digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : d) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

TEST(Sha256, PublishedVectors) {
  struct Case {
    std::string input, digest;
  };
  const std::vector<Case> cases = {
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: the length needs a second block
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(Sha256Of(c.input)), c.digest) << c.input.size();

  // Fed in pieces that straddle the blocks, the same digest.
  Sha256 pieces;
  const std::string text = cases[2].input + cases[2].input;
  for (std::size_t at = 0; at < text.size(); at += 7) pieces.Update(text.substr(at, 7));
  EXPECT_EQ(Hex(pieces.Final()), Hex(Sha256Of(text)));
}

TEST(HmacSha256, Rfc4231Vectors) {
  struct Case {
    std::string key, data, mac;
  };
  const std::string bigKey(131, '\xAA');
  const std::vector<Case> cases = {
      {std::string(20, '\x0B'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {bigKey, "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {bigKey,
       "This is a test using a larger than block-size key and a larger than block-size data. The key needs to be "
       "hashed before being used by the HMAC algorithm.",
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(HmacSha256(c.key, c.data)), c.mac) << c.data;
}

TEST(Tsig, SignedUpdateMatchesDnspython) {
  Registration r;
  r.zone = Name::FromDotted("ex.org");
  r.instanceLabel = "al";
  r.host = Name::FromDotted("al-vello.ex.org");
  r.address = 0x0A000005;
  r.port = 5963;
  r.version = "1.5";
  const std::string unsigned_ = BuildRegister(0x0102, r);
  std::string secret;
  for (int i = 0; i < 32; ++i) secret += static_cast<char>(i);
  const TsigSigned s = SignTsig(unsigned_, TsigKey{Name::FromDotted("Vello-Key"), secret}, 1700000000, 300);

  // dnspython 2.3: dns.tsig.sign(<the unsigned bytes>, Key('vello-key.',
  // bytes(range(32)), 'hmac-sha256'), TSIG(..., time_signed=1700000000,
  // fudge=300, original_id=0x0102), 1700000000).mac
  const std::string mac = Unhex("2647beac3f411420e0ca455dc79e96be03c8c7e1a0b9a1408d07c8aa4fbf50eb");
  EXPECT_EQ(s.mac, mac);
  std::string expected = unsigned_;
  expected[11] = 1;  // one additional record
  expected += "\x09vello-key\x00" "\x00\xFA\x00\xFF\x00\x00\x00\x00\x00\x3D"s  // key name (lower case), TSIG, ANY, TTL 0
              "\x0Bhmac-sha256\x00" "\x00\x00\x65\x53\xF1\x00" "\x01\x2C" "\x00\x20"s +  // time, fudge, MAC size
              mac + "\x01\x02\x00\x00\x00\x00"s;  // original id, no error, no other data
  EXPECT_EQ(s.message, expected);
}
