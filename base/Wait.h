#pragma once
// A wait that keeps the program responsive: events are dispatched while it lasts.

// Waits ms milliseconds while still dispatching events (timers, paints, clicks, menu commands).
// 0 returns at once without dispatching; any other value dispatches at least once, so a negative
// wait is exactly one pass. Between events the thread blocks in the event dispatcher, so a long
// wait costs no processor time.
void waitProcessingEvents(int ms);
