// Record lines shaped like the formatter's output, for tests of saving and printing.
#pragma once

#include <QString>

namespace tessaro::test {

// The record number text of a slot's sample line: slot 0 holds record 1.
inline QString sample_number(int slot) { return QStringLiteral("No%1").arg(slot + 1, 4, 10, QLatin1Char('0')); }

// Slots below `records` hold a record: every 10th from 3 on is OL, every 7th is marked;
// the others are empty ("    ").
inline QString sample_line(int slot, int records) {
    if (slot < 0 || slot >= records) return QStringLiteral("    ");
    const QString number = sample_number(slot);
    const QString when = QStringLiteral("24-01-05  12:%1:00").arg(slot % 60, 2, 10, QLatin1Char('0'));
    QString line = slot % 10 == 3
        ? number + QStringLiteral("   OL    ") + when
        : number + QStringLiteral(" %1.%2mA   ").arg(slot % 37).arg(slot % 10) + when;
    if (slot % 7 == 0) line += QStringLiteral("       \u25A0 ");
    return line;
}

} // namespace tessaro::test
