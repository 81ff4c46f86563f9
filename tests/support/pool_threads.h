// Two threads of a pool of their own, for the deflate's helped runs in the tests and the fuzz
// target (the program borrows them from the shared pool instead).
#pragma once

#include <cstddef>
#include <functional>

#include "formats/deflate/deflate_level9.h"
#include "scene/worker_pool.h"

class PoolThreads final : public TwoThreads {
 public:
  void RunBoth(const std::function<void()>& first, const std::function<void()>& second) override {
    pool_.Run(2, [&](size_t task) { task == 0 ? first() : second(); });
  }

 private:
  WorkerPool pool_{2};
};
