// The port number chosen in the port box, and the 2-byte port file that remembers it.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tessaro {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 16;

// The port box's text read as a number, when it is a whole number from 1 to 16
// ("1 " and "3.0" count; "", "abc", "0", "17", "2.5" do not).
std::optional<int> port_number(const QString& text);

// The port number held in the first two bytes of the file (little-endian, signed);
// nullopt when the file is missing, unreadable, shorter than 2 bytes or holds no port 1..16.
std::optional<int16_t> read_port_file(const QString& path);

// Writes value into the first two bytes of the file in place: the file and its folder are created
// when missing, a longer file keeps its tail, and a symlink stays a symlink (the file behind it is
// written). False on any failure; nothing is reported.
bool write_port_file(const QString& path, int16_t value);

} // namespace tessaro
