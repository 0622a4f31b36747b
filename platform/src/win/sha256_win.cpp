#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/sha256.h"

namespace carvex::platform {

namespace {

void Check(NTSTATUS status, const char* step) {
  if (status < 0) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(status));
    throw RuntimeError(status, std::string("The SHA-256 hash could not be computed (") + step + ", status 0x" +
                                   code + ").");
  }
}

// Opening a provider is the costly step; one serves every hash of the process, from any thread.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    Check(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0), "open");
    return handle;
  }();
  return provider;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  // Reusable: Finish leaves the object ready for the next digest without a new handle.
  Check(BCryptCreateHash(Provider(), &state_->hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG), "create");
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;

void Sha256::Update(const void* data, std::size_t size) {
  // CNG takes at most 4 GiB - 1 bytes a call.
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ULONG part = static_cast<ULONG>(size < 0x40000000u ? size : 0x40000000u);
    Check(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), part, 0), "update");
    bytes += part;
    size -= part;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  Check(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "final");
  return digest;
}

}  // namespace carvex::platform
