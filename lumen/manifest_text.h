// skin.toml as Lumen export writes it: every setting spelled out, in the
// words the reader (skin_manifest.h) takes back.
#pragma once

#include <string>

#include "skin_manifest.h"

namespace lumen {

// The manifest's text for a database: resources in order, their members with
// every setting spelled out.
std::string manifestText(const Manifest& manifest);

}  // namespace lumen
