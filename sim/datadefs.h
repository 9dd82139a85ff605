// Declaring the data definitions on a new connection (the list is sim/datadefs_table.h).
#pragma once

// Declares all 134 datums of definitions 5, 4, 2, 1 and 0, in that order, on the current
// connection. Each failure is reported and passed over.
void AddDataDefs();
