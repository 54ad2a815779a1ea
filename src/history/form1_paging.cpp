// The history table on screen: formatting a slot, showing a page, Up, Down and Go to.
#include "app/form1.h"

namespace tessaro {

void Form1::format_record(int16_t, int16_t) {}

void Form1::show_page(int16_t) {}

void Form1::write_page_status(int) {}

void Form1::Command3_Click() {}

void Form1::Command4_Click() {}

void Form1::Command8_Click() {}

} // namespace tessaro
