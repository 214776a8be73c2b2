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

// Time between two polls of the monitor, and the slices of it after which pending events are
// processed: the window stays responsive and the wait sleeps instead of spinning a core.
constexpr int kPollIntervalMs = 150;
constexpr int kEventSliceMs = 25;

// The cycle, for both directions: every statement runs under the caller's trap. cancelRequest is
// set to False first and then reads back the status window's cancel request.
WaitOutcome CicloEsperaHotSync(bool& cancelRequest, SyncMonitor& monitor, Trap& trap);

// The send side: registers the conduit for sending, waits, and when the sync is over disables
// the conduit and tells the operator. A cancel before the sync leaves the conduit enabled and
// shows nothing. Errors go to the error treatment without a procedure name.
WaitOutcome EsperarHotSync();

} // namespace kv
