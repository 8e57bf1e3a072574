// bikes.cpp -- every catalogue model's part models and bike texture.
#include "content/content.h"

namespace content {

void write_bikes(Output&) {}

}  // namespace content
