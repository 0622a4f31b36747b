#pragma once

namespace carvex::ui {

// While a backend copies the model into its windows, the notifications the windows send back
// are not user input and must not reach the model again.
class SyncScope {
 public:
  SyncScope() { ++depth_; }
  ~SyncScope() { --depth_; }
  SyncScope(const SyncScope&) = delete;
  SyncScope& operator=(const SyncScope&) = delete;
  static bool Active() { return depth_ > 0; }

 private:
  static inline int depth_ = 0;
};

}  // namespace carvex::ui
