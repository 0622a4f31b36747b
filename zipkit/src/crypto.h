#pragma once

// The traditional PKWARE encryption ("ZipCrypto"): weak, but the one every zip reader opens.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace carvex::zipkit {

class ZipCrypto {
 public:
  // The password's bytes are taken as they are: UTF-8, as zip tools on UTF-8 systems take them.
  explicit ZipCrypto(std::string_view password);

  void Encrypt(char* data, std::size_t size);
  void Decrypt(char* data, std::size_t size);

 private:
  std::uint8_t KeyStreamByte() const {
    const std::uint32_t temp = (keys_[2] | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
  }
  void Update(std::uint8_t plain);

  std::uint32_t keys_[3];
};

}  // namespace carvex::zipkit
