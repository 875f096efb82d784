// Must not compile: the data layer reaches the engine below it, never the windowing stand-ins.
#include "data/DataSet.h"
#include "engine/Backend.h"

#include "platform/Application.h"
