// riders.cpp -- the shared wheels, rider body and head, plates and the roster's textures.
#include "content/content.h"

namespace content {

void write_riders(Output&) {}

}  // namespace content
