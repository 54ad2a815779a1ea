// The alarm threshold lock, the classification of live readings and the lamp.
#include "app/form1.h"

namespace tessaro {

void Form1::Command6_Click() {}

void Form1::alarm_classify(int64_t) {}

void Form1::lamp_tick() {}

void Form1::show_alarm_panel_state() {}

} // namespace tessaro
