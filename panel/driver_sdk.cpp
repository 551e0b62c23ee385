#include "panel/driver_sdk.h"

#include "panel/wide_number.h"

#include <QDebug>

#include <algorithm>
#include <cstring>

namespace panel {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::int32_t kRender = 0;
constexpr std::int32_t kCapture = 1;
constexpr int kCountAttempts = 100;
constexpr unsigned kCountPauseMs = 10;
constexpr int kInitAttempts = 3;
constexpr unsigned kInitPauseMs = 500;
constexpr std::uint32_t kRenderJack = 12;
constexpr std::uint32_t kCaptureJack = 2;
constexpr std::uint32_t kActive = 1;

DriverDeviceId idOf(const DevInfo& info) {
    return {{info.word0, info.JackType, info.DataFlow, info.state}};
}

} // namespace

void DriverSdk::Buffer::clear() const { std::memset(bytes.get(), 0, kBytes); }

DriverSdk::DriverSdk(const QString& folder, ISleeper& sleeper, IMessageBox& messages)
    : m_libraryPath(folder + "/Mixcore"), m_sleeper(sleeper), m_messages(messages) {}

DriverSdk::~DriverSdk() {
    Lock lock(m_mutex);
    if (m_entries.ConfLibUnInit) m_entries.ConfLibUnInit();
}

void DriverSdk::setConnectionTest(std::function<bool()> connected) {
    Lock lock(m_mutex);
    m_connected = std::move(connected);
}

bool DriverSdk::connected() const { return m_connected && m_connected(); }

void DriverSdk::reload() {
    Lock lock(m_mutex);
    loadLibrary();
    confLibInit();
    createDeviceList();
}

void DriverSdk::loadLibrary() {
    Lock lock(m_mutex);
    if (!m_library || !m_library->isLoaded()) m_library = std::make_unique<QLibrary>(m_libraryPath);
    if (!m_library->load()) qDebug() << "hInpOutDll == NULL";
    m_entries = resolveMixcoreEntries(*m_library);
    if (m_library->isLoaded()) {
        qDebug() << "hInpOutDll called ok";
        return;
    }
    m_messages.warning("Warning !", "Missing Mixcore.dll");
}

void DriverSdk::confLibInit() {
    Lock lock(m_mutex);
    if (!m_entries.ConfLibInit) {
        qDebug() << "HXI_Init == NULL";
        return;
    }
    m_confLibReady = m_entries.ConfLibInit() == 0;
    qDebug() << (m_confLibReady ? "ConfLibInit called ok" : "ConfLibInit called failed!");
}

// Up to a hundred attempts, each after a short pause: the list may still be
// filling.
std::int32_t DriverSdk::countDevices(std::int32_t flow, std::uint32_t& count) {
    std::int32_t result = 0;
    for (int attempt = 0; attempt < kCountAttempts; ++attempt) {
        m_sleeper.sleepMs(kCountPauseMs);
        result = m_entries.GetDeviceCount(flow, &count);
        if (result == 0) break;
    }
    return result;
}

void DriverSdk::createDeviceList() {
    Lock lock(m_mutex);
    if (!m_entries.CreateDeviceList || !m_entries.GetDeviceCount) return;
    const std::int32_t built = m_entries.CreateDeviceList();
    if (built == 0) qDebug() << "CreateDeviceList called ok";

    const std::int32_t render = countDevices(kRender, m_renderCount);
    qDebug() << "GetDeviceCount called ok"
             << " , Render Device Count = " << m_renderCount;
    qDebug() << "nResult" << built;
    const std::int32_t capture = countDevices(kCapture, m_captureCount);
    qDebug() << "GetDeviceCount called ok"
             << " , Capture Device Count = " << m_captureCount;
    qDebug() << "nResult" << built;

    if (render != 0 || capture != 0) {
        qDebug() << "nResult1 & nResult2 != 0";
        return;
    }
    m_isHXok = m_renderCount == 1 && m_captureCount == 1;
    qDebug() << (m_isHXok ? "isHXok  = true" : "isHXok  = false");
}

bool DriverSdk::isReady() const {
    Lock lock(m_mutex);
    return m_isHXok;
}

void DriverSdk::logDevice(const char* stateText) const {
    qDebug() << "GetDeviceById called ok= " << stateText << m_devInfo.state
             << " DevInfo.JackType =" << m_devInfo.JackType
             << " DevInfo.DataFlow =" << m_devInfo.DataFlow;
}

// A failed call leaves the record as it was, as the library does.
std::int32_t DriverSdk::getDeviceById(std::int32_t flow, std::int32_t index) {
    std::array<std::uint32_t, 4> record{m_devInfo.word0, m_devInfo.JackType, m_devInfo.DataFlow,
                                        m_devInfo.state};
    const std::int32_t result = m_entries.GetDeviceById(flow, index, record.data());
    m_devInfo = {record[0], record[1], record[2], record[3]};
    return result;
}

void DriverSdk::selectDevices() {
    Lock lock(m_mutex);
    if (!m_entries.GetDeviceById) return;
    if (!connected()) {
        qDebug() << "GetDeviceById disConnect ...";
        return;
    }
    // Every render device is looked at; the last active headphone jack wins.
    for (std::uint32_t index = 0; index < m_renderCount; ++index) {
        m_lastResult = getDeviceById(kRender, static_cast<std::int32_t>(index));
        if (m_lastResult == 0) logDevice(" , the Render device state is = ");
        if (m_devInfo.JackType == kRenderJack && m_devInfo.state == kActive)
            m_render = idOf(m_devInfo);
    }
    m_lastResult = getDeviceById(kCapture, 0);
    if (m_lastResult == 0) logDevice(" , the Capture device state is = ");
    if (m_devInfo.JackType == kCaptureJack && m_devInfo.state == kActive)
        m_capture = idOf(m_devInfo);
}

void DriverSdk::initDriver() {
    Lock lock(m_mutex);
    confLibInit();
    if (!m_confLibReady) {
        qDebug() << "Initialize Driver SDK Error !";
        return;
    }
    for (int attempt = 1;; ++attempt) {
        createDeviceList();
        if (m_isHXok) break;
        if (attempt == kInitAttempts) {
            qDebug() << "isHXok == false";
            return;
        }
        m_sleeper.sleepMs(kInitPauseMs);
    }
    qDebug() << "isHXok == true";
    selectDevices();
    applyDefaults();
}

std::int32_t DriverSdk::propertyControl(const DriverDeviceId& device, const char16_t* name,
                                        void** data, void** selector, std::uint8_t direction) {
    Lock lock(m_mutex);
    if (!connected()) {
        qDebug() << "Init_HXI_PropertyControl   disConnect ...";
        return kNotCalled;
    }
    return callLibrary(device, name, data, selector, direction);
}

std::int32_t DriverSdk::callLibrary(const DriverDeviceId& device, const char16_t* name, void** data,
                                    void** selector, std::uint8_t direction) {
    if (!m_entries.PropertyControl) return kNotCalled;
    const auto& w = device.words;
    m_lastResult = m_entries.PropertyControl(w[0], w[1], w[2], w[3], name, data, selector,
                                             static_cast<std::int32_t>(direction));
    return m_lastResult;
}

std::int32_t DriverSdk::rgbI2cMode(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    Lock lock(m_mutex);
    return m_entries.RGBI2CMode ? m_entries.RGBI2CMode(a, b, c, d) : kNotCalled;
}

std::int32_t DriverSdk::setPattern(std::uint8_t pattern, std::uint8_t speed) {
    Lock lock(m_mutex);
    if (!m_rgbReady || !m_entries.SetPattern) return kNotCalled;
    return m_entries.SetPattern(pattern, speed);
}

std::int32_t DriverSdk::setRgb(std::uint8_t zone, std::uint8_t red, std::uint8_t green,
                               std::uint8_t blue) {
    Lock lock(m_mutex);
    if (!m_rgbReady || !m_entries.SetRGB) return kNotCalled;
    return m_entries.SetRGB(zone, red, green, blue);
}

std::int32_t DriverSdk::onTimerApp() {
    Lock lock(m_mutex);
    return m_entries.OnTimerApp ? m_entries.OnTimerApp() : kNotCalled;
}

std::int32_t DriverSdk::saveToMcu() {
    Lock lock(m_mutex);
    return m_entries.SaveToMCU ? m_entries.SaveToMCU() : kNotCalled;
}

void DriverSdk::unload() {
    Lock lock(m_mutex);
    if (m_smbReady && m_entries.ShutdownSMB) m_entries.ShutdownSMB();
    // The entries would point into unmapped code.
    m_entries = {};
    if (m_library) m_library->unload();
}

std::int32_t DriverSdk::lastResult() const {
    Lock lock(m_mutex);
    return m_lastResult;
}

bool DriverSdk::confLibReady() const {
    Lock lock(m_mutex);
    return m_confLibReady;
}

DriverDeviceId DriverSdk::renderId() const {
    Lock lock(m_mutex);
    return m_render;
}

DriverDeviceId DriverSdk::captureId() const {
    Lock lock(m_mutex);
    return m_capture;
}

DriverValues DriverSdk::values() const {
    Lock lock(m_mutex);
    return m_values;
}

} // namespace panel
