#include "panel/page_mirror.h"

namespace panel {

namespace {

// A group: whether it differs, how it is remembered and what the page gets.
struct Group {
    bool (*differs)(const DriverValues& last, const DriverValues& now);
    void (*take)(DriverValues& last, const DriverValues& now);
    const char* function;
    QVariantList (*args)(const DriverValues& now);
};

void append(QVariantList& args, int v) { args.append(v); }
void append(QVariantList& args, float v) { args.append(v); }
void append(QVariantList& args, const std::array<int, 10>& bands) {
    for (int v : bands) args.append(v);
}

// The group of the values `Fields`, named once for all three. Not-a-number
// compares unequal to itself, so it counts as changed.
template <auto... Fields> struct Of {
    static bool differs(const DriverValues& l, const DriverValues& n) {
        return (!(l.*Fields == n.*Fields) || ...);
    }
    static void take(DriverValues& l, const DriverValues& n) { ((l.*Fields = n.*Fields), ...); }
    static QVariantList args(const DriverValues& n) {
        QVariantList out;
        (append(out, n.*Fields), ...);
        return out;
    }
};

template <auto... Fields> constexpr Group group(const char* function) {
    return {&Of<Fields...>::differs, &Of<Fields...>::take, function, &Of<Fields...>::args};
}

using V = DriverValues;
const Group kGroups[] = {
    group<&V::speakerMute>("onDriverRead_SpVolMute"),
    group<&V::micMute>("onDriverRead_MicVolMute"),
    group<&V::speakerVolume>("onDriverRead_SpVolValue"),
    group<&V::speakerLeft, &V::speakerRight>("onDriverRead_SpVolValue_LR"),
    group<&V::micVolume>("onDriverRead_MicVolValue"),
    group<&V::surround>("onDriverRead_SurEnable"),
    group<&V::enc>("onDriverRead_EncEnable"),
    group<&V::vcEnable, &V::vcLevel, &V::vcNoise>("onDriverRead_Vc"),
    group<&V::magicEnable, &V::magicMode>("onDriverRead_Mgi"),
    group<&V::eqEnable>("onDriverRead_EqEnable"),
    group<&V::eq>("onDriverRead_EqValue"),
};

} // namespace

bool PageMirror::pushNextChange(const DriverValues& now, IPage& page) {
    for (const Group& g : kGroups) {
        if (!g.differs(m_last, now)) continue;
        g.take(m_last, now);
        page.queueCall(g.function, g.args(now));
        return true;
    }
    return false;
}

void PageMirror::assumeSent(const DriverValues& sent) {
    m_last.surround = sent.surround;
    m_last.enc = sent.enc;
    m_last.vcEnable = sent.vcEnable;
    m_last.vcLevel = sent.vcLevel;
    m_last.vcNoise = sent.vcNoise;
    m_last.magicEnable = sent.magicEnable;
    m_last.magicMode = sent.magicMode;
    m_last.eqEnable = sent.eqEnable;
    m_last.eq = sent.eq;
}

} // namespace panel
