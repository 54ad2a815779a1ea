// Pause and start of live acquisition on Command5 and the menu.
#include "app/form1.h"

namespace tessaro {

void Form1::Command5_Click() {}

void Form1::button_pause() {}

void Form1::menu_pause() {}

void Form1::button_start() {}

void Form1::menu_start() {}

} // namespace tessaro
