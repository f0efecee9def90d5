#include "state/plugin_state.h"

int32_t ScreenWidth = 0;
int32_t LastCount = -1;
