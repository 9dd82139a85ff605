// Shared between the files of the POSIX backend only.
#pragma once
#include "platform/platform.h"

void PosixFilesReset(PlatformOs& os);
void PosixNetReset(PlatformOs& os);
