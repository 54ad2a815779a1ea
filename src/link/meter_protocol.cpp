// The meter's request/reply protocol: request bytes, reply lengths and reply decoding.
#include "meter_protocol.h"

namespace tessaro {

namespace {
uint8_t byte_at(const QByteArray& bytes, int i) { return static_cast<uint8_t>(bytes.at(i)); }
} // namespace

AddressKind address_kind(uint16_t address) {
    switch (address) {
    case kPortCheckAddress: return AddressKind::PortCheck;
    case kCountAddress: return AddressKind::Count;
    case kLiveAddress: return AddressKind::Live;
    default: break;
    }
    return address >= kFirstPairAddress && (address - kFirstPairAddress) % 2 == 0 ? AddressKind::RecordPair
                                                                                  : AddressKind::Other;
}

QByteArray encode_request(uint16_t address) {
    const char request[kRequestBytes] = {0, static_cast<char>(address >> 8), 0,
                                         static_cast<char>(address & 0xFF)};
    return QByteArray(request, kRequestBytes);
}

int reply_length(uint16_t address) {
    switch (address_kind(address)) {
    case AddressKind::PortCheck:
    case AddressKind::Count: return kWordReplyBytes;
    case AddressKind::Live: return kLiveFrameBytes;
    case AddressKind::RecordPair: return 2 * kRecordFrameBytes;
    case AddressKind::Other: break;
    }
    return 0;
}

std::chrono::microseconds wire_time(int bytes) {
    const int64_t bits_us = static_cast<int64_t>(bytes) * kBitsPerByte * 1'000'000;
    return std::chrono::microseconds((bits_us + kBaud - 1) / kBaud);
}

std::optional<int> decode_word(const QByteArray& reply) {
    if (reply.size() < 2) return std::nullopt;
    return byte_at(reply, 0) * 256 + byte_at(reply, 1);
}

bool is_port_check_answer(const QByteArray& reply) { return decode_word(reply) == kPortCheckAnswer; }

std::optional<int> decode_count(const QByteArray& reply) {
    const std::optional<int> v = decode_word(reply);
    if (!v || *v > kMaxMeterCount) return std::nullopt;
    return v;
}

bool is_empty_slot(const QByteArray& frame) {
    if (frame.size() < kRecordFrameBytes) return false;
    for (int k = 3; k < kRecordFrameBytes; ++k)
        if (byte_at(frame, k) == kEmptySlotByte) return true;
    return false;
}

std::optional<RecordFrame> decode_record_frame(const QByteArray& frame) {
    if (frame.size() < kRecordFrameBytes || is_empty_slot(frame)) return std::nullopt;
    RecordFrame r;
    r.mark = (byte_at(frame, 0) & 0x80) != 0;
    r.count = (byte_at(frame, 0) & 0x7F) * 256 + byte_at(frame, 1);
    r.range = byte_at(frame, 2);
    for (int k = 0; k < 5; ++k) r.time[static_cast<size_t>(k)] = byte_at(frame, 3 + k);
    return r;
}

} // namespace tessaro
