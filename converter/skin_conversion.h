// Turns the open skin file into an Orvane skin where it lies.
#pragma once

namespace recast {

// Works on skinFile and skinPath; returns only when every directory entry has
// been handled, and fails through fatalError otherwise.
void convertSkinInPlace();

}  // namespace recast
