#pragma once
// COM for the shell's objects (links), its verbs (ShellExecute) and the sound
// drivers, started on the calling thread when one is first used rather than
// at start-up, where the first window has no use for it.

namespace vello {

// Enters a single-threaded apartment on this thread, once; a thread that is
// already in an apartment of either kind stays as it is.
void UseComOnThisThread();

}  // namespace vello
