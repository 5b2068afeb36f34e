// The polling thread's wake-up: whoever gives it work between rounds (a request thread that
// queued a frame, a round whose buffer arrived, the driver node having input) posts it, and
// the polling thread waits on it for at most its idle interval. The wait follows the
// settable clock of the host's test seam.
#pragma once

namespace PollWake {

// The next round should run now.
void Post();
// Returns once posted (true) or after `ms` (false), and clears the post.
bool Wait(int ms);

} // namespace PollWake
