// Variables of the meter link: link state, receive bookkeeping and the history download.
#pragma once

#include "link/meter_exchange.h"
#include "platform/file_watch.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace tessaro {

struct LinkVars {
    uint8_t link_ticks = 0;   // link ticks since the watchdog last looked
    QByteArray rx_bytes;      // the block taken at the latest receive event
    int16_t link_state = 0;   // 1 = an exchange under way, 2 = idle
    int16_t link_phase = 0;   // 1 record frame, 2 two-byte reply, 3 live frame
    uint8_t rx_seen = 0;      // 16 at every receive event, cleared by the watchdog
    int16_t meter_count = 0;  // records stored in the meter
    int32_t rec_addr = 0;     // meter address of the record pair being requested
    uint8_t pair_half = 0;    // which record of the pair the next frame carries
    uint8_t pair_retries = 0; // times the current pair was asked for again over an implausible frame
    uint8_t count_refusals = 0; // count replies refused in a row
    bool count_again = false;   // a refused count is asked for again on the next link tick
    uint8_t dl_session = 0;   // 1 started (may resume), 0 none, 3 set by the view commands
    // A counted download has not reached its end: a good port check resumes it.
    bool dl_unfinished = false;

    MeterExchange exchange; // one request on the wire at a time, and the request held back
    QElapsedTimer check_sent;  // since the last port check went out
    bool held_for_sort = false;               // record frames wait in the port while a sort runs
    bool dl_box_open = false;                 // "No Data" is open: the exchange must not be given up

    // The download's record count line: redrawn at most once a display frame, the latest one
    // shown a frame later at most, unless something else wrote the line in between.
    QString dl_line;             // the line for the latest record stored
    QString dl_line_under;       // what the line showed when dl_line was held back
    bool dl_line_held = false;
    QElapsedTimer dl_line_shown; // since the line was last written

    // Port choice: the last whole number 1..16 seen in the port box, and what the port file holds.
    std::optional<int> last_port;
    std::optional<int> port_file_value;
    QString port_box_text;              // the port box's text as last parsed, and its number
    std::optional<int> port_box_value;
    QString port_file_path; // found on the first tick that needs it
    QStringList refusals_told; // devices the operator was told they may not open (once each)
    FileWatch port_file_watch;
    int port_file_quiet_ticks = 0;
};

} // namespace tessaro
