// Ascend and Descend: the sort of the records by current with its progress display.
#include "app/form1.h"

namespace tessaro {

void Form1::Command12_Click() {}

void Form1::Command13_Click() {}

void Form1::pai_ji(int32_t&, uint8_t&) {}

} // namespace tessaro
