// What the meter simulator plays: its records, its live reading, its timing and its faults.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

class QCommandLineOption;
class QCommandLineParser;

namespace tessaro {

enum class LiveWave { Constant, Sine, Ramp, RandomWalk };

struct MeterSimOptions {
    QString link; // symlink to create, pointing at the pseudo-terminal's slave side

    // Memory: each held record is its 8 bytes as the meter sends them.
    QList<QByteArray> records;
    std::optional<int> reportedCount; // the count answered to 5000; default: records held

    // Live reading (7000).
    LiveWave wave = LiveWave::Constant;
    int liveCount = 1234;    // the constant, or the centre of the waveform
    int liveAmplitude = 300; // in counts
    std::chrono::milliseconds livePeriod{10000};
    quint8 liveRange = 0x41;
    bool overload = false; // every live frame carries count 4000
    bool lowBattery = false;

    // Timing.
    std::chrono::milliseconds latencyMin{0};
    std::chrono::milliseconds latencyMax{0};
    bool pacing = true; // 4800 baud, 10 bits a byte, in both directions

    // Faults.
    std::optional<int> silentAfter;                     // requests answered before silence
    std::optional<std::chrono::milliseconds> silentAt;  // moment silence starts, from start
    std::optional<int> silentOn;                        // silence starts at the first request for it
    std::optional<std::chrono::milliseconds> silentFor; // unset: silent until stopped
    int badChecks = 0;                                  // first port checks answered 0x19 0x65
    bool split = false;                                 // each reply byte in its own write
    std::chrono::milliseconds splitGap{5};
    int mergeEvery = 0;                // every n-th reply is held and sent with the next one
    double garbageRate = 0.0;          // chance per reply of random bytes after it
    int countOver = 0;                 // first count requests answered 4601
    double ffRate = 0.0;               // chance per record frame of one 0xFF byte at a random place
    std::optional<int> disappearAfter; // requests answered before the device goes
    std::optional<std::chrono::milliseconds> disappearAt;
    std::optional<std::chrono::milliseconds> disappearFor; // unset: stays gone

    std::optional<std::chrono::milliseconds> appearAt; // the link is made this long after start
    bool babble = false; // random bytes at full speed, without end, besides the answers

    quint32 seed = 1; // generated records and random faults repeat for the same seed
    bool log = false; // each request served, on stderr
};

// The largest number of records the pair addresses can reach (257 + 2k up to 65535).
inline constexpr int kMaxHeldRecords = 65280;

// Records with dates and times that increase, cycling through every range code,
// some marked and some in the overload band 3701..4799.
QList<QByteArray> generateRecords(int n, quint32 seed);

// Reads a records file: one record a line as 16 hex digits (blanks between them allowed),
// '#' starts a comment. On a bad line returns false with a message naming the line.
bool loadRecordsFile(const QString& path, QList<QByteArray>& records, QString& error);

// Every command-line option of the simulator, and declaring them all on a parser.
QList<QCommandLineOption> meterSimOptions();
void addMeterSimOptions(QCommandLineParser& parser);
// Reads the parsed options into options; false with a message for a bad value.
bool readMeterSimOptions(const QCommandLineParser& parser, MeterSimOptions& options, QString& error);

} // namespace tessaro
