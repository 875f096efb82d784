// Must not compile: the engine reaches the core below it, never the record sets above it.
#include "core/Money.h"
#include "engine/Backend.h"

#include "data/DataSet.h"
