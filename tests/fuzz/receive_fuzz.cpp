// Fuzz target: arbitrary bytes as one received datagram, through the length guards, the
// routing and every handler, with the simulator not connected (variable changes stop at
// ChangeVar's first test). Console output goes to stdout (run with -close_fd_mask=1).
#include "fuzz_support.h"
#include "net/receive.h"
#include "sim/changevar.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSetUp();
    SetVarChangeHandler(VarChangeHandler{ChangeVar, ChangeVar});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReceiveDatagram(data, size);
    return 0;
}
