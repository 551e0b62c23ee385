#include "driver/zurazuvera/common/VSH/headphone_fir_app.h"

#include "driver/zurazuvera/common/VSH/vsh_buffers.h"

HeadphoneFirApp* HeadphoneFirApp::Create() {
    auto* app = new (kernel::PoolType::NonPagedNx, VshStateTag) HeadphoneFirApp;
    if (app == nullptr) return nullptr;
    if (!app->m_Fir.Init() || !app->SetFormat(44100, 6, 2)) {
        delete app;
        return nullptr;
    }
    return app;
}

HeadphoneFirApp::~HeadphoneFirApp() {
    FreeAll();
    m_Fir.Free();
}
