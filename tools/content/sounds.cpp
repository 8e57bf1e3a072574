// sounds.cpp -- the engine sounds: a description, a sound table and samples per class.
#include "content/content.h"

namespace content {

void write_sounds(Output&) {}

}  // namespace content
