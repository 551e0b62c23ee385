// The state object of the headphone virtualizer: the frame driver with the
// headphone FIR as its block process, in one non-paged block under the state
// tag. Create builds it as the virtualizer starts: the FIR with its start
// set, six inputs and two outputs at 44100 Hz.
#pragma once

#include "driver/common/pool_object.h"
#include "driver/zurazuvera/common/VSH/audio_app.h"
#include "driver/zurazuvera/common/VSH/headphone_fir.h"

class HeadphoneFirApp : public CPoolObject, public AudioApp {
public:
    // Null when memory is short; nothing is left allocated then.
    static HeadphoneFirApp* Create();
    ~HeadphoneFirApp() override;

    HeadphoneFir& Fir() { return m_Fir; }

protected:
    void ProcessBlock(float* const* out, int nOutCh, float* const* in, int nInCh,
                      int len) override {
        m_Fir.Process(out, nOutCh, in, nInCh, len);
    }
    void Reset() override { m_Fir.Reset(); }

private:
    HeadphoneFirApp() : AudioApp(6, 2, 1.0f) {}

    HeadphoneFir m_Fir;
};
