// Compiled as the hotkey layer is: the same kind of include, downwards,
// builds, so the failure of upward_include.cpp is the layering's doing.
#include "x11/connection.h"
