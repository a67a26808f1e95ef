#pragma once
// The demonstration: thirty built-in records in three runs of ten, mm/s, then m/s, then knots,
// fed one per second through the same decoding as serial input.

#include <QString>

inline constexpr int kDemoRecordCount = 30;

// Record index 0..29: the run's prefix, the digit index % 10, the run's suffix.
QString demoRecord(int index);
