// Empty and Restore of the record store.
#include "app/form1.h"

namespace tessaro {

void Form1::Command2_Click() {}

void Form1::Command7_Click() {}

} // namespace tessaro
