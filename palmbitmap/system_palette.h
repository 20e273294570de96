// The colours an indexed bitmap without a colour table is drawn in.
#pragma once

#include "palm_bitmap.h"

namespace palmbitmap {

// Greys from white (index 0) to black for 1, 2 and 4 bits; the Palm OS
// system palette for 8 bits.
Rgb defaultColor(int depth, unsigned index);

}  // namespace palmbitmap
