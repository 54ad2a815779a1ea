// Print: the print options window, the reload of the main window and the printed sheets.
#include "app/form1.h"

namespace tessaro {

void Form1::Command16_Click() {}

} // namespace tessaro
