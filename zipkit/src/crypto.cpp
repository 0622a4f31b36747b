#include "crypto.h"

#include <zlib.h>

namespace carvex::zipkit {

namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* table = ::get_crc_table();
  return table;
}

std::uint32_t CrcStep(std::uint32_t crc, std::uint8_t byte) {
  return CrcTable()[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(std::string_view password) : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
  for (char c : password) Update(static_cast<std::uint8_t>(c));
}

void ZipCrypto::Update(std::uint8_t plain) {
  keys_[0] = CrcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = CrcStep(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
}

void ZipCrypto::Encrypt(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto plain = static_cast<std::uint8_t>(data[i]);
    data[i] = static_cast<char>(plain ^ KeyStreamByte());
    Update(plain);
  }
}

void ZipCrypto::Decrypt(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto plain = static_cast<std::uint8_t>(static_cast<std::uint8_t>(data[i]) ^ KeyStreamByte());
    data[i] = static_cast<char>(plain);
    Update(plain);
  }
}

}  // namespace carvex::zipkit
