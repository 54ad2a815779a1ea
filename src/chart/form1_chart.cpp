// Drawing the chart into Picture1 and the snapshot file.
#include "app/form1.h"

namespace tessaro {

void Form1::draw_chart() {}

} // namespace tessaro
