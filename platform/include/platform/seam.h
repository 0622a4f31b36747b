#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace carvex::platform {

struct VolumeSpace {
  std::int64_t totalBytes = 0;
  std::int64_t freeBytes = 0;
};

// Where tests stand in for the operating system: they observe reads and writes, make one
// fail (throw RuntimeError), or answer for a volume or a path. The default answers nothing.
class Seam {
public:
  virtual ~Seam() = default;
  virtual void BeforeRead(const std::string& /*path*/, std::size_t /*size*/) {}
  // Before the length of a file is taken.
  virtual void BeforeLength(const std::string& /*path*/) {}
  virtual void BeforeWrite(const std::string& /*path*/, std::size_t /*size*/) {}
  // After a written file was closed: a deferred write error surfaces here.
  virtual void AfterClose(const std::string& /*path*/) {}
  virtual std::optional<VolumeSpace> Space(const std::string& /*path*/) { return std::nullopt; }
  virtual std::optional<bool> Exists(const std::string& /*path*/) { return std::nullopt; }
  virtual std::optional<std::string> FloppyDriveRoot() { return std::nullopt; }
};

inline Seam* gSeam = nullptr;

// Installs `seam` for the life of the object.
class ScopedSeam {
public:
  explicit ScopedSeam(Seam& seam) : previous_(gSeam) { gSeam = &seam; }
  ~ScopedSeam() { gSeam = previous_; }
  ScopedSeam(const ScopedSeam&) = delete;
  ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
  Seam* previous_;
};

}  // namespace carvex::platform
