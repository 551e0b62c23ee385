// What the port checks of a miniport's filter descriptor before it serves
// the filter, and of a format before it asks the miniport for a stream.
#pragma once

#include "platform/ks/data_format.h"
#include "platform/portcls/descriptors.h"

namespace portcls {

// Every table the port will read is there and of the record size the port
// knows, every connection joins pins and nodes that exist, and every range
// table ends with a range (an attribute list follows only a range that
// announces one).
bool descriptorIsSound(const FilterDescriptor* descriptor);

// The format names the major format, sub-format and specifier of one of the
// pin's ranges (a range's null identifier matches any).
bool formatFitsPin(const PinDescriptor& pin, const ks::DataFormat& format);

} // namespace portcls
