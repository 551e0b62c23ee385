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

// Not-a-number compares unequal to itself, so it counts as changed.
bool changed(float last, float now) { return !(last == now); }

const Group kGroups[] = {
    {[](const DriverValues& l, const DriverValues& n) { return l.speakerMute != n.speakerMute; },
     [](DriverValues& l, const DriverValues& n) { l.speakerMute = n.speakerMute; },
     "onDriverRead_SpVolMute", [](const DriverValues& n) { return QVariantList{n.speakerMute}; }},
    {[](const DriverValues& l, const DriverValues& n) { return l.micMute != n.micMute; },
     [](DriverValues& l, const DriverValues& n) { l.micMute = n.micMute; },
     "onDriverRead_MicVolMute", [](const DriverValues& n) { return QVariantList{n.micMute}; }},
    {[](const DriverValues& l, const DriverValues& n) {
         return changed(l.speakerVolume, n.speakerVolume);
     },
     [](DriverValues& l, const DriverValues& n) { l.speakerVolume = n.speakerVolume; },
     "onDriverRead_SpVolValue",
     [](const DriverValues& n) { return QVariantList{n.speakerVolume}; }},
    {[](const DriverValues& l, const DriverValues& n) {
         return changed(l.speakerLeft, n.speakerLeft) || changed(l.speakerRight, n.speakerRight);
     },
     [](DriverValues& l, const DriverValues& n) {
         l.speakerLeft = n.speakerLeft;
         l.speakerRight = n.speakerRight;
     },
     "onDriverRead_SpVolValue_LR",
     [](const DriverValues& n) {
         return QVariantList{n.speakerLeft, n.speakerRight};
     }},
    {[](const DriverValues& l, const DriverValues& n) { return changed(l.micVolume, n.micVolume); },
     [](DriverValues& l, const DriverValues& n) { l.micVolume = n.micVolume; },
     "onDriverRead_MicVolValue", [](const DriverValues& n) { return QVariantList{n.micVolume}; }},
    {[](const DriverValues& l, const DriverValues& n) { return l.surround != n.surround; },
     [](DriverValues& l, const DriverValues& n) { l.surround = n.surround; },
     "onDriverRead_SurEnable", [](const DriverValues& n) { return QVariantList{n.surround}; }},
    {[](const DriverValues& l, const DriverValues& n) { return l.enc != n.enc; },
     [](DriverValues& l, const DriverValues& n) { l.enc = n.enc; }, "onDriverRead_EncEnable",
     [](const DriverValues& n) { return QVariantList{n.enc}; }},
    {[](const DriverValues& l, const DriverValues& n) {
         return l.vcEnable != n.vcEnable || l.vcLevel != n.vcLevel || l.vcNoise != n.vcNoise;
     },
     [](DriverValues& l, const DriverValues& n) {
         l.vcEnable = n.vcEnable;
         l.vcLevel = n.vcLevel;
         l.vcNoise = n.vcNoise;
     },
     "onDriverRead_Vc",
     [](const DriverValues& n) {
         return QVariantList{n.vcEnable, n.vcLevel, n.vcNoise};
     }},
    {[](const DriverValues& l, const DriverValues& n) {
         return l.magicEnable != n.magicEnable || l.magicMode != n.magicMode;
     },
     [](DriverValues& l, const DriverValues& n) {
         l.magicEnable = n.magicEnable;
         l.magicMode = n.magicMode;
     },
     "onDriverRead_Mgi",
     [](const DriverValues& n) {
         return QVariantList{n.magicEnable, n.magicMode};
     }},
    {[](const DriverValues& l, const DriverValues& n) { return l.eqEnable != n.eqEnable; },
     [](DriverValues& l, const DriverValues& n) { l.eqEnable = n.eqEnable; },
     "onDriverRead_EqEnable", [](const DriverValues& n) { return QVariantList{n.eqEnable}; }},
    {[](const DriverValues& l, const DriverValues& n) { return l.eq != n.eq; },
     [](DriverValues& l, const DriverValues& n) { l.eq = n.eq; }, "onDriverRead_EqValue",
     [](const DriverValues& n) {
         QVariantList args;
         for (int v : n.eq) args.append(v);
         return args;
     }},
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
