// series.cpp -- points series (to come).
#include "race/race.h"

namespace race {

void read_series_list() {}

}  // namespace race
