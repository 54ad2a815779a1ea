// Save: the text report or the chart bitmap through the save dialog.
#include "app/form1.h"

namespace tessaro {

void Form1::Command1_Click() {}

} // namespace tessaro
