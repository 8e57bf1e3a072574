// fonts.cpp -- the text font and the two digit fonts, rendered with FreeType.
#include "content/content.h"

namespace content {

void write_fonts(Output&) {}

}  // namespace content
