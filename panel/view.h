#pragma once

// The QML host: shows the panel's scene inside the main window and is the one
// object the scene calls into. Its slots are thin: window moves, the settings
// files, and setters that store a value in the current profile and hand it to
// the engine. The profile blocks are the engine's; the view works on them
// once the engine has attached them (when a headset is ready), and until then
// the profile slots do nothing.

#include "panel/app_config.h"
#include "panel/macro_encoding.h"
#include "panel/macro_files.h"
#include "panel/profile_store.h"
#include "panel/view_port.h"

#include <QList>
#include <QQuickWidget>
#include <QSize>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantList>

#include <functional>

namespace panel {

class IMessageBox;
class Zen;
struct LiveSetter;

struct ViewOptions {
    QUrl source{"qrc:qml/main.qml"};
    QSize screen{1920, 1080}; // the primary screen
    QString dataDir = "./data";
    IMessageBox* messages = nullptr;
};

class View final : public QQuickWidget, public IView {
    Q_OBJECT
public:
    // The scene is designed at this size and scales itself by the zoom rate.
    static constexpr int kDesignWidth = 3500, kDesignHeight = 1800;
    // The screen the design's scale of 1 was made for: 3840 x 2160.
    static float zoomFor(QSize screen);

    // `owner` may be null: the window slots then do nothing and no profile is
    // ever attached.
    View(Zen* owner, const ViewOptions& options);

    float zoomRate() const { return m_zoomRate; }

    QWidget* widget() override { return this; }
    void attach(const QString& versionText, ProfileStore& profiles) override;
    void callRoot(const QString& function) override;
    void refreshVolumes() override;
    // Safe from any thread: the call runs later on the view's thread.
    void queueCall(const QString& function, const QVariantList& args) override;

    // The scene calls these by name; their order is the meta-object's.
public slots:
    void onHide();
    void onClose();
    void onXChanged(int x);
    void onYChanged(int y);

    void saveApConfig(const QVariantList& apConfigs);
    QString loadApConfig_lang();
    QVariantList loadApConfig();
    void resetApconfig();
    QStringList loadUiStrings(int langCode);
    QStringList loadUiStrings(int langCode, const QString& label, int index, int total);

    void renameMacroIniFile(const QVariant& oldName, const QVariant& newName);
    QVariant createMacroIni();
    QVariant deleteMacroIni(const QVariant& name);
    QVariantList getMacroIniNames();
    QVariant saveMacroIni(const QVariant& name, const QStringList& macros);
    QStringList loadMacroIni(const QVariant& name);
    QVariantList loadMacroIniConfig(const QVariant& name);
    void setMacroIniConfig(const QVariant& name, const QVariantList& config);
    void cleanUnusedMacroId() override;
    QList<uchar> macroIncode(const QStringList& macros);

    QVariantList getDefaultRam(uchar ramId);
    QVariantList getCurrentRam(uchar ramId);
    bool getMsgAns(const QString& title, const QString& text);
    void test();
    QString getFirmwareVersion();
    void setProfileId(uchar profileId);
    uchar getProfileId();
    void chkProfileId();
    void ui_setMacroKey(const QVariant& macroId, const QVariant& name, uint repeat);
    void ui_setButtonValue(const QVariantList& src64);
    void ui_setOption(const QVariantList& src);
    void ui_setEqValue(const QVariantList& src);
    void ui_get_volume_speaker_master();
    void ui_get_volume_speaker_LR();
    void ui_get_volume_mic_master();

    void ui_set_volume_speaker_mute_p(const QVariantList& src);
    void ui_set_volume_mic_mute_p(const QVariantList& src);
    void ui_set_volume_speaker_value_p(const QVariantList& src);
    void ui_set_volume_mic_value_p(const QVariantList& src);
    void ui_set_volume_speaker_mute(const QVariantList& src);
    void ui_set_volume_speaker_value(const QVariantList& src);
    void ui_set_volume_mic_mute(const QVariantList& src);
    void ui_set_volume_mic_value(const QVariantList& src);
    void ui_set_eq_enable(const QVariantList& src);
    void ui_set_eq_value(const QVariantList& src);
    void ui_set_eq_value_p(const QVariantList& src);
    void ui_set_clarity_enable(const QVariantList& src);
    void ui_set_clarity_level(const QVariantList& src);
    void ui_set_clarity_supp(const QVariantList& src);
    void ui_set_clarity_level_p(const QVariantList& src);
    void ui_set_clarity_supp_p(const QVariantList& src);
    void ui_set_surround_headphone(const QVariantList& src);
    void ui_set_enc(const QVariantList& src);
    void ui_set_magic_voice_enable(const QVariantList& src);
    void ui_set_magic_voice_mode(const QVariantList& src);
    void ui_set_All_led(const QVariantList& src);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    bool attached() const { return m_owner && m_profiles; }
    // False, nothing stored or told, for a short list or while unattached.
    bool setLive(const LiveSetter& setter, const QVariantList& src);
    // Changes and stores the current option block; `edited` receives it.
    // False, nothing changed, while unattached.
    bool editCurrentOption(const std::function<void(OptionBlock&)>& change, OptionBlock& edited);
    QVariantList ramOf(unsigned profile, uchar ramId) const;

    Zen* m_owner;
    float m_zoomRate;
    bool m_profileChanged = false;
    QString m_versionText;
    ProfileStore* m_profiles = nullptr;
    IMessageBox* m_messages;
    QString m_dataDir;
    AppConfig m_config;
    MacroFiles m_macros;
    MacroKeyCodes m_macroKeyCodes; // filled by nothing: presses and releases encode to no bytes
};

} // namespace panel
