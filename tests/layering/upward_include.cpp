// Compiled as the hotkey layer is: a lower folder including a higher one's
// header must not build. (Layers.AnUpwardIncludeDoesNotCompile)
#include "driver/dispatch.h"
