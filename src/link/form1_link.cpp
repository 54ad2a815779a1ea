// Requests, the receive handler, the port check, the link tick and the port supervisor.
#include "app/form1.h"

namespace tessaro {

void Form1::send_address(uint16_t) {}

void Form1::MSComm1_OnComm() {}

void Form1::port_check_reply() {}

void Form1::Timer1_Timer() {}

void Form1::Timer3_Timer() {}

void Form1::select_saved_port() {}

} // namespace tessaro
