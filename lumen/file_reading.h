// Why a file was not read, in the words of Lumen's messages.
#pragma once

#include <string>

#include "file_access.h"

namespace lumen {

// What a database's file holds at most, for the limit of readFailure.
inline constexpr const char* kDatabaseLimit = "4 GB, the most a database can hold";

// "cannot open the file", "not a regular file ..."; limit says what a file
// too large passed, as "16 MB, the limit for a manifest".
std::string readFailure(prc::FileReadStatus status, const std::string& limit);

}  // namespace lumen
