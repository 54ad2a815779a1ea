// The rules of one request/reply exchange with the meter: one request on the wire at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace tessaro {

// The protocol has no framing: a reply is known only by the request it follows. So a request
// never goes out while the reply to an earlier one can still arrive, and bytes of an exchange
// that was given up are dropped until that reply can no longer arrive.
class MeterExchange {
public:
    using Clock = std::chrono::steady_clock;

    // Taking the bytes of one receive event.
    struct Take {
        bool more_due = false; // more of the reply is still on its way
        bool dropped = false;  // the bytes belong to an exchange that was given up
    };

    // The line is free for a request: no reply is due, or its time is over.
    bool lineFree(Clock::time_point now) const;
    // When the line becomes free (meaningful while it is not).
    Clock::time_point freeAt() const { return until_; }

    // The request for this address went out now: its reply is due until the reply time-out.
    void sent(uint16_t address, Clock::time_point now);
    // Counts the bytes of a receive event against the reply due.
    Take take(int64_t bytes, Clock::time_point now);

    // The request whose reply is still due, while it is.
    std::optional<uint16_t> dueAddress(Clock::time_point now) const;

    // The exchange is abandoned (watchdog, port closed): what still arrives of its reply until
    // the time-out is dropped, and no request goes out before then.
    void giveUp();
    // The reply on the wire was shifted by stray bytes: its length no longer says where it ends.
    // Everything taken until `quiet` is dropped and the line stays held until then.
    void holdUntil(Clock::time_point quiet);
    // Bytes of the reply due not taken yet.
    int dueBytes() const { return due_bytes_; }

    // Nothing on the wire any more (port opened or closed); a held request stays held.
    void forget();
    // Nothing on the wire and nothing held (a fresh start).
    void reset();

    // A request held back until the line is free; a later one replaces it.
    std::optional<uint16_t> pending;

private:
    int due_bytes_ = 0;
    std::optional<uint16_t> address_;
    Clock::time_point until_{};
    bool abandoned_ = false;
    bool unframed_ = false;
};

// How long a reply of this many bytes may take after its request has left: its wire time and the
// request's, and the time a meter may take to answer (1.5 s).
std::chrono::microseconds reply_time(int bytes);
// The quiet a shifted reply of this many bytes still needs on the line.
std::chrono::microseconds quiet_time(int bytes);

} // namespace tessaro
