// Live acquisition: the live poll, the live frame handler and the statistics labels.
#include "app/form1.h"

namespace tessaro {

void Form1::Timer2_Timer() {}

void Form1::live_frame() {}

void Form1::redraw_stat_labels() {}

void Form1::reset_live_average() {}

void Form1::reset_extremes() {}

void Form1::view_restart_extremes() {}

} // namespace tessaro
