#pragma once
// The soak rig's judge: what the simulator sent, which stretches of time the rig leaves out, and
// the log the recorder wrote, turned into counts. No clock, no process, no file name: every fact
// comes in as an argument, so a table of cases pins what counts as lost, duplicated or out of
// order.
//
// The simulator numbers its records (X is the number in mm/s, so a logged speed names its
// record) from 1 to 99999 and then from 1 again; the judge takes each logged number as the one
// nearest the previous record's, so a log may wrap. Sent: every record of every simulator run.
// Counted: those sent outside every left-out stretch (the rig knows the others may be missing).
// Logged: record lines of the log, after its header and units lines. Lost: counted and not
// logged. Duplicated: logged again. Out of order: logged after a higher number. Torn: a line
// after the first two that is not one whole record line, or names a record never sent.

#include <QtGlobal>

#include <vector>

class QIODevice;

namespace SoakJudge {

constexpr long long kNumberCycle = 99999; // the simulator's numbers run 1..99999, then again
constexpr double kPollInterval = 0.9;     // the recorder's poll interval, seconds
constexpr double kFirstPoll = 1.4;        // its first poll after start: an interval and a wait
constexpr double kMargin = 0.1;           // added to both ends of a stretch left out
constexpr int kLostListed = 10;           // lost records named one by one

// One run of the simulator: its numbers and when each went out (monotonic seconds).
struct SimulatorRun
{
    long long first = 1;
    long long last = 0; // the last number sent (first - 1 when none)
    double start = 0;   // time of the first record
    double period = 0;  // seconds between records
};

// A stretch of time whose records are not counted.
struct Stretch
{
    double from = 0;
    double to = 0;
};

struct Tally
{
    long long sent = 0;
    long long counted = 0; // sent while recorder and device were up
    long long logged = 0;
    long long lost = 0;
    long long duplicated = 0;
    long long outOfOrder = 0;
    long long torn = 0;
    std::vector<long long> firstLost; // the first kLostListed lost numbers, in order

    // Nothing lost, doubled, reordered or torn, and something logged: a run that logged nothing
    // proves nothing.
    bool passed() const
    {
        return lost == 0 && duplicated == 0 && outOfOrder == 0 && torn == 0 && logged > 0;
    }
};

// Where the records a recorder stopped at time `at` may have left unlogged begin: one poll
// interval (and the margin) before, or, when it had not polled yet since it began reading at
// `recorderReady`, where it began reading (less the margin).
double unloggedSince(double at, double recorderReady);

// When record n went out; 0 for a number no run sent.
double sendTime(const std::vector<SimulatorRun>& runs, long long n);

// Reads the log from where the device stands (its start) to its end and counts.
Tally judge(const std::vector<SimulatorRun>& runs, const std::vector<Stretch>& leftOut,
            QIODevice& log);

} // namespace SoakJudge
