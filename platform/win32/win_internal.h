// Shared between the files of the Win32 backend only.
#pragma once
#include "platform/platform.h"

void WinFilesReset(PlatformOs& os);
void WinNetReset(PlatformOs& os);
