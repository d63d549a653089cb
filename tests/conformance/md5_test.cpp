#include <gtest/gtest.h>

#include <string>

#include "tools/decode/md5.h"

namespace mivora {
namespace {

std::string Digest(const std::string& s, std::size_t piece) {
  Md5 md5;
  for (std::size_t i = 0; i < s.size(); i += piece)
    md5.Update(reinterpret_cast<const std::uint8_t*>(s.data()) + i, std::min(piece, s.size() - i));
  return md5.HexDigest();
}

// The test suite of RFC 1321, fed whole and in odd pieces that straddle the 64-byte blocks.
TEST(Md5, ReferenceDigests) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [text, digest] : cases)
    for (std::size_t piece : {std::size_t{1000}, std::size_t{1}, std::size_t{7}, std::size_t{63}})
      EXPECT_EQ(digest, Digest(text, piece)) << text << " in pieces of " << piece;
}

}  // namespace
}  // namespace mivora
