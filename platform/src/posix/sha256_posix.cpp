#include <openssl/evp.h>

#include "platform/error.h"
#include "platform/sha256.h"

namespace carvex::platform {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  ~State() { EVP_MD_CTX_free(context); }
};

namespace {

// Failures here mean a broken library or no memory; they are reported, never hashed past.
void Check(int ok, const char* step) {
  if (ok != 1) throw RuntimeError(0, std::string("The SHA-256 hash could not be computed (") + step + ").");
}

}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (!state_->context) throw RuntimeError(0, "The SHA-256 hash could not be started: out of memory.");
  Check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr), "init");
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&& other) noexcept = default;
Sha256& Sha256::operator=(Sha256&& other) noexcept = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (size > 0) Check(EVP_DigestUpdate(state_->context, data, size), "update");
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  Check(EVP_DigestFinal_ex(state_->context, digest.data(), &length), "final");
  Check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr), "init");
  return digest;
}

}  // namespace carvex::platform
