// Ending a worker thread from the user-interface thread without a deadlock: the
// worker may be waiting for the user interface (an error dialog, the progress timer)
// while it is asked to stop, so the user interface keeps serving it meanwhile.
#pragma once

class tk_thread;

// Asks the thread's run to stop, waits for it to end while serving the user
// interface, then releases the thread. A thread that has ended is only released.
void wizard_stop_thread(tk_thread& thread);
