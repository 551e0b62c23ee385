// What the adapter's power changes ask of the ASIO interface: stop its
// streams before the device powers down, start them again when it is back,
// and carry out a stop request that was parked while the device was down.
// Its lock comes before the adapter's power lock, which comes before any
// stream engine's lock.
#pragma once

#include "driver/common/mutex_lock.h"
#include "platform/io/file_object.h"
#include "platform/kernel/status.h"

class IAsioPowerControl {
public:
    virtual CMutexLock& GetAsioLock() = 0;
    virtual bool StreamsRunning() = 0;
    // Stops every client's stream and clears the client event.
    virtual void StopStreams() = 0;
    // Starts the streams again and resets the client table with the client event.
    virtual void RestartStreams() = 0;
    // The stop the client of `file` asked for while the device was down.
    virtual kernel::NTSTATUS CarryOutStop(io::FileObject* file) = 0;

protected:
    ~IAsioPowerControl() = default;
};
