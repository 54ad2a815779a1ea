// The record formatter: one slot of the record store as one line of text.
#pragma once

#include "record_store.h"

#include <QString>

#include <cstdint>

class QLocale;

namespace tessaro {

// The shown value V of a reading of `count` counts in range code `range`; the unit U goes
// to *unit when given. An unknown range code gives empty V and U.
QString value_text(int count, uint8_t range, QString* unit);

// The record number padded with zeros to four digits ("0009", "0100", "1234").
QString record_number_text(double n);

// The four-digit year of a stored two-digit year: 00..29 are 2000..2029, 30..99 are
// 1930..1999, larger stored values count from 1900.
int full_year(int stored_year);

// The locale's long time format without its time-zone part.
QString time_format_without_zone(const QLocale& locale);

// Date in the locale's short date format, two blanks, time (seconds 00) in its long time
// format. Fields that form no date or no time of day are written as their stored numbers
// in the places the formats give them.
QString date_time_text(int year, int month, int day, int hour, int minute, const QLocale& locale);

// The line of slot `slot`; "    " for an empty slot or a slot outside the store.
QString format_record_text(const RecordStore& store, int slot, const QLocale& locale);

// Formats slot page * 26 + row into store.rec_text.
void format_record(RecordStore& store, int page, int row, const QLocale& locale);

} // namespace tessaro
