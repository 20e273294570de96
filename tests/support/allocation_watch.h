// Counts what the program holds through operator new, so that tests can state
// a memory bound. Linking this replaces the global operator new and delete.
#pragma once

#include <cstddef>

namespace testsupport {

// Watches from its construction on: the most held at once beyond what was held
// then, and what is still held beyond it.
class AllocationWatch {
  public:
    AllocationWatch();
    std::size_t peak() const;
    std::size_t stillHeld() const;

  private:
    std::size_t before_;
};

}  // namespace testsupport
