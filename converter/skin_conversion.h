// Turns the open skin file into an Orvane skin where it lies.
#pragma once

namespace recast {

// Works on skinFile and skinPath; returns only when every directory entry has
// been handled, and fails through fatalError otherwise.
void convertSkinInPlace();

// The run after the file is named: the path taken into skinPath, the file
// opened, converted and closed, and the success shown. Returns 0; every
// failure ends through fatalError.
int convertSkinFile(const char* path);

}  // namespace recast
