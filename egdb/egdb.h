#pragma once
// What the rest of the engine may call of the endgame databases.

#include "egdb/kpk.h"
#include "egdb/tb_probe.h"
