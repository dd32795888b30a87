#pragma once
// Resource ids of every window; each family keeps its own header.
#include "ids_common.h"
#include "ids_options.h"
#include "ids_history.h"
#include "ids_main.h"
