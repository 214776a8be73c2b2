#pragma once

#include "app/Trap.h"
#include "conduit/SyncMonitor.h"

namespace kv {

// The wait for the sync the person starts at the cradle. The cycle opens the status window
// "Syncronizacion de Datos" and polls the monitor: in the first phase it waits for the sync to
// begin and offers the cancel button; in the second it waits for the sync to end. The status
// window stays open; the caller closes it.

enum class WaitOutcome {
    Completed, // the sync began and ended, or a cancel request came while it was under way
    Cancelled, // the operator cancelled before the sync began
    Left,      // a failing statement was answered with leave: the caller's procedure ends
};

// Longest time between two polls of the monitor, and the slices of it after which pending events
// are processed. Between slices the wait sleeps on the monitor's change notification, so it
// polls at once when a sync takes the lock or records itself, and never spins a core.
constexpr int kPollIntervalMs = 250;
constexpr int kEventSliceMs = 25;

// The cycle, for both directions: every statement runs under the caller's trap. cancelRequest is
// set to False first and then reads back the status window's cancel request. A sync that the
// monitor saw begin but that ended without copying (refused, killed) did not happen for this
// wait: the cycle waits for the connection again.
WaitOutcome CicloEsperaHotSync(bool& cancelRequest, SyncMonitor& monitor, Trap& trap);

// The send side: registers the conduit for sending to the device (0: any handheld), waits for a
// sync under that registration, and when it is over disables the conduit and tells the
// operator. A cancel before the sync leaves the conduit enabled and shows nothing. Errors go to
// the error treatment without a procedure name. The caller holds the wait lock (WaitLock.h).
WaitOutcome EsperarHotSync(qint32 device = 0);

} // namespace kv
