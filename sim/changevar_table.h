// The cockpit-input table that ChangeVar applies: one row per known index (or run of
// indices), with the events the row may send and where a relative setting reads the
// simulator's current value. Readable from outside so that checks can hold every event
// sent to the row it came from.
#pragma once

#include <cstdint>

#include "net/blocks.h"
#include "sim/simconnect_api.h"

struct InputRow;

// A pair from the network: the index, and its value in the form's type.
struct InputValue {
    int32_t Index;
    int32_t V; // integer form
    double X;  // double form
};

// What a row makes of a value: true when something is to be sent, false when nothing is (a
// state the simulator already has, a code without an event). The event comes in as the row's
// first one and the data as 0; an action changes what differs.
using InputAction = bool (*)(const InputRow& row, const InputValue& in, SC_DWORD* event,
                             int32_t* data);

enum InputForm : uint8_t { FORM_INT, FORM_DOUBLE };

// One cockpit input: the index (or a run of indices that send consecutive events), the form
// that accepts it, what it does with the value, its events, and where a relative setting
// reads the simulator's current value.
struct InputRow {
    int32_t First;
    int32_t Last;
    InputForm Form;
    InputAction Action;
    SC_DWORD Events[4];
    int32_t Data[4] = {};          // coded rows: the data of each code's event
    const Block* Source = nullptr; // relative rows: the current value's block and byte position
    uint32_t Offset = 0;
};

// The row of `index` in the form's part of the table; null when the form does not know it.
const InputRow* InputRowFor(InputForm form, int32_t index);
