// The history download: Read, the count reply and the record frames.
#include "app/form1.h"

namespace tessaro {

void Form1::read_click() {}

void Form1::count_reply() {}

void Form1::record_frame() {}

} // namespace tessaro
