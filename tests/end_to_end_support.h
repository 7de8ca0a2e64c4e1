// Everything the tests of the built program use: running it, real folders, expected listings.
#pragma once

#include "support/expected_listing.h"
#include "support/folders.h"
#include "support/program.h"
