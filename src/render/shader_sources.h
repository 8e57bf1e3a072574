// shader_sources.h -- the built-in program sources, by slot.
#pragma once

#include "render/render.h"

namespace render {

struct ProgramSource {
  const char* name;
  const char* vertex;
  const char* fragment;
};
extern const ProgramSource kProgramSources[kProgramSlots];

}  // namespace render
