// Switches only the benchmark turns, to time a baseline in the same run; no program part uses them.
#pragma once

namespace cursor::benchmark {

// Whether a file opened from now on is checked for damage (on unless turned off): off, the file
// is writable at once and the start-up is timed without the check beside it.
void setFileCheckOnOpen(bool on);

} // namespace cursor::benchmark
