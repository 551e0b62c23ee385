// The view's slots over the panel's files: preferences, languages and macros.

#include "panel/macro_usage.h"
#include "panel/view.h"
#include "panel/zen.h"

namespace panel {

void View::saveApConfig(const QVariantList& apConfigs) { m_config.save(apConfigs); }

QString View::loadApConfig_lang() { return m_config.languageName(); }

QVariantList View::loadApConfig() { return m_config.load(); }

void View::resetApconfig() { m_config.reset(); }

QStringList View::loadUiStrings(int langCode) {
    const LanguageStrings strings(m_config, langCode);
    if (m_owner) m_owner->setWindowTitle(strings.windowTitle());
    return strings.uiStrings();
}

QStringList View::loadUiStrings(int langCode, const QString& label, int index, int total) {
    return LanguageStrings(m_config, langCode).group(label, index, total);
}

void View::renameMacroIniFile(const QVariant& oldName, const QVariant& newName) {
    m_macros.rename(oldName.toString(), newName.toString());
}

QVariant View::createMacroIni() { return m_macros.create(); }

QVariant View::deleteMacroIni(const QVariant& name) { return m_macros.remove(name.toString()); }

QVariantList View::getMacroIniNames() {
    const QStringList names = m_macros.fileNames();
    QVariantList indexes;
    for (const QString& n : names) indexes.append(m_macros.slotOf(n));
    return {names, indexes};
}

QVariant View::saveMacroIni(const QVariant& name, const QStringList& macros) {
    if (!m_macros.saveLines(name.toString(), macros)) return false;
    const auto config = m_macros.config(name.toString());
    // An assigned macro goes to its slot again.
    if (config && config->index >= 0 && config->index < int(kMacroSlots))
        ui_setMacroKey(config->index, name, static_cast<uint>(config->repeat));
    return true;
}

QStringList View::loadMacroIni(const QVariant& name) {
    return m_macros.lines(name.toString()).value_or(QStringList{});
}

QVariantList View::loadMacroIniConfig(const QVariant& name) {
    const auto c = m_macros.config(name.toString());
    if (!c) return {};
    return {c->index, c->repeat, c->usedTimes};
}

void View::setMacroIniConfig(const QVariant& name, const QVariantList& config) {
    // Slot and repeat count are the least a configuration holds.
    if (config.size() < 2) return;
    const bool withUsedTimes = config.size() > 2;
    const MacroConfig c{config[0].toInt(), config[1].toInt(),
                        withUsedTimes ? config[2].toInt() : 0};
    m_macros.setConfig(name.toString(), c, withUsedTimes);
}

QList<uchar> View::macroIncode(const QStringList& macros) {
    return panel::macroIncode(macros, m_macroKeyCodes);
}

void View::ui_setMacroKey(const QVariant& macroId, const QVariant& name, uint repeat) {
    bool ok = false;
    const int slot = macroId.toInt(&ok);
    if (!attached() || !ok || slot < 0 || slot >= int(kMacroSlots)) return;
    const MacroBlock block = macroBlockFor(loadMacroIni(name), m_macroKeyCodes, repeat);
    m_profiles->editMacro(unsigned(slot), [&](MacroBlock& m) { m = block; });
    chkProfileId();
    m_owner->hid().writeCmd05(static_cast<std::uint8_t>(slot), block);
    m_owner->settings().stampTimeFlag();
}

void View::cleanUnusedMacroId() {
    if (!attached()) return;
    const MacroSlotUse use = countMacroAssignments(*m_profiles);
    for (const QString& file : m_macros.fileNames()) {
        const QString name = file.left(file.size() - 4);
        const auto config = m_macros.config(name);
        if (!config) continue;
        const auto fixed = reconciledConfig(*config, use);
        if (!fixed) continue;
        // A slot the headset lacks is damage: the file is kept as it was.
        const QString fault = slotFault(*config);
        if (fault.isEmpty() || m_macros.keepDamagedCopy(name, fault, "its slot is written as none"))
            m_macros.setConfig(name, *fixed, true);
    }
}

} // namespace panel
