// Library-internal contract helpers.
#pragma once

#include "depman/contracts.hpp"

namespace depman {

// Adapts a host Engine::Function to the status callback: it receives the
// handle as a Box<int32_t> and the status as a Box<Status>.
class FNotify final : public Object {
 public:
  explicit FNotify(Engine::FunctionRef _f) : f(std::move(_f)) {}

  // Calls Invoke2(handle, status) on the function; its result is discarded.
  void Invoke(int32_t h, Status s) const;

 private:
  Engine::FunctionRef f;
};

}  // namespace depman
