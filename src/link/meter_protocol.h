// The meter's request/reply protocol: addresses, request bytes, reply lengths and reply decoding.
#pragma once

#include <QByteArray>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace tessaro {

// Meter addresses the program asks for.
inline constexpr uint16_t kPortCheckAddress = 6000;
inline constexpr uint16_t kCountAddress = 5000;
inline constexpr uint16_t kLiveAddress = 7000;
inline constexpr uint16_t kFirstPairAddress = 257; // record pair k is at 257 + 2k

// What a meter answers to the port check (0x19 0x64).
inline constexpr int kPortCheckAnswer = 6500;
// Larger record counts are refused.
inline constexpr int kMaxMeterCount = 4600;

// Reply sizes in bytes: a two-byte reply (port check, count), a live frame, one record frame.
inline constexpr int kWordReplyBytes = 2;
inline constexpr int kLiveFrameBytes = 3;
inline constexpr int kRecordFrameBytes = 8;
inline constexpr int kRequestBytes = 4;
// A byte of a record frame that marks an empty memory slot (in bytes 3..7).
inline constexpr uint8_t kEmptySlotByte = 0xFF;

// The line: 4800 baud, a byte is a start bit, 8 data bits and a stop bit.
inline constexpr int kBaud = 4800;
inline constexpr int kBitsPerByte = 10;

enum class AddressKind { PortCheck, Count, Live, RecordPair, Other };

AddressKind address_kind(uint16_t address);

// The four bytes of a request on the wire: 00, high byte, 00, low byte.
QByteArray encode_request(uint16_t address);

// Bytes the meter sends for a request: both frames of a record pair count as one reply;
// 0 for an address the meter does not answer.
int reply_length(uint16_t address);

// The time a number of bytes takes on the line, rounded up to whole microseconds.
std::chrono::microseconds wire_time(int bytes);

// b0 * 256 + b1 of a two-byte reply; nothing when a byte is missing.
std::optional<int> decode_word(const QByteArray& reply);

// True when the reply is the port-check answer 6500; a short reply fails the check.
bool is_port_check_answer(const QByteArray& reply);

// The record count of a count reply when the meter may hold that many (0..4600); nothing for a
// short reply or a count above the limit.
std::optional<int> decode_count(const QByteArray& reply);

// The address of record pair k, and the store slot of a record frame of the pair at address.
constexpr int pair_address(int k) { return kFirstPairAddress + 2 * k; }
constexpr int slot_of(int pair_address, int half) { return pair_address - kFirstPairAddress + half; }

// One stored record as the meter sends it.
struct RecordFrame {
    bool mark = false;          // bit 7 of b0
    int count = 0;              // (b0 & 0x7F) * 256 + b1
    uint8_t range = 0;          // b2
    std::array<uint8_t, 5> time{}; // year, month, day, hour, minute
};

// True when any of bytes 3..7 of a whole frame is 0xFF: the meter holds no record there.
bool is_empty_slot(const QByteArray& frame);

// The record in a whole, non-empty frame; nothing for a short frame or an empty slot.
std::optional<RecordFrame> decode_record_frame(const QByteArray& frame);

} // namespace tessaro
