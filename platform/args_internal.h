// Shared by the backends' argument code only.
#pragma once
#include "platform/platform.h"

// Makes `vector` (count entries, narrow texts; a null entry reads as absent) the process's
// argument vector. The backend keeps ownership.
void PlatformArgsSet(int count, char** vector);
