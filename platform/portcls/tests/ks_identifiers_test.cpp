// The connector family is generated from its first field; each kind must
// read as its registry text, or filters would name connectors the system
// does not know.
#include "platform/ks/topology_ids.h"
#include "platform/ks/wave_format.h"

#include <gtest/gtest.h>

namespace {

TEST(KsIdentifiers, ConnectorKindsReadAsTheirText) {
    const struct {
        kernel::Guid kind;
        kernel::Guid text;
    } cases[] = {
        {ks::KSNODETYPE_SPEAKER, kernel::makeGuid("{DFF21CE1-F70F-11D0-B917-00A0C9223196}")},
        {ks::KSNODETYPE_HEADPHONES, kernel::makeGuid("{DFF21CE2-F70F-11D0-B917-00A0C9223196}")},
        {ks::KSNODETYPE_MICROPHONE, kernel::makeGuid("{DFF21BE1-F70F-11D0-B917-00A0C9223196}")},
        {ks::KSNODETYPE_LINE_CONNECTOR, kernel::makeGuid("{DFF21FE3-F70F-11D0-B917-00A0C9223196}")},
        {ks::KSNODETYPE_ANALOG_CONNECTOR,
         kernel::makeGuid("{DFF21FE1-F70F-11D0-B917-00A0C9223196}")},
        {ks::KSNODETYPE_SPDIF_INTERFACE,
         kernel::makeGuid("{DFF21FE5-F70F-11D0-B917-00A0C9223196}")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.kind, c.text);
}

TEST(KsIdentifiers, SubFormatsCarryTheirTagFirst) {
    EXPECT_EQ(ks::KSDATAFORMAT_SUBTYPE_PCM,
              kernel::makeGuid("{00000001-0000-0010-8000-00AA00389B71}"));
    EXPECT_EQ(ks::KSDATAFORMAT_SUBTYPE_IEEE_FLOAT,
              kernel::makeGuid("{00000003-0000-0010-8000-00AA00389B71}"));
}

} // namespace
