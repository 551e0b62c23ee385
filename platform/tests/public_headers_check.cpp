// Built, never run: the kernel's public headers keep its internals to
// themselves, so a user of them gets none of the standard library's locking.
#include "platform/kernel/clock.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/event.h"
#include "platform/kernel/irql.h"
#include "platform/kernel/mutex.h"
#include "platform/kernel/object.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/spin_lock.h"
#include "platform/kernel/thread_wakeups.h"
#include "platform/kernel/timer.h"

#if defined(_GLIBCXX_MUTEX) || defined(_GLIBCXX_CONDITION_VARIABLE)
#error "a public kernel header brings in <mutex> or <condition_variable>"
#endif
