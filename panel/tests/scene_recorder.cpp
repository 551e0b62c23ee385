#include "panel/tests/scene_recorder.h"

namespace panel_test {

namespace {

QString formatValue(const QVariant& v) {
    if (v.canConvert<QVariantList>() && v.type() != QVariant::String) {
        QStringList parts;
        for (const QVariant& item : v.toList()) parts << formatValue(item);
        return "[" + parts.join(",") + "]";
    }
    return v.toString();
}

} // namespace

QString formatCall(const QString& name, const QVariantList& args) {
    QStringList parts;
    for (const QVariant& a : args) parts << formatValue(a);
    return name + "(" + parts.join(",") + ")";
}

std::vector<QString> RecordingSlots::callsTo(const QString& prefix) const {
    std::vector<QString> out;
    for (const QString& c : calls)
        if (c.startsWith(prefix)) out.push_back(c);
    return out;
}

void RecordingSlots::saveApConfig(const QVariantList& apConfigs) {
    record("saveApConfig", {QVariant(apConfigs)});
    apConfig = apConfigs;
}

QString RecordingSlots::loadApConfig_lang() {
    record("loadApConfig_lang", {});
    return apLanguage;
}

QVariantList RecordingSlots::loadApConfig() {
    record("loadApConfig", {});
    return apConfig;
}

QStringList RecordingSlots::loadUiStrings(int langCode) {
    record("loadUiStrings", {langCode});
    return uiStrings.value(langCode);
}

QStringList RecordingSlots::loadUiStrings(int langCode, const QString& label, int index,
                                          int total) {
    record("loadUiStrings", {langCode, label, index, total});
    return msgStrings;
}

void RecordingSlots::renameMacroIniFile(const QVariant& oldName, const QVariant& newName) {
    record("renameMacroIniFile", {oldName, newName});
    // As the folder does: a taken name is refused.
    const int at = macroFiles.indexOf(oldName.toString());
    if (at >= 0 && !macroFiles.contains(newName.toString())) macroFiles[at] = newName.toString();
}

QVariant RecordingSlots::createMacroIni() {
    record("createMacroIni", {});
    return createdName;
}

QVariant RecordingSlots::deleteMacroIni(const QVariant& name) {
    record("deleteMacroIni", {name});
    return deleteResult;
}

QVariantList RecordingSlots::getMacroIniNames() {
    record("getMacroIniNames", {});
    QStringList names;
    QVariantList slotsOfFiles;
    for (const QString& f : macroFiles) {
        names << f + ".bin";
        slotsOfFiles << (macroConfigs.contains(f) ? macroConfigs[f].value(0) : QVariant(-1));
    }
    return {names, slotsOfFiles};
}

QVariant RecordingSlots::saveMacroIni(const QVariant& name, const QStringList& macros) {
    record("saveMacroIni", {name, QVariant(macros)});
    if (saveResult) macroLines[name.toString()] = macros;
    return saveResult;
}

QStringList RecordingSlots::loadMacroIni(const QVariant& name) {
    record("loadMacroIni", {name});
    return macroLines.value(name.toString());
}

QVariantList RecordingSlots::loadMacroIniConfig(const QVariant& name) {
    record("loadMacroIniConfig", {name});
    return macroConfigs.value(name.toString());
}

void RecordingSlots::setMacroIniConfig(const QVariant& name, const QVariantList& config) {
    record("setMacroIniConfig", {name, QVariant(config)});
    macroConfigs[name.toString()] = config;
}

QList<uchar> RecordingSlots::macroIncode(const QStringList& macros) {
    record("macroIncode", {QVariant(macros)});
    return {};
}

QVariantList RecordingSlots::getDefaultRam(uchar ramId) {
    record("getDefaultRam", {int(ramId)});
    return {};
}

QVariantList RecordingSlots::getCurrentRam(uchar ramId) {
    record("getCurrentRam", {int(ramId)});
    return ramId == 0 ? currentRam : QVariantList{};
}

bool RecordingSlots::getMsgAns(const QString& title, const QString& text) {
    record("getMsgAns", {title, text});
    return msgAnswer;
}

QString RecordingSlots::getFirmwareVersion() {
    record("getFirmwareVersion", {});
    return "V1.00";
}

void RecordingSlots::setProfileId(uchar id) {
    record("setProfileId", {int(id)});
    profileId = id;
}

uchar RecordingSlots::getProfileId() {
    record("getProfileId", {});
    return uchar(profileId);
}

void RecordingSlots::ui_setMacroKey(const QVariant& macroId, const QVariant& name, uint repeat) {
    record("ui_setMacroKey", {macroId, name, repeat});
}

} // namespace panel_test
