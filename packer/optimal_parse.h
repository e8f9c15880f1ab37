// The near-optimal parse of --best: a shortest-path search over the items of each block, priced
// with the adaptive model's weights blended with the counts of a plain parse that runs ahead.
#pragma once

#include "packer/item_writer.h"
#include "packer/match_finder.h"

void ParseOptimal(InputWindow& window, ItemWriter& out);
