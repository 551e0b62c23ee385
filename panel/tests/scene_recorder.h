#pragma once

// A stand-in for the QML host's slots: the scene calls it as "view", and it
// records each call as "name(arg,arg)" (lists as "[a,b]") in arrival order.
// Its answers are set by the test; the macro configurations it keeps behave
// like the files, so a page sees what it wrote.

#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <vector>

namespace panel_test {

QString formatCall(const QString& name, const QVariantList& args);

class RecordingSlots final : public QObject {
    Q_OBJECT
public:
    std::vector<QString> calls;
    // Answers.
    QVariantList currentRam;
    QVariantList apConfig;
    QString apLanguage = "English";
    QMap<int, QStringList> uiStrings;
    QStringList msgStrings{"Left button", "Assign it?"};
    bool msgAnswer = true;
    QStringList macroFiles;
    QMap<QString, QVariantList> macroConfigs;
    QMap<QString, QStringList> macroLines;
    QString createdName = "Macro 001";
    bool deleteResult = true;
    bool saveResult = true;
    int profileId = 1;

    // The calls whose name starts with `prefix`, in order.
    std::vector<QString> callsTo(const QString& prefix) const;
    void clear() { calls.clear(); }

    Q_INVOKABLE void onHide() { record("onHide", {}); }
    Q_INVOKABLE void onClose() { record("onClose", {}); }
    Q_INVOKABLE void onXChanged(int x) { record("onXChanged", {x}); }
    Q_INVOKABLE void onYChanged(int y) { record("onYChanged", {y}); }

    Q_INVOKABLE void saveApConfig(const QVariantList& apConfigs);
    Q_INVOKABLE QString loadApConfig_lang();
    Q_INVOKABLE QVariantList loadApConfig();
    Q_INVOKABLE void resetApconfig() { record("resetApconfig", {}); }
    Q_INVOKABLE QStringList loadUiStrings(int langCode);
    Q_INVOKABLE QStringList loadUiStrings(int langCode, const QString& label, int index, int total);

    Q_INVOKABLE void renameMacroIniFile(const QVariant& oldName, const QVariant& newName);
    Q_INVOKABLE QVariant createMacroIni();
    Q_INVOKABLE QVariant deleteMacroIni(const QVariant& name);
    Q_INVOKABLE QVariantList getMacroIniNames();
    Q_INVOKABLE QVariant saveMacroIni(const QVariant& name, const QStringList& macros);
    Q_INVOKABLE QStringList loadMacroIni(const QVariant& name);
    Q_INVOKABLE QVariantList loadMacroIniConfig(const QVariant& name);
    Q_INVOKABLE void setMacroIniConfig(const QVariant& name, const QVariantList& config);
    Q_INVOKABLE void cleanUnusedMacroId() { record("cleanUnusedMacroId", {}); }
    Q_INVOKABLE QList<uchar> macroIncode(const QStringList& macros);

    Q_INVOKABLE QVariantList getDefaultRam(uchar ramId);
    Q_INVOKABLE QVariantList getCurrentRam(uchar ramId);
    Q_INVOKABLE bool getMsgAns(const QString& title, const QString& text);
    Q_INVOKABLE void test() { record("test", {}); }
    Q_INVOKABLE QString getFirmwareVersion();
    Q_INVOKABLE void setProfileId(uchar id);
    Q_INVOKABLE uchar getProfileId();
    Q_INVOKABLE void chkProfileId() { record("chkProfileId", {}); }
    Q_INVOKABLE void ui_setMacroKey(const QVariant& macroId, const QVariant& name, uint repeat);
    Q_INVOKABLE void ui_setButtonValue(const QVariantList& src64) {
        record("ui_setButtonValue", {QVariant(src64)});
    }
    Q_INVOKABLE void ui_setOption(const QVariantList& src) {
        record("ui_setOption", {QVariant(src)});
    }
    Q_INVOKABLE void ui_setEqValue(const QVariantList& src) {
        record("ui_setEqValue", {QVariant(src)});
    }
    Q_INVOKABLE void ui_get_volume_speaker_master() { record("ui_get_volume_speaker_master", {}); }
    Q_INVOKABLE void ui_get_volume_speaker_LR() { record("ui_get_volume_speaker_LR", {}); }
    Q_INVOKABLE void ui_get_volume_mic_master() { record("ui_get_volume_mic_master", {}); }

    Q_INVOKABLE void ui_set_volume_speaker_mute_p(const QVariantList& src) {
        record("ui_set_volume_speaker_mute_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_mic_mute_p(const QVariantList& src) {
        record("ui_set_volume_mic_mute_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_speaker_value_p(const QVariantList& src) {
        record("ui_set_volume_speaker_value_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_mic_value_p(const QVariantList& src) {
        record("ui_set_volume_mic_value_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_speaker_mute(const QVariantList& src) {
        record("ui_set_volume_speaker_mute", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_speaker_value(const QVariantList& src) {
        record("ui_set_volume_speaker_value", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_mic_mute(const QVariantList& src) {
        record("ui_set_volume_mic_mute", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_volume_mic_value(const QVariantList& src) {
        record("ui_set_volume_mic_value", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_eq_enable(const QVariantList& src) {
        record("ui_set_eq_enable", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_eq_value(const QVariantList& src) {
        record("ui_set_eq_value", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_eq_value_p(const QVariantList& src) {
        record("ui_set_eq_value_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_clarity_enable(const QVariantList& src) {
        record("ui_set_clarity_enable", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_clarity_level(const QVariantList& src) {
        record("ui_set_clarity_level", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_clarity_supp(const QVariantList& src) {
        record("ui_set_clarity_supp", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_clarity_level_p(const QVariantList& src) {
        record("ui_set_clarity_level_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_clarity_supp_p(const QVariantList& src) {
        record("ui_set_clarity_supp_p", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_surround_headphone(const QVariantList& src) {
        record("ui_set_surround_headphone", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_enc(const QVariantList& src) { record("ui_set_enc", {QVariant(src)}); }
    Q_INVOKABLE void ui_set_magic_voice_enable(const QVariantList& src) {
        record("ui_set_magic_voice_enable", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_magic_voice_mode(const QVariantList& src) {
        record("ui_set_magic_voice_mode", {QVariant(src)});
    }
    Q_INVOKABLE void ui_set_All_led(const QVariantList& src) {
        record("ui_set_All_led", {QVariant(src)});
    }

private:
    void record(const QString& name, const QVariantList& args) {
        calls.push_back(formatCall(name, args));
    }
};

// The engine window as the scene sees it ("zen").
class RecordingWindow final : public QObject {
    Q_OBJECT
public:
    int minimized = 0;
    Q_INVOKABLE void showMinimized() { ++minimized; }
};

} // namespace panel_test
