#pragma once

// SHA-256 from the system's own cryptography: CNG on Windows, OpenSSL's libcrypto elsewhere.
// Both use the processor's SHA instructions where it has them, which a hash written here
// would not.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace carvex::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given since construction or the last Finish; the object then
  // starts again from nothing.
  Sha256Digest Finish();

private:
  struct State;
  std::unique_ptr<State> state_;
};

// 64 lower-case hexadecimal digits.
std::string ToHex(const Sha256Digest& digest);
// nullopt unless `text` is exactly 64 hexadecimal digits (either case).
std::optional<Sha256Digest> DigestFromHex(std::string_view text);

}  // namespace carvex::platform
