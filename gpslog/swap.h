#pragma once
// The latitude/longitude swap, for a log whose columns were read the wrong way round.

#include "road/mainview.h"

// Exchanges latitude and longitude in every row (records and list texts, ghosted rows too),
// recomputes the invalid-data indicator over all rows, and enables cmdStart only for a valid,
// unfinished list. Names, altitudes and statuses are untouched; two swaps restore everything.
// Does nothing on an empty list.
void swapLatLon(RoadContext& ctx);
