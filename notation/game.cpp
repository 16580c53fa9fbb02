#include "notation/game.h"

GameRecord gameRecord;
