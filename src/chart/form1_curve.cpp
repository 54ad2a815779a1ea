// The curve view command, drags on the chart and the cursor readout.
#include "app/form1.h"

namespace tessaro {

void Form1::Command15_Click() {}

void Form1::Picture1_MouseDown(QPoint) {}

void Form1::Picture1_Click(QPoint) {}

void Form1::cursor_readout() {}

} // namespace tessaro
